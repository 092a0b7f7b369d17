#include "core/location.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace vellum {
namespace {

TbcvRec Make(std::string_view name, std::string_view code, std::uint8_t chapter,
             std::int16_t verse) {
  TbcvRec r = EmptyLocation();
  SetName(r, name);
  SetCode(r, code);
  r.chapter = chapter;
  r.verse = verse;
  return r;
}

TEST(Location, WireLayoutIsByteExact) {
  TbcvRec r = Make("Alpha", "ALP", 3, -2);
  r.reserved_a = 0xAA;
  r.reserved_b[0] = 0xBB;
  r.reserved_b[1] = 0xCC;
  const std::array<std::uint8_t, 16> expected = {5,   'A', 'l',  'p', 'h',  'a',  3,    'A',
                                                 'L', 'P', 0xAA, 3,   0xFE, 0xFF, 0xBB, 0xCC};
  EXPECT_EQ(EncodeLocation(r), expected);
  const TbcvRec back = DecodeLocation(expected.data(), expected.size());
  EXPECT_EQ(std::memcmp(&back, &r, sizeof r), 0);
}

TEST(Location, SettersKeepLeadingCharactersUpToCapacity) {
  struct Case {
    std::string_view text, name, code;
  } cases[] = {
      {"Alphabet", "Alpha", "Alp"},
      {"Alpha", "Alpha", "Alp"},
      {"Abc", "Abc", "Abc"},
      {"Ab", "Ab", "Ab"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    TbcvRec r = EmptyLocation();
    SetName(r, c.text);
    SetCode(r, c.text);
    EXPECT_EQ(Name(r), c.name) << c.text;
    EXPECT_EQ(Code(r), c.code) << c.text;
    EXPECT_EQ(r.chapter, 0) << "setters never spill into the following fields";
  }
}

TEST(Location, CaptionAndRequestText) {
  struct Case {
    TbcvRec location;
    std::string caption, request;
  } cases[] = {
      {Make("Alpha", "ALP", 1, 1), "Alpha 1:1", "BCVALP1:1"},
      {Make("Alpha", "ALP", 255, -1), "Alpha 255:-1", "BCVALP255:-1"},
      {Make("", "ALP", 1, 1), " 1:1", "BCVALP1:1"},
      {Make("Gen", "GEN", 3, 16), "Gen 3:16", "BCVGEN3:16"},
      {Make("Xy", "XYZ", 0, -32768), "Xy 0:-32768", "BCVXYZ0:-32768"},
      {Make("Xy", "", 10, 32767), "Xy 10:32767", "BCV10:32767"},
      {FreshAboutLocation(), "About 0:0", "BCVABT0:0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LocationCaption(c.location), c.caption);
    EXPECT_EQ(LocationRequestText(c.location), c.request);
  }
}

TEST(Location, SpecialCodesAreExact) {
  struct Case {
    std::string_view code;
    bool special;
  } cases[] = {{"IDX", true}, {"ABT", true}, {"idx", false},  {"Idx", false}, {"abt", false},
               {"ID", false}, {"", false},   {"IDXX", false}, {"ALP", false}};
  for (const Case& c : cases)
    EXPECT_EQ(IsSpecialCode(c.code), c.special) << c.code;
}

TEST(Location, SameLocationComparesCodeChapterAndVerseOnly) {
  const TbcvRec base = Make("Alpha", "ALP", 2, 5);
  TbcvRec other_name = base;
  SetName(other_name, "Other");
  TbcvRec other_reserved = base;
  other_reserved.reserved_a = 7;
  other_reserved.reserved_b[1] = 9;
  TbcvRec stale_code_bytes = Make("Alpha", "AL", 2, 5);
  TbcvRec stale_other = Make("Alpha", "ALX", 2, 5);
  stale_other.code_length = 2;  // "AL" with a different byte past the length
  struct Case {
    TbcvRec a, b;
    bool same;
  } cases[] = {
      {base, base, true},
      {base, other_name, true},
      {base, other_reserved, true},
      {stale_code_bytes, stale_other, true},
      {base, Make("Alpha", "alp", 2, 5), false},
      {base, Make("Alpha", "AL", 2, 5), false},
      {base, Make("Alpha", "ALP", 3, 5), false},
      {base, Make("Alpha", "ALP", 2, -5), false},
      {FreshIndexLocation(), FreshIndexLocation(), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SameLocation(c.a, c.b), c.same)
        << LocationCaption(c.a) << " / " << LocationCaption(c.b);
    EXPECT_EQ(SameLocation(c.b, c.a), c.same);
  }
}

TEST(Location, FreshSpecialRecordsStartFromZero) {
  const TbcvRec index = FreshIndexLocation();
  const std::array<std::uint8_t, 16> index_bytes = {5,   'I', 'n', 'd', 'e', 'x', 3, 'I',
                                                    'D', 'X', 0,   0,   0,   0,   0, 0};
  EXPECT_EQ(EncodeLocation(index), index_bytes);
  const TbcvRec about = FreshAboutLocation();
  EXPECT_EQ(Name(about), "About");
  EXPECT_EQ(Code(about), "ABT");
  EXPECT_EQ(about.chapter, 0);
  EXPECT_EQ(about.verse, 0);
}

TEST(Location, TurningASlotSpecialKeepsChapterVerseAndReservedBytes) {
  TbcvRec slot = Make("Beta", "BET", 7, 300);
  slot.reserved_a = 1;
  slot.reserved_b[0] = 2;
  MakeAboutLocation(slot);
  EXPECT_EQ(LocationCaption(slot), "About 7:300");
  EXPECT_EQ(slot.reserved_a, 1);
  EXPECT_EQ(slot.reserved_b[0], 2);
  MakeIndexLocation(slot);
  EXPECT_EQ(Name(slot), "Index");
  EXPECT_EQ(Code(slot), "IDX");
  EXPECT_EQ(slot.chapter, 7);
}

// Each buffer is allocated to exactly its size, so the sanitizer build
// catches any read past what the sender gave.
TEST(Location, DecodingHostileBytesNeverReadsPastTheBuffer) {
  const std::array<std::uint8_t, 16> full = {255, 'N', 'a',  'm', 'e',  's',  200,  'C',
                                             'O', 'D', 0x11, 9,   0x34, 0x12, 0x22, 0x33};
  for (std::size_t size = 0; size <= full.size(); ++size) {
    auto buffer = std::make_unique<std::uint8_t[]>(size == 0 ? 1 : size);
    std::memcpy(buffer.get(), full.data(), size);
    const TbcvRec r = DecodeLocation(buffer.get(), size);
    const auto bytes = EncodeLocation(r);
    for (std::size_t i = 0; i < 16; ++i) {
      std::uint8_t expected = i < size ? full[i] : 0;
      if (i == 0 && size > 0) expected = 5;  // clamped name length
      if (i == 6 && size > 6) expected = 3;  // clamped code length
      EXPECT_EQ(bytes[i], expected) << "size " << size << " byte " << i;
    }
    EXPECT_LE(Name(r).size(), kNameCapacity);
    EXPECT_LE(Code(r).size(), kCodeCapacity);
  }
  const TbcvRec none = DecodeLocation(nullptr, 16);
  EXPECT_EQ(EncodeLocation(none), (std::array<std::uint8_t, 16>{}));

  // A longer payload: only its first 16 bytes count.
  std::vector<std::uint8_t> longer(full.begin(), full.end());
  longer.resize(40, 0xEE);
  const TbcvRec r = DecodeLocation(longer.data(), longer.size());
  EXPECT_EQ(Code(r), "COD");
  EXPECT_EQ(r.chapter, 9);
  EXPECT_EQ(r.verse, 0x1234);
  EXPECT_EQ(LocationCaption(r), "Names 9:4660");
}

TEST(Location, RawLengthBytesAboveCapacityAreReadAsCapacity) {
  TbcvRec r = EmptyLocation();
  std::memcpy(r.name, "Abcde", 5);
  std::memcpy(r.code, "XYZ", 3);
  r.name_length = 250;
  r.code_length = 4;
  r.chapter = 1;
  EXPECT_EQ(Name(r), "Abcde");
  EXPECT_EQ(Code(r), "XYZ");
  EXPECT_EQ(LocationRequestText(r), "BCVXYZ1:0");
}

}  // namespace
}  // namespace vellum
