#include "core/ini_file.h"

#include <gtest/gtest.h>

namespace vellum {
namespace {

TEST(IniFile, KeyLineSpellingsAllReadAlike) {
  const std::string_view spellings[] = {
      "alp=alpha.htm",      "alp = alpha.htm",     "  alp = alpha.htm", "\talp\t=\talpha.htm",
      "alp=alpha.htm   ",   "ALP=alpha.htm",       "Alp =alpha.htm\r",  "alp= alpha.htm\x01\x02",
      "\x1f alp=alpha.htm", " alp  =  alpha.htm ",
  };
  for (std::string_view line : spellings) {
    const IniFile ini = IniFile::Parse("[Bookfiles]\n" + std::string(line) + "\n");
    EXPECT_EQ(ini.ReadString("bookfiles", "ALP", "none"), "alpha.htm") << line;
    ASSERT_EQ(ini.SectionLines("Bookfiles").size(), 1u);
    const std::string& stored = ini.SectionLines("Bookfiles")[0];
    EXPECT_EQ(stored.substr(stored.find('=')), "=alpha.htm") << line;
    EXPECT_EQ(stored.find(' '), std::string::npos) << line;
  }
}

TEST(IniFile, LinesAreStoredTrimmedCommentsAndBlanksDropped) {
  const IniFile ini = IniFile::Parse(
      "before=ignored\r\n"
      "[BKA]\r\n"
      "; a comment\r\n"
      "\r\n"
      "   \t\r\n"
      "  alp = Alphabet  \r\n"
      "plain line\r\n"
      "  ;indented comment\r\n"
      "bet=Beta=Gamma\r\n"
      "= no key\r\n");
  EXPECT_EQ(ini.SectionLines("BKA"),
            (std::vector<std::string>{"alp=Alphabet", "plain line", "bet=Beta=Gamma", "=no key"}));
  EXPECT_EQ(ini.ReadString("BKA", "bet", ""), "Beta=Gamma");
  EXPECT_EQ(ini.ReadString("BKA", "plain line", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("", "before", "dflt"), "dflt");
}

TEST(IniFile, SectionLinesAndLastOccurrences) {
  const IniFile ini = IniFile::Parse(
      "[Form1]\nleft=1\ntop=2\n"
      "[Misc]\nAlwaysOnTop=1\n"
      "[ form1 ]\nLEFT=5\nleft=6\n"
      "[Empty]\n"
      "[x\n"
      "[]\nnameless=yes\n");
  EXPECT_EQ(ini.ReadInteger("Form1", "left", 100), 6);   // last key of the last [Form1]
  EXPECT_EQ(ini.ReadInteger("Form1", "top", 100), 100);  // only the last [Form1] is found
  EXPECT_TRUE(ini.ReadBool("misc", "alwaysontop", false));
  EXPECT_TRUE(ini.SectionLines("Empty").size() == 1u);  // "[x" is a plain line of it
  EXPECT_TRUE(ini.SectionLines("Missing").empty());
  EXPECT_EQ(ini.ReadString("", "nameless", ""), "yes");
}

TEST(IniFile, LineEndingsOfAllKinds) {
  const IniFile ini = IniFile::Parse("[A]\rx=1\r\ny=2\nz=3");
  EXPECT_EQ(ini.SectionLines("A"), (std::vector<std::string>{"x=1", "y=2", "z=3"}));
}

TEST(IniFile, IntegerAndBooleanValues) {
  struct Case {
    std::string_view value;
    std::int32_t left;
    bool on_top_default_false;
    bool on_top_default_true;
  } cases[] = {
      {"0x40", 64, true, true},
      {"$40", 64, true, true},
      {"abc", 100, false, true},
      {"", 100, false, true},
      {"2147483648", 100, false, true},
      {"-20", -20, true, true},
      {"1", 1, true, true},
      {"7", 7, true, true},
      {"0", 0, false, false},
      {"yes", 100, false, true},
      {"true", 100, false, true},
      {"$FFFFFFFF", -1, true, true},
      {"-0", 0, false, false},
  };
  for (const Case& c : cases) {
    const std::string value(c.value);
    const IniFile ini =
        IniFile::Parse("[Form1]\nleft=" + value + "\n[Misc]\nAlwaysOnTop=" + value + "\n");
    EXPECT_EQ(ini.ReadInteger("Form1", "left", 100), c.left) << c.value;
    EXPECT_EQ(ini.ReadBool("Misc", "AlwaysOnTop", false), c.on_top_default_false) << c.value;
    EXPECT_EQ(ini.ReadBool("Misc", "AlwaysOnTop", true), c.on_top_default_true) << c.value;
  }
  const IniFile empty = IniFile::Parse("");
  EXPECT_EQ(empty.ReadInteger("Form1", "width", 600), 600);
  EXPECT_FALSE(empty.ReadBool("Misc", "AlwaysOnTop", false));
}

std::string Apply(std::string_view content, std::vector<IniUpdate> updates,
                  std::string_view eol = "\n") {
  return ApplyIniUpdates(content, updates, eol);
}

TEST(IniWriter, UpdatesFollowTheProfileRules) {
  struct Case {
    const char* what;
    std::string_view before;
    std::vector<IniUpdate> updates;
    std::string_view after;
  } cases[] = {
      {"missing file",
       "",
       {{"Form1", "left", "5"}, {"Misc", "AlwaysOnTop", "1"}},
       "[Form1]\nleft=5\n[Misc]\nAlwaysOnTop=1\n"},
      {"replace in place, other lines kept",
       "; mine\n[Form1]\n  LEFT = 1 \ntop=2\n; note\n[Other]\nk=v\n",
       {{"Form1", "left", "-7"}},
       "; mine\n[Form1]\nleft=-7\ntop=2\n; note\n[Other]\nk=v\n"},
      {"missing key at the end of its section, before blank lines",
       "[Form1]\nleft=1\n\n[Misc]\nx=y\n",
       {{"Form1", "top", "2"}},
       "[Form1]\nleft=1\ntop=2\n\n[Misc]\nx=y\n"},
      {"missing key in an empty last section",
       "[Misc]",
       {{"Misc", "AlwaysOnTop", "0"}},
       "[Misc]\nAlwaysOnTop=0\n"},
      {"missing section after a last line without line break",
       "[A]\nk=v",
       {{"Form1", "left", "3"}},
       "[A]\nk=v\n[Form1]\nleft=3\n"},
      {"section matched ignoring case",
       "[form1]\nleft=1\n",
       {{"Form1", "left", "2"}},
       "[form1]\nleft=2\n"},
      {"the last of two sections and the last of two keys are written",
       "[Form1]\nleft=1\n[Form1]\nleft=2\nleft=3\n[X]\n",
       {{"Form1", "left", "9"}},
       "[Form1]\nleft=1\n[Form1]\nleft=2\nleft=9\n[X]\n"},
      {"comment that looks like a key is not replaced",
       "[Form1]\n;left=1\n",
       {{"Form1", "left", "4"}},
       "[Form1]\n;left=1\nleft=4\n"},
      {"lines before any section stay first",
       "top comment\n",
       {{"Misc", "AlwaysOnTop", "1"}},
       "top comment\n[Misc]\nAlwaysOnTop=1\n"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Apply(c.before, c.updates), c.after) << c.what;
}

TEST(IniWriter, KeepsTheFilesLineEndings) {
  EXPECT_EQ(Apply("[Form1]\r\nleft=1\r\n", {{"Form1", "top", "2"}, {"Misc", "A", "0"}}),
            "[Form1]\r\nleft=1\r\ntop=2\r\n[Misc]\r\nA=0\r\n");
  // Mixed endings: each old line keeps its own; new lines take the first one met.
  EXPECT_EQ(Apply("[Form1]\nleft=1\r\nk=v\r", {{"Form1", "left", "2"}, {"Form1", "top", "3"}}),
            "[Form1]\nleft=2\r\nk=v\rtop=3\n");
  EXPECT_EQ(Apply("", {{"Misc", "A", "1"}}, "\r\n"), "[Misc]\r\nA=1\r\n");
  // A new line ending in a lone CR must not merge with the empty LF line
  // after it into one CRLF: that empty line would be lost.
  EXPECT_EQ(Apply("x\r[Misc]\n\n", {{"Misc", "AlwaysOnTop", "0"}}),
            "x\r[Misc]\nAlwaysOnTop=0\r\n\n");
}

TEST(IniWriter, WrittenValuesReadBack) {
  const std::string written = Apply("[Form1]\nleft=abc\n[Form1]\n",
                                    {{"Form1", "left", "-2147483648"}, {"Form1", "width", "640"}});
  const IniFile ini = IniFile::Parse(written);
  EXPECT_EQ(ini.ReadInteger("Form1", "left", 0), INT32_MIN);
  EXPECT_EQ(ini.ReadInteger("Form1", "width", 0), 640);
}

}  // namespace
}  // namespace vellum
