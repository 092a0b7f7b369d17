// The importer's portable parts: reference lists, the entry sanitizer, the
// pages and the ini files, without the SWORD library.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/ini_file.h"
#include "tools/import/entry_html.h"
#include "tools/import/expositions.h"
#include "tools/import/page_words.h"
#include "tools/import/pages.h"
#include "tools/import/references.h"

namespace vellum::import {
namespace {

std::vector<std::string> Texts(const std::optional<std::vector<VerseRef>>& refs) {
  std::vector<std::string> texts;
  if (refs) {
    for (const VerseRef& ref : *refs)
      texts.push_back(RequestText(ref));
  }
  return texts;
}

TEST(OsisRefList, ReadsTheFirstVerseOfEachReference) {
  const struct {
    const char* osis_ref;
    std::vector<std::string> expected;  // empty: not an OSIS reference list
  } cases[] = {
      {"Gen.1.1", {"GEN1:1"}},
      {"Gen.1.1-Gen.1.3", {"GEN1:1"}},
      {"Exod.3.14 Isa.40.1-Isa.40.3", {"EXO3:14", "ISA40:1"}},
      {"  Rev.22.21\t1Thess.4.13 ", {"REV22:21", "1TH4:13"}},
      {"Bible:John.3.16", {"JHN3:16"}},
      {"Bible.KJV:Ps.23.1-Bible.KJV:Ps.23.6", {"PSA23:1"}},
      {"Ps.23", {"PSA23:1"}},
      {"Jude", {"JUD1:1"}},
      {"Gen.1.1!a", {"GEN1:1"}},
      {"gen.2.4", {"GEN2:4"}},
      {"Sir.1.0", {"SIR1:0"}},
      {"Tob.1.1 EpJer.1.1 AddPs.1.1", {"TOB1:1", "LJE1:1", "PS21:1"}},
      {"", {}},
      {"Foo.1.1", {}},
      {"Gen.x.1", {}},
      {"Gen.1.1000", {}},
      {"Gen.1.1 Ge 1:1", {}},  // one part is not OSIS: the whole is read as text
      {"jer 4:23-27", {}},
      {"Gen.-1.1", {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Texts(ParseOsisRefList(c.osis_ref)), c.expected) << c.osis_ref;
}

TEST(BookCodes, AreUniqueAndNamesFitTheCaption) {
  std::set<std::string_view> codes;
  std::set<std::string_view> names;
  for (const BookCode& book : AllBooks()) {
    EXPECT_TRUE(codes.insert(book.usfm).second) << book.usfm;
    EXPECT_TRUE(names.insert(book.osis).second) << book.osis;
    EXPECT_EQ(book.usfm.size(), 3u) << book.usfm;
    EXPECT_LE(book.name.size(), 5u) << book.name;
    EXPECT_EQ(FindUsfmBook(book.usfm), &book);
    EXPECT_EQ(FindOsisBook(book.osis), &book);
  }
}

TEST(RequestTextCheck, OnlyKnownCodesAndSmallNumbers) {
  for (const char* good : {"GEN1:1", "1CO13:4", "PSA119:176", "REV0:0"})
    EXPECT_TRUE(IsRequestText(good)) << good;
  for (const char* bad : {"", "GEN", "GEN1", "GEN:1", "XYZ1:1", "GEN1:1000", "gen1:1", "GEN1:1 ",
                          "GEN1:1\"><script>", "GEN1:a"})
    EXPECT_FALSE(IsRequestText(bad)) << bad;
}

TEST(SanitizeEntryHtml, KeepsTextAndSafeMarkupOnly) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"plain", "plain"},
      {"<b class=\"x-b big\">bold</b>", "<b class=\"x-b big\">bold</b>"},
      {"<b onclick=\"steal()\" id=\"CV001001\">b</b>", "<b>b</b>"},
      {"<span style=\"font-variant: small-caps\">Lord</span>",
       "<span style=\"font-variant: small-caps\">Lord</span>"},
      {"<span style=\"background:url(http://x/y.png)\">s</span>", "<span>s</span>"},
      {"<a href=\"http://example.com/\">the web</a>", "the web"},
      {"<a href=\"passagestudy.jsp?action=showStrongs&value=1\">H1</a>", "H1"},
      {"<a name=\"CV009009\"></a>x", "x"},
      {"<img src=\"/etc/passwd\" alt=\"a picture\">", "a picture"},
      {"<img src=x onerror=alert(1)>", ""},
      {"<script>alert(1)</script>after", "after"},
      {"<style>body{background:url(x)}</style>ok", "ok"},
      {"<iframe src=\"x\"><iframe>nested</iframe></iframe>gone", "gone"},
      {"<!-- a comment -->c<!p>d<?pi?>", "cd"},
      {"<i>unclosed", "<i>unclosed</i>"},
      {"stray</b> end", "stray end"},
      {"<b><i>crossed</b></i>", "<b><i>crossed</i></b>"},
      {"<br/><br>", "<br><br>"},
      {"a < b & c > d", "a &lt; b &amp; c &gt; d"},
      {"&amp; &#233; &#xE9; &nosuch &#xZZ;", "&amp; &#233; &#xE9; &amp;nosuch &amp;#xZZ;"},
      {"<span title='say \"hi\"'>t</span>", "<span title=\"say &quot;hi&quot;\">t</span>"},
      {"bad\xff byte, nul\x01 and tab\t", "bad\xEF\xBF\xBD byte, nul and tab\t"},
      {"<b", "&lt;b"},
      // A cell outside a table is no cell to a browser.
      {"<td colspan=\"2\">x</td><p colspan=\"2\">y</p>", "x<p>y</p>"},
      {"<table><td colspan=\"2\" rowspan=\"x\">x</td></table>",
       "<table><tbody><tr><td colspan=\"2\">x</td></tr></tbody></table>"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SanitizeEntryHtml(c.in), c.out) << c.in;
}

TEST(SanitizeEntryHtml, MarkedReferencesBecomeOneLinkPerPlace) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"<vellum-ref to=\"GEN1:1\">Gen 1:1</vellum-ref>",
       "<a class=\"x\" href=\"gen.htm$BCVGEN1:1\">Gen 1:1</a>"},
      {"<vellum-ref to=\"EXO3:14 ISA40:1\">Ex 3:14; Isa 40:1-3</vellum-ref>",
       "<a class=\"x\" href=\"exo.htm$BCVEXO3:14\">Ex 3:14</a>; "
       "<a class=\"x\" href=\"isa.htm$BCVISA40:1\">Isa 40:1-3</a>"},
      {"<vellum-ref to=\"ROM1:1 ROM1:7\">Rom 1:1, 7</vellum-ref>",
       "<a class=\"x\" href=\"rom.htm$BCVROM1:1\">Rom 1:1</a>, "
       "<a class=\"x\" href=\"rom.htm$BCVROM1:7\">7</a>"},
      // Parts and places do not match: the text links to the first, the rest
      // follow as a reader writes a place, never as a code.
      {"<vellum-ref to=\"GEN1:1 GEN2:4\">see there</vellum-ref>",
       "<a class=\"x\" href=\"gen.htm$BCVGEN1:1\">see there</a> "
       "<a class=\"x\" href=\"gen.htm$BCVGEN2:4\">Gen 2:4</a>"},
      {"<vellum-ref to=\"JHN3:18 JHN3:19\">John 3:18-19,</vellum-ref>",
       "<a class=\"x\" href=\"jhn.htm$BCVJHN3:18\">John 3:18-19</a>, "
       "<a class=\"x\" href=\"jhn.htm$BCVJHN3:19\">John 3:19</a>"},
      {"<vellum-ref to=\"JHN1:1\"><i>John</i> 1:1</vellum-ref>",
       "<a class=\"x\" href=\"jhn.htm$BCVJHN1:1\"><i>John</i> 1:1</a>"},
      {"<vellum-ref to=\"JHN1:1\"> </vellum-ref>",
       "<a class=\"x\" href=\"jhn.htm$BCVJHN1:1\">John 1:1</a>"},
      // A link ends at its last letter or digit: punctuation and blanks stand outside.
      {"<vellum-ref to=\"MRK2:22\">Mark 2:22,</vellum-ref>",
       "<a class=\"x\" href=\"mrk.htm$BCVMRK2:22\">Mark 2:22</a>,"},
      {"<vellum-ref to=\"PSA119:105\">(Ps 119.105) </vellum-ref>",
       "(<a class=\"x\" href=\"psa.htm$BCVPSA119:105\">Ps 119.105</a>) "},
      {"<vellum-ref to=\"GEN1:1\">Gen 1:1&nbsp;</vellum-ref>",
       "<a class=\"x\" href=\"gen.htm$BCVGEN1:1\">Gen 1:1</a>&nbsp;"},
      {"<vellum-ref to=\"GEN1:1\">G\xC3\xA9n 1:1.</vellum-ref>",
       "<a class=\"x\" href=\"gen.htm$BCVGEN1:1\">G\xC3\xA9n 1:1</a>."},
      {"<vellum-ref to=\"GEN1:1\">...</vellum-ref>",
       "<a class=\"x\" href=\"gen.htm$BCVGEN1:1\">...</a>"},
      // Targets that are not request texts are no links.
      {"<vellum-ref to=\"\">Ge 99:99</vellum-ref>", "Ge 99:99"},
      {"<vellum-ref to='javascript:alert(1) ../../x'>x</vellum-ref>", "x"},
      {"<b><vellum-ref to=\"GEN1:1\">a</b>b</vellum-ref>c</b>",
       "<b><a class=\"x\" href=\"gen.htm$BCVGEN1:1\">ab</a>c</b>"},
      {"<vellum-ref to=\"GEN1:1\">never closed",
       "<a class=\"x\" href=\"gen.htm$BCVGEN1:1\">never closed</a>"},
      {"<vellum-ref to=\"GEN1:1\">a<vellum-ref to=\"EXO1:1\">b</vellum-ref>",
       "<a class=\"x\" href=\"gen.htm$BCVGEN1:1\">ab</a>"},
      // Markup of any kind keeps a list from being split: a ";" may stand in it.
      {"<vellum-ref to=\"GEN1:2 GEN1:3\">Gen 1:2<span style=\"color:red;font-weight:bold\"/>"
       " and 3</vellum-ref>",
       "<a class=\"x\" href=\"gen.htm$BCVGEN1:2\">Gen 1:2<span "
       "style=\"color:red;font-weight:bold\">"
       "</span> and 3</a> <a class=\"x\" href=\"gen.htm$BCVGEN1:3\">Gen 1:3</a>"},
      {"<vellum-ref to=\"GEN1:2 GEN1:3\">Gen 1:2<br>; 3</vellum-ref>",
       "<a class=\"x\" href=\"gen.htm$BCVGEN1:2\">Gen 1:2<br>; 3</a> "
       "<a class=\"x\" href=\"gen.htm$BCVGEN1:3\">Gen 1:3</a>"},
      // A link holds no blocks: their text stays, their tags go.
      {"<vellum-ref to=\"GEN1:1\"><div><p>Gen</p> 1:1</div></vellum-ref>",
       "<a class=\"x\" href=\"gen.htm$BCVGEN1:1\">Gen 1:1</a>"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SanitizeEntryHtml(c.in), c.out) << c.in;
}

// What a browser's parser would close or move on its own is written out, so
// that the tree is the one the markup spells and no end tag of the entry can
// reach the page's own elements.
TEST(SanitizeEntryHtml, WritesTheEndTagsAParserWouldImply) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"Verse four <embed src=x>and this text", "Verse four and this text"},
      {"<meta charset=x><link rel=x>a<frame src=x>b", "ab"},
      {"<li><div><li>x</li></div></li>", "<li><div></div></li><li>x</li>"},
      {"<li><b><li>x", "<li><b></b></li><li>x</li>"},
      {"<ul><li>a<ul><li>b</ul></ul>", "<ul><li>a<ul><li>b</li></ul></li></ul>"},
      {"<li><blockquote><li>x", "<li><blockquote><li>x</li></blockquote></li>"},
      {"<dl><dt>a<dd>b<dt>c</dl>", "<dl><dt>a</dt><dd>b</dd><dt>c</dt></dl>"},
      {"<p>a<div>b</div>c</p>", "<p>a</p><div>b</div>c"},
      {"<p><span>a<p>b", "<p><span>a</span></p><p>b</p>"},
      {"<p>a<hr>b", "<p>a</p><hr>b"},
      {"<p>a<ul><li>b</ul>", "<p>a</p><ul><li>b</li></ul>"},
      {"<p/>text", "<p></p>text"},
      {"<h1>a<h2>b</h2></h1>", "<h1>a</h1><h2>b</h2>"},
      {"<h1><span>a<h2>b</h2></span></h1>", "<h1><span>a<h2>b</h2></span></h1>"},
      {"<pre>\ncode</pre>", "<pre><span></span>\ncode</pre>"},
      {"<pre>code\n</pre>", "<pre>code\n</pre>"},
      {"<table><tr><td>a<td>b</table>",
       "<table><tbody><tr><td>a</td><td>b</td></tr></tbody></table>"},
      {"<table>x<b>y</b></table>", "<table><tbody><tr><td>x<b>y</b></td></tr></tbody></table>"},
      {"<table> <caption>c<tr><td>d</table>",
       "<table> <caption>c</caption><tbody><tr><td>d</td></tr></tbody></table>"},
      {"<table><thead><tr><th>h<tbody><tr><td>d</table>",
       "<table><thead><tr><th>h</th></tr></thead><tbody><tr><td>d</td></tr></tbody></table>"},
      {"<table><tr><td><p>a<table><tr><td>b</table>c</td></tr></table>",
       "<table><tbody><tr><td><p>a</p><table><tbody><tr><td>b</td></tr></tbody></table>c</td>"
       "</tr></tbody></table>"},
      {"<p><table><tr><td>x</td></tr></table>",
       "<p></p><table><tbody><tr><td>x</td></tr></tbody></table>"},
      {"<table><vellum-ref to=\"GEN1:1\">Gen</vellum-ref></table>",
       "<table><tbody><tr><td><a class=\"x\" href=\"gen.htm$BCVGEN1:1\">Gen</a></td></tr></tbody>"
       "</table>"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SanitizeEntryHtml(c.in), c.out) << c.in;
}

TEST(SanitizeEntryHtml, DeepNestingIsCut) {
  std::string deep;
  for (int i = 0; i < 5000; ++i)
    deep += "<span>";
  const std::string out = SanitizeEntryHtml(deep + "x");
  EXPECT_LT(out.size(), 100u * 14u + 10u);
  EXPECT_NE(out.find('x'), std::string::npos);
}

TEST(AnchorExpositions, OnlyMarkersThatStartAParagraphOfAnExpositionInOrderAndRange) {
  const std::string head = "<h3 class=\"title x-s\">EXPOSITION.</h3>\n\n<br>\n";
  const auto at = [](int verse) { return "<a name=\"" + AnchorName(119, verse) + "\"></a>"; };
  const struct {
    const char* what;
    std::string in;
    std::string out;
  } cases[] = {
      {"verse after verse", head + "<b>Ver. 2.</b> Blessed.<br>\n<b>Ver. 3.</b> They also.",
       head + at(2) + "<b>Ver. 2.</b> Blessed.<br>\n" + at(3) + "<b>Ver. 3.</b> They also."},
      {"a range, and no bold", head + "Verses 7-8. I will praise.",
       head + at(7) + "Verses 7-8. I will praise."},
      {"right after the heading", "<h3>EXPOSITION</h3><b>Ver. 5.</b> x",
       "<h3>EXPOSITION</h3>" + at(5) + "<b>Ver. 5.</b> x"},
      {"inside a paragraph", head + "As Ver. 5. said, x", head + "As Ver. 5. said, x"},
      {"under another heading", "<h3>EXPLANATORY NOTES</h3><br><b>Ver. 4.</b> x",
       "<h3>EXPLANATORY NOTES</h3><br><b>Ver. 4.</b> x"},
      {"the next heading ends the exposition",
       head + "<b>Ver. 2.</b> a<h3>HINTS</h3><br><b>Ver. 3.</b> b",
       head + at(2) + "<b>Ver. 2.</b> a<h3>HINTS</h3><br><b>Ver. 3.</b> b"},
      {"backwards and again", head + "<b>Ver. 9.</b> a<br><b>Ver. 4.</b> b<br><b>Ver. 9.</b> c",
       head + at(9) + "<b>Ver. 9.</b> a<br><b>Ver. 4.</b> b<br><b>Ver. 9.</b> c"},
      {"the entry's own first verse, and past its last",
       head + "<b>Ver. 1.</b> a<br><b>Ver. 177.</b> b",
       head + "<b>Ver. 1.</b> a<br><b>Ver. 177.</b> b"},
      {"not a marker", head + "<b>Version 2.</b> a<br>Ver.2. b<br><b>Ver. 2x</b>",
       head + "<b>Version 2.</b> a<br>Ver.2. b<br><b>Ver. 2x</b>"},
      {"no exposition at all", "<b>Ver. 2.</b> a", "<b>Ver. 2.</b> a"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(AnchorExpositions(c.in, 119, 1, 176), c.out) << c.what;
}

TEST(BookPage, AnEntryMarksItsVersesUpToTheNextEntry) {
  BookPage page("Psalms", false, PageStyle{});
  const std::string exposition = "<h3>EXPOSITION</h3><br><b>Ver. 2.</b> a<br><b>Ver. 5.</b> b";
  page.Add(23, 1, 1, exposition);
  page.Add(23, 4, 4, "Another entry at verse 4.");
  page.Add(24, 1, 1, exposition);
  const std::string out = page.Finish();
  EXPECT_NE(out.find(AnchorName(23, 2)), std::string::npos);
  EXPECT_EQ(out.find(AnchorName(23, 5)), std::string::npos) << "verse 5 is the next entry's";
  EXPECT_NE(out.find(AnchorName(24, 5)), std::string::npos) << "the last entry of its chapter";
  EXPECT_EQ(page.Entries(), 3);
}

TEST(VisibleText, IgnoresTagsBlanksAndNonBreakingSpaces) {
  EXPECT_FALSE(HasVisibleText(""));
  EXPECT_FALSE(HasVisibleText(" <br> <div>\n</div> &nbsp;&#160;"));
  EXPECT_TRUE(HasVisibleText("<b>x</b>"));
  EXPECT_TRUE(HasVisibleText("&amp;"));
}

TEST(BookPage, TheFirstChapterIsKnownBeforeACommentarysLastEntryIsWritten) {
  // The index page links to it before the book page is finished.
  BookPage page("Psalms", false, PageStyle{"", "Gentium", "en", false});
  page.Add(23, 1, 1, "The shepherd psalm.");
  EXPECT_EQ(page.FirstChapter(), 23);
}

TEST(BookPage, AnchorsBlocksAndHeadings) {
  BookPage page("Genesis", false,
                PageStyle{".divineName { x: y; }</style>", "Gentium", "en", false});
  page.Add(0, 0, 0, "Intro");
  page.Add(1, 1, 1, "One");
  page.Add(1, 2, 3, "Range");
  page.Add(2, 4, 4, std::string(kBlockBytes + 10, 'x'));  // a block of its own
  page.Add(2, 5, 5, "Five");
  EXPECT_EQ(page.Entries(), 5);
  EXPECT_EQ(page.FirstChapter(), 1);
  const std::string html = page.Finish();
  EXPECT_EQ(page.Blocks(), 4);
  std::vector<std::string> anchors;
  for (std::size_t at = html.find("<a name=\""); at != std::string::npos;
       at = html.find("<a name=\"", at + 1))
    anchors.push_back(html.substr(at + 9, 8));
  // Each chapter's start is found exactly, before its first entry.
  EXPECT_EQ(anchors, (std::vector<std::string>{"CV000000", "CV001000", "CV001001", "CV001002",
                                               "CV002000", "CV002004", "CV002005"}));
  EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
  EXPECT_NE(html.find(">1:2-3</h3>"), std::string::npos);
  EXPECT_NE(html.find(">Introduction</h3>"), std::string::npos);
  EXPECT_EQ(html.find("</style>"), html.rfind("</style>")) << "the sheet cannot end the element";
  EXPECT_NE(html.find("font-family: \"Gentium\", Georgia"), std::string::npos);
  // Dark with the system, or with the viewer's mark where the engine knows no media query.
  EXPECT_NE(html.find("@media (prefers-color-scheme: dark) {\nhtml:not(.vellum-light) {"),
            std::string::npos);
  EXPECT_NE(html.find("\nhtml.vellum-dark { color-scheme: dark;"), std::string::npos);
}

TEST(BookPage, BibleChaptersHeadTheirFirstVerseInTheModulesLanguage) {
  BookPage page("Salmos", true, PageStyle{"", "", "es-MX", false});
  page.Add(3, 0, 0, "Salmo de David.");
  page.Add(3, 1, 1, "JEHOVA");
  page.Add(4, 1, 1, "Respóndeme");
  const std::string html = page.Finish();
  // A chapter's start is its heading: its title's anchor where it has one.
  EXPECT_NE(html.find("<h2 class=\"c\"><a name=\"CV003000\"></a>Capítulo 3</h2>"),
            std::string::npos);
  EXPECT_NE(html.find("<h2 class=\"c\"><a name=\"CV004000\"></a>Capítulo 4</h2>\n"
                      "<a name=\"CV004001\"></a>"),
            std::string::npos);
  EXPECT_EQ(html.find("CV003000"), html.rfind("CV003000")) << "one anchor for the title";
  EXPECT_NE(html.find("<sup class=\"v\">1</sup>"), std::string::npos);
  EXPECT_EQ(page.Blocks(), 2);
}

TEST(PageWords, ByThePrimarySubtagEnglishOtherwise) {
  const struct {
    const char* language;
    const char* chapter;
  } cases[] = {{"es", "Capítulo"}, {"ES-mx", "Capítulo"}, {"pt_BR", "Capítulo"},
               {"he", "פרק"},      {"de", "Kapitel"},     {"en", "Chapter"},
               {"", "Chapter"},    {"xx", "Chapter"},     {"e", "Chapter"}};
  for (const auto& c : cases)
    EXPECT_EQ(WordsFor(c.language).chapter, c.chapter) << c.language;
}

TEST(AnchorNames, ThreeDigitsEach) {
  EXPECT_EQ(AnchorName(1, 2), "CV001002");
  EXPECT_EQ(AnchorName(119, 176), "CV119176");
  EXPECT_EQ(AnchorName(0, 0), "CV000000");
  EXPECT_EQ(AnchorName(1000, -1), "CV999000");
}

TEST(ImportedModules, VersionsCompareAsNumbersAndAnOlderLibraryIsSaidSo) {
  const struct {
    const char* a;
    const char* b;
    int order;
  } versions[] = {{"2.60", "2.5", 1},      {"2.5", "2.60", -1}, {"1.0", "1", 0},
                  {"1.5.2", "1.5.10", -1}, {"", "0", 0},        {"x", "1", -1},
                  {"3", "2.9.9", 1}};
  for (const auto& c : versions)
    EXPECT_EQ(CompareVersions(c.a, c.b), c.order) << c.a << " vs " << c.b;
  EXPECT_EQ(ImportedState(false, "", "2.6"), "");
  EXPECT_EQ(ImportedState(true, "2.6", "2.6"), "imported");
  EXPECT_EQ(ImportedState(true, "2.6", ""), "imported");
  EXPECT_EQ(ImportedState(true, "2.5", "2.60"), "imported, 2.5 (installed: 2.60)");
  EXPECT_EQ(ImportedState(true, "", "1.1"), "imported, an older one (installed: 1.1)");
  EXPECT_EQ(ProgressLine("Psalms", 19, 66, 27, 2461, 3'100'000),
            "Psalms (book 19 of 66), 27%: 2461 entries, 3.1 MB");
}

TEST(IniFiles, ReadBackAsTheViewerReadsThem) {
  const IniFile catalogue =
      IniFile::Parse(CatalogueIni("TD\r\navid", {"PSA", "1CO"}, "TDavid", "1.1\n"));
  EXPECT_EQ(catalogue.ReadString("INFO", "ShortName", ""), "TDavid");
  EXPECT_EQ(catalogue.ReadString("INFO", "Module", ""), "TDavid");
  EXPECT_EQ(catalogue.ReadString("INFO", "Version", ""), "1.1");
  EXPECT_EQ(catalogue.SectionLines("Bookfiles"),
            (std::vector<std::string>{"IDX=index.htm", "PSA=psa.htm", "1CO=1co.htm"}));
}

TEST(BookNames, ShortFormsFitTheCaptionInCharacters) {
  const struct {
    const char* full;
    const char* abbreviation;
    const char* expected;
  } cases[] = {
      {"Juan", "Jn", "Juan"},             // fits whole
      {"Génesis", "Gén", "Gén"},          // the locale's abbreviation
      {"1 Crónicas", "", "1 Cró"},        // cut by characters, not bytes
      {"בראשית", "", "בראשי"},            // no abbreviation: five characters
      {"Apocalipsis", "Apocal", "Apoca"}  // an abbreviation longer than a caption
  };
  for (const auto& c : cases)
    EXPECT_EQ(ShortBookName(c.full, c.abbreviation), c.expected) << c.full;
}

TEST(BookNames, ALibrarysOwnIniReadsBackAsTheViewerReadsIt) {
  const std::string text = LibraryBookNamesIni("spa\r\nRV", "es",
                                               {{"GEN", "Génesis", "Gén", {"GN", "GÉNESIS"}},
                                                {"PSA", "Salmos", "Sal", {"SALMOS", ";X", "A=B"}}});
  const IniFile names = IniFile::Parse(text);
  EXPECT_EQ(names.ReadString("INFO", "Language", ""), "es");
  EXPECT_EQ(names.SectionLines("BKA"), (std::vector<std::string>{"GEN=Gén", "PSA=Sal"}));
  EXPECT_EQ(names.SectionLines("Names"), (std::vector<std::string>{"GEN=Génesis", "PSA=Salmos"}));
  // A spelling cannot start a comment or end its key early.
  EXPECT_EQ(names.SectionLines("Abbreviations"),
            (std::vector<std::string>{"GN=GEN", "GÉNESIS=GEN", "SALMOS=PSA", "AB=PSA"}));
  EXPECT_EQ(text.find("spa\r\nRV"), std::string::npos);
}

TEST(AboutText, RtfParagraphsAndCharacters) {
  EXPECT_EQ(RtfToHtml("One\\par Two\\pard\\qc  three"), "<p>One</p>\n<p>Two three</p>\n");
  EXPECT_EQ(RtfToHtml("caf\\u233?s <b> {x}\\\\"), "<p>caf\xC3\xA9s &lt;b&gt; x\\</p>\n");
  EXPECT_EQ(RtfToHtml("\\par\\par"), "");
}

}  // namespace
}  // namespace vellum::import
