// The viewer on its own: places as readers type them and links name them,
// links that go by themselves without a host, the host's silence, the last
// place kept from one run to the next, a slow page shown loading, and names
// in the library's own language.
#include <gtest/gtest.h>

#include "core/go_to.h"
#include "tests/core/viewer_harness.h"

namespace vellum::testing {
namespace {

const std::string kSettings = "C:\\Program\\Vellum.ini";

std::string Place(const GoToResult& result) {
  if (!result.location) return "! " + result.problem;
  return std::string(Code(*result.location)) + " " + std::to_string(result.location->chapter) +
         ":" + std::to_string(result.location->verse);
}

// A library of its own language: Spanish names, full names and spellings.
StartupFiles SpanishLibrary() {
  StartupFiles files;
  files.book_files = BookList(
      {"IDX=index.htm", "GEN=gen.htm", "PSA=psa.htm", "JHN=jhn.htm", "1CO=1co.htm", "JUD=jud.htm"},
      DefaultTextRules());
  files.book_names =
      BookList({"GEN=Gén", "PSA=Sal", "JHN=Juan", "1CO=1 Cor", "JUD=Judas"}, DefaultTextRules());
  files.book_titles =
      BookList({"GEN=Génesis", "PSA=Salmos", "JHN=Juan", "1CO=1 Corintios"}, DefaultTextRules());
  files.book_spellings = {{"LOS SALMOS", "PSA"}, {"SAN JUAN", "JHN"}};
  return files;
}

TEST(GoTo, ReadsPlacesAsReadersTypeThem) {
  const StartupFiles spanish = SpanishLibrary();
  const PlaceReader reader(spanish, DefaultTextRules());
  const struct {
    const char* typed;
    const char* place;
  } cases[] = {
      {"John 3:16", "JHN 3:16"},
      {"Jn 3.16", "JHN 3:16"},
      {"  jn 3 16 ", "JHN 3:16"},
      {"1 Cor 13", "1CO 13:1"},  // a chapter alone: its first verse
      {"I Corinthians 13:4", "1CO 13:4"},
      {"1co13", "1CO 13:1"},
      {"Ps 119:105", "PSA 119:105"},
      {"psa119", "PSA 119:1"},            // the book's own code
      {"Salmos 119:105", "PSA 119:105"},  // the library's full name
      {"salmos 23", "PSA 23:1"},
      {"Los Salmos 23:1", "PSA 23:1"},  // a spelling of its language
      {"Sal 23", "PSA 23:1"},           // its short name
      {"genesis 1:1", "GEN 1:1"},       // accents may be left out
      {"GÉNESIS 2", "GEN 2:1"},
      {"Gén. 3:15", "GEN 3:15"},
      {"Juan 3:16-18", "JHN 3:16"},  // a range at its start
      {"Juan 3:16–18", "JHN 3:16"},
      {"Jude 5", "JUD 1:5"},    // one chapter: the number is a verse
      {"Ps 23:0", "PSA 23:0"},  // a chapter's heading
      {"Rev", "REV 1:1"},       // a book the library lacks still reads
      {"Joh 1", "JHN 1:1"},     // a beginning of one book only
      {"", "! Type a place, such as John 3:16."},
      {"3:16", "! Which book? Type its name before the numbers, as in John 3:16."},
      {"Xyz 1:1", "! No book is called \xE2\x80\x9CXyz\xE2\x80\x9D."},
      // Of several, the library's own books; their fullest names.
      {"J 1", "! \xE2\x80\x9CJ\xE2\x80\x9D could be Juan or Jude: type more of its name."},
      {"Ph 1",
       "! \xE2\x80\x9CPh\xE2\x80\x9D could be Philippians or Philemon: type more of "
       "its name."},
      {"John 0:1", "! There is no chapter 0: chapters start at 1."},
      {"John 300", "! Chapter 300 is past the last one a place can name (255)."},
      {"John 3:1000", "! Verse 1000 is past the last one a page can mark (999)."},
      {"John 3:16:2", "! After the book, type a chapter and a verse, as in Juan 3:16."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Place(reader.Read(c.typed)), c.place) << c.typed;
}

TEST(GoTo, CompletesBookNamesAsTheReaderTypes) {
  const StartupFiles spanish = SpanishLibrary();
  const PlaceReader reader(spanish, DefaultTextRules());
  EXPECT_EQ(reader.BookNames(),
            (std::vector<std::string>{"Génesis", "Salmos", "Juan", "1 Corintios", "Jude"}));
  const struct {
    const char* typed;
    std::optional<std::string> completed;
  } cases[] = {
      {"sal", "salmos"},         // the reader's letters kept, the rest the name's
      {"gen", "genesis"},        // an accent left out matches
      {"1co", "1corintios"},     // so does a blank
      {"Juan", std::nullopt},    // already whole
      {"Juan 3", std::nullopt},  // past the book's name
      {"x", std::nullopt},      {"", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(reader.CompleteInline(c.typed), c.completed) << c.typed;
  EXPECT_TRUE(PlaceReader::Completes("1 cor", "1 Corintios"));
  EXPECT_FALSE(PlaceReader::Completes("Salmos 2", "Salmos")) << "past the book's name";
  EXPECT_FALSE(PlaceReader::Completes("", "Salmos"));
  EXPECT_FALSE(PlaceReader::Completes("Jn", "Juan"));
  // Without a library: the English names.
  const StartupFiles none;
  EXPECT_EQ(PlaceReader(none, DefaultTextRules()).BookNames().front(), "Genesis");
}

TEST(GoTo, ALinksRequestNamesItsPlace) {
  StartupFiles files;
  files.book_files = BookList({"AB=ab.htm", "ALP=alpha.htm"}, DefaultTextRules());
  const struct {
    const char* request;
    const char* place;
  } cases[] = {
      {"ALP1:10", "ALP 1:10"}, {"JHN3:16", "JHN 3:16"},
      {"1CO13:4", "1CO 13:4"}, {"GEN3", "GEN 3:1"},
      {"GAM2:-3", "GAM 2:-3"}, {"AB11:1", "AB 11:1"},
      {"ALP0:0", "ALP 0:0"},   {"GEN", "-"},
      {"GEN3:x", "-"},         {"GEN300:1", "-"},
      {"GEN3:1 ", "-"},        {"", "-"},
      {"GEN3:40000", "-"},     {"G1:1", "-"},
  };
  for (const auto& c : cases) {
    const std::optional<TbcvRec> place = PlaceOfRequest(c.request, files, DefaultTextRules());
    EXPECT_EQ(place ? Place({place, {}}) : "-", c.place) << c.request;
  }
}

class Alone : public ::testing::Test {
 protected:
  void SetUp() override {
    h.host.exists = false;
    h.Start();
  }
  std::string Caption() { return h.controls.Caption(Button::kLocation); }
  Harness h;
};

TEST_F(Alone, ALinkGoesToItsPlaceAsIfTheHostHadAnsweredAtOnce) {
  // An Index entry, then a cross-reference.
  EXPECT_TRUE(h.viewer.OnBeforeNavigate("C:\\Program\\web.htm\\index.htm$BCVBET1:1"));
  EXPECT_TRUE(h.browser.navigations.back().find("index.htm") != std::string::npos)
      << "nothing happens inside the browser's own event";
  h.Advance(10);
  EXPECT_EQ(Caption(), "Beta 1:1");
  EXPECT_TRUE(h.OnPage("beta.htm"));
  h.Advance(1000);
  EXPECT_TRUE(h.viewer.OnBeforeNavigate("C:\\Program\\web.htm\\beta.htm$BCVGAM2:4"));
  h.Advance(10);
  EXPECT_EQ(Caption(), "Gamma 2:4");
  EXPECT_TRUE(h.controls.Underlined());
  h.Advance(1000);
  EXPECT_EQ(h.HistoryTexts(), (std::vector<std::string>{"Gamma 2:4", "Beta 1:1"}));
  EXPECT_FALSE(h.viewer.AwaitingHost());
  EXPECT_FALSE(h.controls.Visible(Button::kPendingJump));
  EXPECT_TRUE(h.host.requests.empty());

  // A request that names no place goes nowhere.
  const int loads = h.Loads();
  EXPECT_TRUE(h.viewer.OnBeforeNavigate("C:\\Program\\web.htm\\beta.htm$BCVnowhere"));
  h.Advance(100);
  EXPECT_EQ(h.Loads(), loads);
}

TEST_F(Alone, GoToMovesTheViewerWithOrWithoutAHost) {
  const GoToResult bad = h.viewer.OnGoToEntered("Nowhere 3");
  EXPECT_EQ(bad.problem, "No book is called \xE2\x80\x9CNowhere\xE2\x80\x9D.");
  EXPECT_EQ(Caption(), "About");
  const GoToResult good = h.viewer.OnGoToEntered("gamma 2:3");
  ASSERT_TRUE(good.location);
  EXPECT_EQ(Name(*good.location), "Gamma");
  EXPECT_EQ(Caption(), "Gamma 2:3");
  EXPECT_EQ(h.browser.focus_calls, 1);
  h.Advance(1000);
  EXPECT_EQ(h.HistoryTexts(), std::vector<std::string>{"Gamma 2:3"});

  // Beside a host too: the reader moves the viewer, and an answer still owed
  // is no longer waited for.
  h.host.exists = true;
  EXPECT_TRUE(h.viewer.OnBeforeNavigate("C:\\Program\\web.htm\\gamma.htm$BCVALP1:1"));
  EXPECT_TRUE(h.viewer.AwaitingHost());
  h.viewer.OnGoToEntered("Beta 2");
  EXPECT_EQ(Caption(), "Beta 2:1");
  EXPECT_FALSE(h.viewer.AwaitingHost());
  EXPECT_EQ(h.viewer.GoToBookNames(),
            (std::vector<std::string>{"Alphabet", "Beta", "Gamma", "MIS"}));
  EXPECT_EQ(h.viewer.GoToCompletion("gam"), "gamma");
}

TEST(HostSilence, IsToldQuietlyInTheTitleBar) {
  const struct {
    const char* what;
    std::uint64_t answer_after;  // 0: no answer
    bool step_back;              // the reader goes Back while the answer is owed
    std::vector<std::string> notices;
    bool location_button = false;  // asked by the location button, not a link
  } cases[] = {
      {"an answer at once", 10, false, {}},
      {"an answer after two seconds", 2000, false, {}},
      {"no answer", 0, false, {"The host did not answer"}},
      {"a late answer takes it away", 4000, false, {"The host did not answer", ""}},
      {"the reader went on meanwhile", 0, true, {}},
      {"the location button, unanswered", 0, false, {"The host did not answer"}, true},
  };
  for (const auto& c : cases) {
    Harness h;
    h.Start();
    h.Dwell(Loc("ALP", 1, 1));
    h.Dwell(Loc("BET", 1, 1));
    if (c.location_button) {
      h.viewer.OnLocationClicked();
    } else {
      EXPECT_TRUE(h.viewer.OnBeforeNavigate("C:\\Program\\web.htm\\beta.htm$BCVGAM2:4"));
    }
    if (c.step_back) h.viewer.OnBackClicked();
    if (c.answer_after > 0) {
      h.Advance(c.answer_after);
      h.HostShows(Loc("GAM", 2, 4));
    }
    h.Advance(5000);
    EXPECT_EQ(h.controls.notices, c.notices) << c.what;
    if (c.answer_after > 0) {
      EXPECT_EQ(h.controls.Caption(Button::kPendingJump), "Gamma 2:4") << c.what;
    }
  }
}

TEST(LastPlace, IsSavedAtCloseAndOpenedAgainWithoutAHost) {
  const struct {
    const char* what;
    std::string before;  // [Reader] lines of Vellum.ini before the run
    bool host;
    std::function<void(Harness&)> run;
    std::string caption_at_start;
    std::vector<std::string> history_at_start;
    std::string saved;  // the Place line at close ("" for none)
  } cases[] = {
      {"a first run that only shows the start page", "", false, [](Harness&) {}, "About", {}, ""},
      {"a book location",
       "",
       false,
       [](Harness& h) { h.ShowNow(Loc("BET", 2, 4)); },
       "About",
       {},
       "Place=BET 2:4"},
      {"opened again without a host, first in the history",
       "Place=GAM 2:3\r\nPlaceLibrary=web\r\nPlaceLibraryPlace=program\r\n",
       false,
       [](Harness&) {},
       "Gamma 2:3",
       {"Gamma 2:3"},
       "Place=GAM 2:3"},
      {"with a host the start is the start page",
       "Place=GAM 2:3\r\n",
       true,
       [](Harness&) {},
       "About",
       {},
       "Place=IDX"},
      {"the Index page",
       "Place=GAM 2:3\r\n",
       false,
       [](Harness& h) { h.viewer.OnIndexClicked(); },
       "Gamma 2:3",
       {"Gamma 2:3"},
       "Place=IDX"},
      {"the About page keeps the place before",
       "Place=GAM 2:3\r\n",
       false,
       [](Harness& h) { h.viewer.OnAboutChosen(); },
       "Gamma 2:3",
       {"Gamma 2:3"},
       "Place=GAM 2:3"},
      {"the Index saved", "Place=IDX\r\n", false, [](Harness&) {}, "About", {"Index"}, "Place=IDX"},
      {"a place that reads as none",
       "Place=GAM two\r\n",
       false,
       [](Harness&) {},
       "About",
       {},
       "Place=IDX"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.host.exists = c.host;
    if (!c.before.empty()) h.fs.files[kSettings] = "[Reader]\r\n" + c.before;
    h.Start();
    EXPECT_EQ(h.controls.Caption(Button::kLocation), c.caption_at_start) << c.what;
    EXPECT_EQ(h.HistoryTexts(), c.history_at_start) << c.what;
    c.run(h);
    h.viewer.OnClosing();
    const std::string& file = h.fs.files[kSettings];
    const std::size_t at = file.find("Place=");
    EXPECT_EQ(at == std::string::npos ? "" : file.substr(at, file.find('\r', at) - at), c.saved)
        << c.what << "\n"
        << file;
  }
}

TEST(LastPlace, OpensInTheLibraryItWasReadInUnlessThatIsTheSampleBesideTheReadersOwn) {
  const std::string user = "C:\\Users\\me\\AppData\\Local\\Vellum\\";
  const struct {
    const char* what;
    std::string saved;  // [Reader] lines
    const char* index_caption;
    const char* caption;
  } cases[] = {
      {"a library of the reader's own, not the default", "Place=ALP 3:2\r\nPlaceLibrary=Alpha\r\n",
       "Index Letters", "Alpha 3:2"},
      {"the default library already", "Place=PSA 1:1\r\nPlaceLibrary=Psalms\r\n", "Index Treasury",
       "Ps 1:1"},
      {"the program folder's, beside the reader's own", "Place=ALP 3:2\r\nPlaceLibrary=web\r\n",
       "Index Treasury", "About"},
      {"a library gone", "Place=ALP 3:2\r\nPlaceLibrary=Gone\r\n", "Index Treasury", "About"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.host.exists = false;
    h.fs.user_library_folder = user;
    h.fs.library_subfolders = {{"Alpha.htm"}, {"Psalms.htm"}};
    h.fs.files[user + "Psalms.htm\\index.ini"] =
        "[INFO]\r\nShortName=Treasury\r\n[Bookfiles]\r\nIDX=index.htm\r\nPSA=psa.htm\r\n";
    h.fs.files[user + "Psalms.htm\\psa.htm"] = "<html></html>";
    h.fs.files[user + "Alpha.htm\\index.ini"] =
        "[INFO]\r\nShortName=Letters\r\n[Bookfiles]\r\nALP=a.htm\r\n";
    h.fs.files[user + "Alpha.htm\\a.htm"] = "<html></html>";
    h.browser.pages[user + "Alpha.htm\\a.htm"] = {VerseAnchors(3, 10)};
    h.fs.files[kSettings] = "[Reader]\r\n" + c.saved;
    h.Start();
    EXPECT_EQ(h.controls.Caption(Button::kIndex), c.index_caption) << c.what;
    EXPECT_EQ(h.controls.Caption(Button::kLocation), c.caption) << c.what;
    h.viewer.OnClosing();
    EXPECT_EQ(h.fs.files[kSettings].find("\r\nLibrary="), std::string::npos)
        << c.what << ": not a choice";
  }
}

TEST(Loading, ShowsOnlyForAPageThatTakesAWhile) {
  const struct {
    int load_pumps;  // 10 ms each
    std::vector<bool> loading;
  } cases[] = {{3, {}}, {29, {}}, {31, {true, false}}, {200, {true, false}}};
  for (const auto& c : cases) {
    Harness h;
    h.Start();
    h.browser.pages[h.Path("beta.htm")].load_pumps = c.load_pumps;
    h.controls.loading.clear();
    h.ShowNow(Loc("BET", 1, 1));
    EXPECT_EQ(h.controls.loading, c.loading) << c.load_pumps;
    EXPECT_EQ(h.controls.Caption(Button::kLocation), "Beta 1:1");
  }
}

TEST(Captions, ShowFiveCharactersOfTheLibrarysOwnNames) {
  Harness h;
  h.fs.files["C:\\Program\\web.htm\\books.ini"] =
      "[INFO]\r\nLanguage=es\r\n[BKA]\r\nALP=G\xC3\xA9nesis\r\nGAM=1 Cr\xC3\xB3nicas\r\n"
      "[Names]\r\nALP=G\xC3\xA9nesis largo\r\n";
  h.fs.files["C:\\Program\\books.ini"] = "[BKA]\r\nALP=Alphabet\r\nBET=B\xE9tail\r\n";
  h.Start();
  EXPECT_EQ(h.viewer.Files().language, "es");
  const struct {
    TbcvRec location;
    const char* caption;
  } cases[] = {
      {Loc("ALP", 1, 1), "G\xC3\xA9nes 1:1"},  // the library's own, in characters
      {Loc("GAM", 2, 3), "1 Cr\xC3\xB3 2:3"},  // never a cut sequence
      {Loc("BET", 1, 2), "B\xE9tai 1:2"},      // 8-bit names as before: five bytes
      {Loc("MIS", 1, 1), " 1:1"},              // not a book of the Bible
      // Books the library leaves unnamed are named in English, shortly.
      {Loc("PSA", 23, 1), "Ps 23:1"},
      {Loc("1CO", 13, 4), "1 Cor 13:4"},
      {Loc("1TH", 4, 16), "1 Th 4:16"},  // "1 Thess" would not fit
      {Loc("JHN", 3, 16), "John 3:16"},
      {Loc("WIS", 1, 1), "Wis 1:1"},
  };
  for (const auto& c : cases) {
    h.ShowNow(c.location);
    EXPECT_EQ(h.controls.Caption(Button::kLocation), c.caption);
  }
}

TEST(CopyWithReference, TheSelectionThenItsPlaceAndLibrary) {
  const struct {
    const char* what;
    std::optional<PageSelection> selection;
    const char* copied;  // nullptr: a plain copy instead
  } cases[] = {
      {"one verse", PageSelection{"Every letter", "CV002003", "CV002003"},
       "Every letter\nAlphabet 2:3, Std"},
      {"verses of a chapter, a line's end left off",
       PageSelection{"a\nb\n", "CV002003", "CV002005"}, "a\nb\nAlphabet 2:3-5, Std"},
      {"across chapters", PageSelection{"x", "CV002009", "CV003001"}, "x\nAlphabet 2:9-3:1, Std"},
      {"only the start known", PageSelection{"x", "CV001004", ""}, "x\nAlphabet 1:4, Std"},
      {"above the first verse: the place shown", PageSelection{"Preface", "", ""},
       "Preface\nAlphabet 2:4, Std"},
      {"nothing selected: the reference alone", std::nullopt, "Alphabet 2:4, Std"},
      {"names that are not verses", PageSelection{"x", "top", "CVx"}, "x\nAlphabet 2:4, Std"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.Start();
    h.ShowNow(Loc("ALP", 2, 4));
    h.browser.selection = c.selection;
    h.viewer.OnCopyWithReferenceChosen();
    ASSERT_EQ(h.controls.clipboard.size(), 1u) << c.what;
    EXPECT_EQ(h.controls.clipboard[0], c.copied) << c.what;
    EXPECT_EQ(h.browser.copies, 0) << c.what;
  }
  // Not a book's page: a plain copy, as Ctrl+C.
  Harness h;
  h.Start();
  h.browser.selection = PageSelection{"Index", "", ""};
  h.viewer.OnCopyWithReferenceChosen();
  h.viewer.OnPrintChosen();
  EXPECT_TRUE(h.controls.clipboard.empty());
  EXPECT_EQ(h.browser.copies, 1);
  EXPECT_EQ(h.browser.prints, 1);
}

TEST(CopyWithReference, NamesTheBookInFullAndTheLibraryAsTheMenuDoes) {
  Harness h;
  h.fs.files["C:\\Program\\web.htm\\index.ini"] += "JHN=john.htm\r\nPSA=psalms.htm\r\n";
  h.fs.files["C:\\Program\\web.htm\\books.ini"] =
      "[BKA]\r\nJHN=Juan\r\n[Names]\r\nJHN=San Juan\r\n";
  for (const char* file : {"john.htm", "psalms.htm"}) {
    h.fs.files[h.Path(file)] = "<html></html>";
    h.browser.pages[h.Path(file)] = {VerseAnchors(3, 20)};
  }
  h.Start();
  h.browser.selection = PageSelection{"Porque", "CV003016", "CV003018"};
  h.ShowNow(Loc("JHN", 3, 16));
  h.viewer.OnCopyWithReferenceChosen();
  h.ShowNow(Loc("PSA", 3, 16));  // no name in the library: English
  h.viewer.OnCopyWithReferenceChosen();
  EXPECT_EQ(h.controls.clipboard, (std::vector<std::string>{"Porque\nSan Juan 3:16-18, Std",
                                                            "Porque\nPsalms 3:16-18, Std"}));
}

}  // namespace
}  // namespace vellum::testing
