#include "core/anchors.h"

#include <gtest/gtest.h>

namespace vellum {
namespace {

TEST(AnchorNames, OnlyUpperCaseCvWithSixDigitsCount) {
  struct Case {
    std::string_view name;
    std::optional<std::pair<int, int>> chapter_verse;
  } cases[] = {
      {"CV001001", std::pair{1, 1}},
      {"CV001001a", std::pair{1, 1}},
      {"CV003016x9", std::pair{3, 16}},
      {"CV001300", std::pair{1, 44}},
      {"CV256001", std::pair{0, 1}},
      {"CV999999", std::pair{231, 231}},
      {"CV000000", std::pair{0, 0}},
      {"cv001001", std::nullopt},
      {"Cv001001", std::nullopt},
      {"CV00100", std::nullopt},
      {"CV", std::nullopt},
      {"", std::nullopt},
      {"CV0a1001", std::nullopt},
      {"CV001 01", std::nullopt},
      {"CV-01001", std::nullopt},
      {"TOC", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto entry = ParseAnchorName(c.name, 7);
    ASSERT_EQ(entry.has_value(), c.chapter_verse.has_value()) << c.name;
    if (entry) {
      EXPECT_EQ(entry->chapter, c.chapter_verse->first) << c.name;
      EXPECT_EQ(entry->verse, c.chapter_verse->second) << c.name;
      EXPECT_EQ(entry->ordinal, 7);
    }
  }
}

TEST(AnchorNames, AllNamesOfAPageAsOneText) {
  using Names = std::vector<std::string>;
  struct Case {
    std::string_view text;
    std::optional<Names> names;
  } cases[] = {
      {"0:", Names{}},
      {"1:", Names{""}},
      {"2:CV001001 top", Names{"CV001001", "top"}},
      {"3: a%20b%25 ", Names{"", "a b%", ""}},
      {"1:%C3%A9t%C3%A9", Names{"\xC3\xA9t\xC3\xA9"}},
      {"1:100%", Names{"100%"}},  // a stray percent sign stays itself
      {"2:one", std::nullopt},    // the count is off
      {"0:x", std::nullopt},
      {"x:a", std::nullopt},
      {":a", std::nullopt},
      {"no colon", std::nullopt},
      // A crafted count asks for nothing the text does not hold: before the
      // text was looked at, this one reserved about 32 GB and threw.
      {"999999999:", std::nullopt},
      {"999999999:a b", std::nullopt},
      {"100000000:x", std::nullopt},
      {"100000001:x", std::nullopt},
      {"18446744073709551617:x", std::nullopt},  // past any 64-bit count
      {"2:a b ", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DecodeAnchorNameList(c.text), c.names) << c.text;
}

TEST(AnchorTable, OtherAnchorsKeepTheirOrdinals) {
  AnchorTable table;
  table.Build({"top", "CV001001", "note", "cv001002", "CV001003"});
  EXPECT_EQ(table.Entries(), (std::vector<AnchorEntry>{{1, 1, 1}, {1, 3, 4}}));
}

// Pages whose chapter/verse anchors stand in ascending order.
TEST(AnchorTable, ChoiceFollowsTheNearestAnchorBefore) {
  // ordinal 0 is "top"; then 1:1 1:5 1:9 | 3:2 3:4 | 5:1 5:7
  const std::vector<std::string> page = {"top",      "CV001001", "CV001005", "CV001009",
                                         "CV003002", "CV003004", "CV005001", "CV005007"};
  struct Case {
    const char* what;
    int chapter, verse;
    std::optional<int> ordinal;
    bool exact;
  } cases[] = {
      {"exact match", 1, 5, 2, true},
      {"exact in a later chapter", 3, 4, 5, true},
      {"between two anchors of the chapter", 1, 7, 2, false},
      {"before the first anchor of the chapter", 3, 1, 3, false},
      {"before the page's first anchor", 1, 0, 1, false},
      {"negative verse before the first", 1, -3, 1, false},
      {"after the last anchor of the chapter", 1, 20, 3, false},
      {"after the page's last anchor", 5, 9, 7, false},
      {"chapter without anchors between others", 4, 1, 5, false},
      {"chapter without anchors, second one", 2, 8, 3, false},
      {"chapter before every anchor", 0, 5, 1, false},
      {"chapter after every anchor: second-to-last", 9, 1, 6, false},
  };
  AnchorTable table;
  table.Build(page);
  for (const Case& c : cases) {
    const auto choice =
        table.Choose(static_cast<std::uint8_t>(c.chapter), static_cast<std::int16_t>(c.verse));
    ASSERT_EQ(choice.has_value(), c.ordinal.has_value()) << c.what;
    if (choice) {
      EXPECT_EQ(choice->ordinal, *c.ordinal) << c.what;
      EXPECT_EQ(choice->exact, c.exact) << c.what;
    }
  }
}

// The name a browser is told to expect is the one the table takes for an
// exact match, wherever one can exist.
TEST(AnchorTable, TheExactAnchorNameIsTheOneChosenAsExact) {
  const struct {
    int chapter, verse;
    const char* name;
  } cases[] = {{1, 1, "CV001001"},     {0, 0, "CV000000"}, {100, 7, "CV100007"},
               {255, 255, "CV255255"}, {12, 256, ""},      {12, -1, ""}};
  for (const auto& c : cases) {
    const auto chapter = static_cast<std::uint8_t>(c.chapter);
    const auto verse = static_cast<std::int16_t>(c.verse);
    const std::string name = ExactAnchorName(chapter, verse);
    EXPECT_EQ(name, c.name);
    if (name.empty()) continue;
    AnchorTable table;
    table.Build({"CV000000", name, "CV255255"});
    const auto choice = table.Choose(chapter, verse);
    ASSERT_TRUE(choice.has_value()) << name;
    EXPECT_TRUE(choice->exact) << name;
    EXPECT_EQ(choice->ordinal, name == "CV000000" ? 0 : 1) << name;  // the first of that name
  }
}

TEST(AnchorTable, SmallPages) {
  struct Case {
    const char* what;
    std::vector<std::string> page;
    int chapter, verse;
    std::optional<int> ordinal;
  } cases[] = {
      {"3:4 between 3:1 and 3:5", {"CV003001", "CV003005"}, 3, 4, 0},
      {"chapters 1 and 2 only, location 5:1", {"CV001001", "CV001002", "CV002001"}, 5, 1, 1},
      {"one anchor in chapter 2, location 2:7", {"x", "CV002003"}, 2, 7, 1},
      {"one anchor in chapter 2, location 2:1", {"x", "CV002003"}, 2, 1, 1},
      {"one anchor in chapter 2, location 1:1", {"x", "CV002003"}, 1, 1, std::nullopt},
      {"one anchor in chapter 2, location 3:1", {"x", "CV002003"}, 3, 1, std::nullopt},
      {"no chapter/verse anchors", {"top", "cv001001"}, 1, 1, std::nullopt},
      {"empty page", {}, 1, 1, std::nullopt},
      {"verse 300 is entered as 44", {"CV001043", "CV001300", "CV001050"}, 1, 44, 1},
  };
  for (const Case& c : cases) {
    AnchorTable table;
    table.Build(c.page);
    const auto choice =
        table.Choose(static_cast<std::uint8_t>(c.chapter), static_cast<std::int16_t>(c.verse));
    ASSERT_EQ(choice.has_value(), c.ordinal.has_value()) << c.what;
    if (choice) {
      EXPECT_EQ(choice->ordinal, *c.ordinal) << c.what;
    }
  }
}

}  // namespace
}  // namespace vellum
