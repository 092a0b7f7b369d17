// Libraries: finding and naming them, choosing one (menu, command line,
// settings), and our own page for a book the chosen library lacks.
#include <gtest/gtest.h>

#include "core/libraries.h"
#include "tests/core/viewer_harness.h"

namespace vellum::testing {
namespace {

const std::string kUser = "C:\\Users\\me\\AppData\\Local\\Vellum\\";
const std::string kSettings = "C:\\Program\\Vellum.ini";

// The harness's program folder ("web.htm", ShortName "Std": IDX, ALP, BET,
// GAM, MIS) plus a user library with the Psalms alone and a second book set.
class Libraries : public ::testing::Test {
 protected:
  Libraries() {
    h.fs.user_library_folder = kUser;
    h.fs.library_subfolders = {{"Psalms.htm"}, {"Alpha.HTM"}, {".import.htm", true, false}};
    h.fs.files[kUser + "Psalms.htm\\index.ini"] =
        "[INFO]\r\nShortName=Treasury\r\n[Bookfiles]\r\nIDX=index.htm\r\nPSA=psa.htm\r\n";
    h.fs.files[kUser + "Psalms.htm\\index.htm"] = "<html></html>";
    h.fs.files[kUser + "Psalms.htm\\psa.htm"] = "<html></html>";
    // Its catalogue names Gamma, but the page is not there.
    h.fs.files[kUser + "Alpha.HTM\\index.ini"] =
        "[INFO]\r\nShortName=Letters\r\n[Bookfiles]\r\nALP=a.htm\r\nGAM=g.htm\r\n";
    h.fs.files[kUser + "Alpha.HTM\\a.htm"] = "<html></html>";
    h.browser.pages[kUser + "Alpha.HTM\\a.htm"] = {VerseAnchors(3, 10)};
  }
  std::vector<std::string> Labels() const {
    std::vector<std::string> labels;
    for (const Library& library : h.viewer.Libraries())
      labels.push_back(library.label);
    return labels;
  }
  Harness h;
};

TEST_F(Libraries, AreFoundInBothPlacesAndTheUsersLastIsShownByDefault) {
  h.Start();
  EXPECT_EQ(Labels(), (std::vector<std::string>{"Letters", "Treasury", "Std"}));
  EXPECT_EQ(h.controls.library_labels, Labels());
  EXPECT_EQ(h.controls.chosen_library, 1);
  EXPECT_EQ(h.controls.Caption(Button::kIndex), "Index Treasury");
  EXPECT_EQ(h.browser.current_url, kUser + "Psalms.htm\\index.htm");
}

TEST_F(Libraries, OnlyTheReadersOwnAreRemovedAndTheOneShownGivesWayFirst) {
  h.fs.folders.insert(kUser);
  h.Start();
  EXPECT_EQ(h.viewer.UserLibraryNames(), (std::vector<std::string>{"Alpha", "Psalms"}));
  EXPECT_EQ(h.viewer.RemoveUserLibrary("web"), "there is no library web in your library folder")
      << "the program folder's is never removed";
  EXPECT_EQ(h.fs.removals, 0);

  // On screen: another is shown first, then it goes, files and all.
  EXPECT_EQ(h.viewer.RemoveUserLibrary("Psalms"), std::nullopt);
  EXPECT_EQ(Labels(), (std::vector<std::string>{"Letters", "Std"}));
  EXPECT_EQ(h.controls.Caption(Button::kIndex), "Index Letters");
  EXPECT_EQ(h.fs.files.count(kUser + "Psalms.htm\\psa.htm"), 0u);
  EXPECT_EQ(h.controls.library_labels, Labels());

  h.fs.read_only_folders.insert(kUser);
  EXPECT_EQ(h.viewer.RemoveUserLibrary("Alpha"),
            "its folder " + kUser + "Alpha.HTM could not be removed");
  EXPECT_EQ(Labels(), (std::vector<std::string>{"Letters", "Std"})) << "nothing lost";
}

TEST(LibraryLabels, NamesThatClashGainTheirFolderAndThenTheirPlace) {
  const struct {
    const char* what;
    std::vector<std::string> user;
    std::vector<std::string> program;
    std::vector<std::string> labels;
  } cases[] = {
      {"distinct ShortNames", {"a.htm=One"}, {"b.htm=Two"}, {"One", "Two"}},
      {"no ShortName: the folder", {"Plain.htm="}, {}, {"Plain"}},
      {"the same ShortName", {"a.htm=Same", "b.htm=same"}, {}, {"Same (a.htm)", "same (b.htm)"}},
      {"the same folder in both places",
       {"web.htm=Web"},
       {"web.htm=Web"},
       {"Web (web.htm) in your library", "Web (web.htm) in the program folder"}},
  };
  for (const auto& c : cases) {
    FakeFileSystem fs;
    fs.user_library_folder = kUser;
    fs.library_subfolders.clear();
    fs.subfolders.clear();
    const auto add = [&](const std::string& entry, const std::string& place, auto& folders) {
      const std::string folder = entry.substr(0, entry.find('='));
      folders.push_back({folder});
      fs.files[place + folder + "\\index.ini"] =
          "[INFO]\r\nShortName=" + entry.substr(entry.find('=') + 1) + "\r\n";
    };
    for (const std::string& entry : c.user)
      add(entry, kUser, fs.library_subfolders);
    for (const std::string& entry : c.program)
      add(entry, "C:\\Program\\", fs.subfolders);
    AsciiTextRules rules;
    std::vector<std::string> labels;
    for (const Library& library : FindLibraries(fs, kUser, "C:\\Program\\", rules))
      labels.push_back(library.label);
    EXPECT_EQ(labels, c.labels) << c.what;
  }
}

TEST(LibraryLabels, ASampleComesLastIsNamedSoInTheMenuAndIsChosenOnlyWhenAlone) {
  const struct {
    const char* what;
    std::vector<std::string> user;  // folder=ShortName, "*" after a sample's
    std::vector<std::string> program;
    std::vector<std::string> labels;
    std::optional<std::size_t> chosen;
  } cases[] = {
      {"the sample alone", {}, {"web.htm=Sample*"}, {"Sample (sample, to try Vellum out)"}, 0},
      {"a real library beside it in the program folder",
       {},
       {"web.htm=Sample*", "zed.htm=Zed"},
       {"Zed", "Sample (sample, to try Vellum out)"},
       0},
      {"a user library",
       {"kjv.htm=KJV"},
       {"web.htm=Sample*"},
       {"KJV", "Sample (sample, to try Vellum out)"},
       0},
      {"a user's sample and a real program library",
       {"a.htm=Try*"},
       {"b.htm=Real"},
       {"Try (sample, to try Vellum out)", "Real"},
       1},
  };
  for (const auto& c : cases) {
    FakeFileSystem fs;
    fs.user_library_folder = kUser;
    fs.library_subfolders.clear();
    fs.subfolders.clear();
    const auto add = [&](std::string entry, const std::string& place, auto& folders) {
      const bool sample = entry.back() == '*';
      if (sample) entry.pop_back();
      const std::string folder = entry.substr(0, entry.find('='));
      folders.push_back({folder});
      fs.files[place + folder + "\\index.ini"] =
          "[INFO]\r\nShortName=" + entry.substr(entry.find('=') + 1) + "\r\n" +
          (sample ? "Sample=1\r\n" : "");
    };
    for (const std::string& entry : c.user)
      add(entry, kUser, fs.library_subfolders);
    for (const std::string& entry : c.program)
      add(entry, "C:\\Program\\", fs.subfolders);
    AsciiTextRules rules;
    const std::vector<Library> found = FindLibraries(fs, kUser, "C:\\Program\\", rules);
    std::vector<std::string> labels;
    for (const Library& library : found)
      labels.push_back(MenuLabel(library));
    EXPECT_EQ(labels, c.labels) << c.what;
    EXPECT_EQ(DefaultLibrary(found), c.chosen) << c.what;
  }
}

TEST_F(Libraries, ANameIsAFolderOrAShortNameAndAFolderCountsFirst) {
  h.Start();
  const std::vector<Library>& found = h.viewer.Libraries();
  const struct {
    const char* name;
    std::optional<std::size_t> library;
  } cases[] = {
      {"psalms", 1},      {"PSALMS", 1},
      {"treasury", 1},    {"Std", 2},
      {"web", 2},         {"alpha", 0},
      {"letters", 0},     {"Psalms.htm", std::nullopt},
      {"", std::nullopt}, {"nothing", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FindLibraryNamed(found, c.name, h.rules), c.library) << c.name;
  // A folder's name wins over another library's ShortName.
  std::vector<Library> clash = found;
  clash[2].short_name = "Psalms";
  EXPECT_EQ(FindLibraryNamed(clash, "psalms", h.rules), 1u);
}

TEST_F(Libraries, AChoiceShowsThePlaceAgainKeepsHistoryAndIsSaved) {
  h.Start();
  h.Dwell(Loc("PSA", 119, 105));
  EXPECT_EQ(h.browser.current_url, kUser + "Psalms.htm\\psa.htm");
  const int loads = h.Loads();
  h.viewer.OnLibraryChosen(2);  // Std: no Psalms
  EXPECT_EQ(h.controls.Caption(Button::kIndex), "Index Std");
  EXPECT_EQ(h.controls.chosen_library, 2);
  EXPECT_EQ(h.Loads(), loads + 1);
  EXPECT_EQ(h.browser.navigations.back(), "(own page)");
  EXPECT_EQ(Code(h.viewer.ShownLocation()), "PSA");
  h.Advance(2000);
  EXPECT_EQ(h.viewer.HistoryList().Count(), 1) << "shown again, not visited again";

  h.ShowNow(Loc("ALP", 2, 3));
  EXPECT_TRUE(h.OnPage("alpha.htm"));
  h.viewer.OnLibraryChosen(0);  // Letters: its own Alpha page, at the same place
  EXPECT_EQ(h.browser.current_url, kUser + "Alpha.HTM\\a.htm");
  EXPECT_EQ(h.controls.Caption(Button::kLocation), "Alpha 2:3");
  EXPECT_EQ(h.browser.scrolls.back().url, kUser + "Alpha.HTM\\a.htm");
  EXPECT_EQ(h.fs.writes, 0) << "nothing is written before the window closes";

  h.viewer.OnClosing();
  EXPECT_NE(h.fs.files[kSettings].find("[Reader]\r\nLibrary=Alpha\r\nLibraryPlace=user\r\n"),
            std::string::npos)
      << h.fs.files[kSettings];
}

TEST_F(Libraries, TheSavedChoiceAndThenTheCommandLineChoose) {
  h.fs.files[kSettings] = "[Reader]\r\nLibrary=web\r\nLibraryPlace=program\r\n";
  h.Start();
  EXPECT_EQ(h.controls.Caption(Button::kIndex), "Index Std");
  Harness second;
  second.fs = h.fs;
  second.Start(StartOptions{false, "LETTERS"});
  EXPECT_EQ(second.controls.Caption(Button::kIndex), "Index Letters");
  // The command line's choice is for its run alone.
  second.viewer.OnClosing();
  EXPECT_NE(second.fs.files[kSettings].find("Library=web\r\n"), std::string::npos);

  Harness gone;
  gone.fs = h.fs;
  gone.fs.files[kSettings] = "[Reader]\r\nLibrary=Removed\r\n";
  gone.Start();
  EXPECT_EQ(gone.controls.Caption(Button::kIndex), "Index Treasury");
}

TEST_F(Libraries, AMissingBookGetsOurOwnPageWithLinksThatSwitch) {
  h.Start();
  h.ShowNow(Loc("GAM", 1, 2));  // Treasury has no Gamma; Letters names it without the page
  ASSERT_EQ(h.browser.navigations.back(), "(own page)");
  const std::string& page = h.browser.own_pages.back();
  EXPECT_NE(page.find("<p>Treasury has nothing on Gamma.</p>"), std::string::npos) << page;
  EXPECT_NE(page.find("prefers-color-scheme"), std::string::npos);
  EXPECT_EQ(page.find("Letters"), std::string::npos) << "its Gamma page is missing";
  const Library& std_library = h.viewer.Libraries()[2];
  const std::string link = LibraryLink(std_library);
  EXPECT_NE(page.find("<a href=\"" + link + "\">Std</a>"), std::string::npos) << page;
  EXPECT_EQ(h.controls.Caption(Button::kLocation), "Gamma 1:2");
  EXPECT_EQ(h.viewer.Anchors().Count(), 0);

  // The same book again: no second load.
  const int loads = h.Loads();
  h.ShowNow(Loc("GAM", 1, 3));
  EXPECT_EQ(h.Loads(), loads);

  // Followed, the link is cancelled and the switch comes after the page's event.
  EXPECT_TRUE(h.viewer.OnBeforeNavigate(link + "/"));
  EXPECT_EQ(h.controls.chosen_library, 1);
  h.Advance(20);
  EXPECT_EQ(h.controls.chosen_library, 2);
  EXPECT_TRUE(h.OnPage("gamma.htm"));
  EXPECT_EQ(h.controls.Caption(Button::kLocation), "Gamma 1:3");

  // On a book page such a link does nothing, and is never followed.
  EXPECT_TRUE(h.viewer.OnBeforeNavigate(LibraryLink(h.viewer.Libraries()[1])));
  h.Advance(20);
  EXPECT_EQ(h.controls.chosen_library, 2);
}

TEST(LibraryLinks, FolderNamesTravelAsHexAndAnythingElseIsNoLibrary) {
  std::vector<Library> libraries(2);
  libraries[0].folder = "a b&\"<é>.htm";
  libraries[0].in_user_library = true;
  libraries[1].folder = "web.htm";
  AsciiTextRules rules;
  EXPECT_EQ(LibraryOfLink(libraries, LibraryLink(libraries[0]), rules), 0u);
  EXPECT_EQ(LibraryOfLink(libraries, LibraryLink(libraries[1]), rules), 1u);
  EXPECT_EQ(LibraryLink(libraries[1]), "vellum-library:p7765622e68746d");
  for (const char* url : {"vellum-library:", "vellum-library:u7765622e68746d",
                          "vellum-library:p7765622e68746", "vellum-library:pzz", "vellum-library:x",
                          "vellum-library:p7765622e68746d00", "file:///web.htm", "$BCVALP1:1"})
    EXPECT_EQ(LibraryOfLink(libraries, url, rules), std::nullopt) << url;
}

TEST(MissingBookPage, NamesAreEscapedAndWrittenInUtf8) {
  Library shown;
  shown.label = "<script>alert(1)</script>";
  const std::string page = MissingBookPage(shown, "A & B", {});
  EXPECT_EQ(page.find("<script>"), std::string::npos);
  EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt; has nothing on A &amp; B."),
            std::string::npos);
  EXPECT_EQ(page.find("<ul>"), std::string::npos) << "no list without another library";

  // Windows-1252 names, as older catalogues hold them, come out as UTF-8.
  shown.label = "Schlachter \xDC";
  Library other;
  other.label = "Luther \xE4";
  const std::string mixed = MissingBookPage(shown,
                                            "Pr\xE9"
                                            "dicateur",
                                            {&other});
  EXPECT_NE(mixed.find("Schlachter \xC3\x9C has nothing on Pr\xC3\xA9"
                       "dicateur."),
            std::string::npos);
  EXPECT_NE(mixed.find("Luther \xC3\xA4</a>"), std::string::npos);
}

TEST(MissingBookPage, InTheLibrarysLanguageWhereItsWordsAreKnown) {
  Library shown;
  shown.label = "RV1909";
  Library other;
  other.label = "KJV";
  const struct {
    const char* language;
    const char* lang_attribute;
    const char* sentence;
    const char* list_head;
  } cases[] = {
      {"es", "<html lang=\"es\">", "RV1909 no tiene nada sobre Juan.", "Esta biblioteca lo tiene:"},
      {"pt_BR", "<html lang=\"pt\">", "RV1909 não tem nada sobre Juan.", "Esta biblioteca o tem:"},
      {"he", "<html lang=\"he\" dir=\"rtl\">", "ב־RV1909 אין דבר על Juan.", "בספרייה זו יש:"},
      {"", "<html lang=\"en\">", "RV1909 has nothing on Juan.", "This library has it:"},
      {"xx", "<html lang=\"en\">", "RV1909 has nothing on Juan.", "This library has it:"},
  };
  for (const auto& c : cases) {
    const std::string page = MissingBookPage(shown, "Juan", {&other}, c.language);
    for (const char* part : {c.lang_attribute, c.sentence, c.list_head})
      EXPECT_NE(page.find(part), std::string::npos) << c.language << ": " << part;
  }
}

}  // namespace
}  // namespace vellum::testing
