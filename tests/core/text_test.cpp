#include "core/text.h"

#include <gtest/gtest.h>

namespace vellum {
namespace {

TEST(Text, ParseInt32) {
  struct Case {
    std::string_view text;
    std::optional<std::int32_t> value;
  } cases[] = {
      {"0", 0},
      {"64", 64},
      {"-20", -20},
      {"+7", 7},
      {"  12", 12},
      {"0x40", 64},
      {"0X40", 64},
      {"$40", 64},
      {"x40", 64},
      {"X7f", 127},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"$80000000", INT32_MIN},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"$100000000", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"abc", std::nullopt},
      {"12a", std::nullopt},
      {"1 2", std::nullopt},
      {"yes", std::nullopt},
      {"true", std::nullopt},
      {"0x-5", std::nullopt},
      {"--5", std::nullopt},
      {"$g", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ParseInt32(c.text), c.value) << '"' << c.text << '"';
}

TEST(Text, TrimControlsRemovesCodesBelow33FromBothEnds) {
  EXPECT_EQ(TrimControls("  \t\x01 key = v \r\n\x1f"), "key = v");
  EXPECT_EQ(TrimControls("\x7f!\x7f"), "\x7f!\x7f");  // 127 and up stay
  EXPECT_EQ(TrimControls(" \t "), "");
  EXPECT_EQ(TrimControls("\xA0x\xA0"), "\xA0x\xA0");  // no-break space is not below 33
}

TEST(Text, AsciiRulesIgnoreCase) {
  const AsciiTextRules rules;
  EXPECT_EQ(rules.Upper("alp=Alpha.htm"), "ALP=ALPHA.HTM");
  EXPECT_EQ(rules.CompareIgnoringCase("alp", "ALP"), 0);
  EXPECT_LT(rules.CompareIgnoringCase("[a.htm]", "[B.htm]"), 0);
  EXPECT_GT(rules.CompareIgnoringCase("[c.htm]", "[B.htm]"), 0);
  EXPECT_LT(rules.CompareIgnoringCase("AL", "ALP"), 0);
  EXPECT_TRUE(EndsWithIgnoringAsciiCase("web.HTM", ".htm"));
  EXPECT_FALSE(EndsWithIgnoringAsciiCase("web.html", ".htm"));
  EXPECT_FALSE(EndsWithIgnoringAsciiCase("htm", ".htm"));
}

TEST(Text, DisplayTextIsUtf8WhenValidElseWindows1252) {
  struct Case {
    std::string_view bytes;
    std::string_view utf8;
    bool may_be_cut = false;
  } cases[] = {
      {"Alpha", "Alpha"},
      {"Gen\xC3\xA8se", "Gen\xC3\xA8se"},                // valid UTF-8 stays
      {"Gen\xE8se", "Gen\xC3\xA8se"},                    // Windows-1252 e grave
      {"\x80 \x9F", "\xE2\x82\xAC \xC5\xB8"},            // euro sign, Y diaeresis
      {"Abcd\xC3", "Abcd", true},                        // a name cut inside a character
      {"Abcd\xC3", "Abcd\xC3\x83"},                      // not cut: Windows-1252 A tilde
      {"\xC3\x89sa\xC3", "\xC3\x89sa"},                  // UTF-8 before the cut decides
      {"Ab\xC3\xA9\xE2\x82", "Ab\xC3\xA9"},              // three-byte character cut off
      {"Gen\xE8", "Gen\xC3\xA8"},                        // Windows-1252 e grave at the end
      {"\xC0\x80", "\xC3\x80\xE2\x82\xAC"},              // overlong form is not UTF-8
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // surrogate is not UTF-8
      {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DisplayTextToUtf8(c.bytes, c.may_be_cut), c.utf8);
}

TEST(Text, TheFindBarSaysWhereTheMatchStandsAndStepsRoundTheEnds) {
  const struct {
    unsigned position, count;
    const char* text;
    unsigned next, previous;
  } cases[] = {
      {0, 0, "not found", 0, 0},
      {0, 14, "14 matches", 1, 14},  // not known yet: the count alone
      {1, 1, "1 of 1", 1, 1},
      {3, 14, "3 of 14", 4, 2},
      {14, 14, "14 of 14", 1, 13},
      {1, 14, "1 of 14", 2, 14},
      {15, 14, "14 matches", 1, 14},  // the page changed under the count
      {9999, 10000, "9999 of 10000+", 10000, 9998},
      {10000, 10001, "10000 of 10000+", 1, 9999},
  };
  for (const auto& c : cases) {
    const std::string text = MatchPositionText(c.position, c.count);
    EXPECT_EQ(text, c.text) << c.position << " of " << c.count;
    EXPECT_LE(text.size(), static_cast<std::size_t>(kMatchTextWidth)) << text;
    EXPECT_EQ(StepMatchPosition(c.position, c.count, true), c.next) << c.position;
    EXPECT_EQ(StepMatchPosition(c.position, c.count, false), c.previous) << c.position;
  }
  EXPECT_LE(MatchCountText(kMostMatchesCounted).size(), static_cast<std::size_t>(kMatchTextWidth));
  // Counting stopped early: "+" after the count.
  EXPECT_EQ(MatchCountText(120, true), "120+ matches");
  EXPECT_EQ(MatchCountText(1, true), "1+ matches");
  EXPECT_EQ(MatchPositionText(3, 120, true), "3 of 120+");
  EXPECT_EQ(MatchPositionText(150, 120, true), "150 of 120+") << "past the count: more there";
}

TEST(Text, CountingMatchesStopsAtTheEndTheMostOrTheTimeBudget) {
  const struct {
    const char* what;
    unsigned on_page;      // matches the page holds
    unsigned ms_per_step;  // what each step costs
    unsigned most;
    MatchCount counted;
  } cases[] = {
      {"one match", 1, 1, 100, {1, false}},
      {"all of them", 40, 1, 100, {40, false}},
      {"the most", 500, 0, 100, {100, true}},
      {"out of time: about 150 ms", 5000, 5, 10000, {31, true}},
      {"a slow step is counted, then counting stops", 5000, 200, 10000, {2, true}},
  };
  for (const auto& c : cases) {
    std::uint64_t clock = 1000;
    unsigned found = 1;
    const MatchCount counted = CountMatches(
        [&] {
          clock += c.ms_per_step;
          if (found >= c.on_page) return false;
          ++found;
          return true;
        },
        [&] { return clock; }, 150, c.most);
    EXPECT_EQ(counted.count, c.counted.count) << c.what;
    EXPECT_EQ(counted.more, c.counted.more) << c.what;
  }
}

}  // namespace
}  // namespace vellum
