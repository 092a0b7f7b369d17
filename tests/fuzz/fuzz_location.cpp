// The host's location record: 16 bytes from another program, which may send
// fewer, or length bytes above the fields' capacity. Checks that decoding
// reads nothing beyond what was given, that the texts built from a record
// (captions, the request text, what the buttons show) can be read back, and
// that comparing locations ignores exactly the name and the reserved bytes.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <memory>

#include "core/location.h"
#include "core/text.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using namespace vellum;

// Parses "chapter:verse" as both numbers in decimal; false unless the text
// is exactly that.
bool ReadChapterVerse(std::string_view text, int& chapter, int& verse) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const char* begin = text.data();
  const char* middle = begin + colon;
  const char* end = begin + text.size();
  const auto c = std::from_chars(begin, middle, chapter);
  const auto v = std::from_chars(middle + 1, end, verse);
  return c.ec == std::errc() && c.ptr == middle && v.ec == std::errc() && v.ptr == end;
}

// Numbers are written without leading zeros or a plus sign.
bool Canonical(std::string_view number) {
  if (number.starts_with('-')) number.remove_prefix(1);
  return !number.empty() && (number.size() == 1 || number.front() != '0');
}

void CheckNumbers(std::string_view text, const TbcvRec& location) {
  int chapter = -1;
  int verse = 0;
  VELLUM_FUZZ_CHECK(ReadChapterVerse(text, chapter, verse));
  VELLUM_FUZZ_CHECK(chapter == location.chapter);
  VELLUM_FUZZ_CHECK(verse == location.verse);
  const std::size_t colon = text.find(':');
  VELLUM_FUZZ_CHECK(Canonical(text.substr(0, colon)) && Canonical(text.substr(colon + 1)));
}

void CheckTexts(const TbcvRec& location) {
  const std::string_view name = Name(location);
  const std::string_view code = Code(location);
  VELLUM_FUZZ_CHECK(name.size() <= kNameCapacity && code.size() <= kCodeCapacity);
  // The views point into the record itself, never past its fields.
  const auto* base = reinterpret_cast<const char*>(&location);
  VELLUM_FUZZ_CHECK(name.data() == base + 1 && code.data() == base + 7);

  const std::string caption = LocationCaption(location);
  VELLUM_FUZZ_CHECK(caption.starts_with(name));
  VELLUM_FUZZ_CHECK(caption.size() > name.size() && caption[name.size()] == ' ');
  CheckNumbers(std::string_view(caption).substr(name.size() + 1), location);

  const std::string request = LocationRequestText(location);
  VELLUM_FUZZ_CHECK(request.starts_with("BCV"));
  VELLUM_FUZZ_CHECK(std::string_view(request).substr(3, code.size()) == code);
  CheckNumbers(std::string_view(request).substr(3 + code.size()), location);

  VELLUM_FUZZ_CHECK(IsSpecialCode(code) == (code == "IDX" || code == "ABT"));

  // What a button shows (the name may be cut, the caption whole): valid
  // UTF-8 that decodes to the same characters.
  for (const std::string_view text : {std::string_view(caption), name}) {
    for (const bool cut : {false, true}) {
      const std::u32string shown = DecodeDisplayText(text, cut);
      const std::string utf8 = DisplayTextToUtf8(text, cut);
      VELLUM_FUZZ_CHECK(EncodeUtf8(shown) == utf8);
      VELLUM_FUZZ_CHECK(DecodeDisplayText(utf8) == shown);
      VELLUM_FUZZ_CHECK(shown.size() <= text.size());
    }
  }
}

void CheckComparisons(const TbcvRec& location, vellum::fuzz::ByteReader& input) {
  VELLUM_FUZZ_CHECK(SameLocation(location, location));
  VELLUM_FUZZ_CHECK(SameCode(location, location));

  // The name and the reserved bytes are never compared.
  TbcvRec other = location;
  SetName(other, input.Text());
  other.reserved_a = input.Byte();
  other.reserved_b[0] = input.Byte();
  other.reserved_b[1] = input.Byte();
  VELLUM_FUZZ_CHECK(SameLocation(location, other));

  // Chapter, verse and the code are.
  TbcvRec moved = location;
  moved.chapter = input.Byte();
  moved.verse = static_cast<std::int16_t>(input.U16());
  VELLUM_FUZZ_CHECK(SameLocation(location, moved) ==
                    (moved.chapter == location.chapter && moved.verse == location.verse));
  TbcvRec recoded = location;
  const std::string code = input.Text();
  SetCode(recoded, code);
  VELLUM_FUZZ_CHECK(Code(recoded) == std::string_view(code).substr(0, kCodeCapacity));
  VELLUM_FUZZ_CHECK(SameLocation(location, recoded) == (Code(recoded) == Code(location)));
  VELLUM_FUZZ_CHECK(SameLocation(location, recoded) == SameLocation(recoded, location));

  // Turning a record into a special location writes only its name and code.
  for (const bool index : {true, false}) {
    TbcvRec special = location;
    index ? MakeIndexLocation(special) : MakeAboutLocation(special);
    VELLUM_FUZZ_CHECK(IsSpecialCode(Code(special)));
    VELLUM_FUZZ_CHECK(std::memcmp(&special.reserved_a, &location.reserved_a,
                                  kLocationSize - offsetof(TbcvRec, reserved_a)) == 0);
    CheckTexts(special);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vellum::fuzz::ByteReader input(data, size);
  // The record is whatever the host sent: its first bytes, in a buffer of
  // exactly that size, so that reading one byte too far is caught.
  const std::size_t length = input.Byte() % (2 * kLocationSize + 1);
  const std::string bytes = input.Bytes(length);
  const std::unique_ptr<std::uint8_t[]> sent(new std::uint8_t[bytes.size()]);
  std::memcpy(sent.get(), bytes.data(), bytes.size());
  const TbcvRec location = DecodeLocation(bytes.empty() ? nullptr : sent.get(), bytes.size());

  // Bytes given are kept as they are (length bytes cut to capacity), bytes
  // missing read as zero.
  const auto encoded = EncodeLocation(location);
  for (std::size_t i = 0; i < kLocationSize; ++i) {
    std::uint8_t expected = i < bytes.size() ? static_cast<std::uint8_t>(bytes[i]) : 0;
    if (i == 0)
      expected = static_cast<std::uint8_t>(std::min<std::size_t>(expected, kNameCapacity));
    if (i == 6)
      expected = static_cast<std::uint8_t>(std::min<std::size_t>(expected, kCodeCapacity));
    VELLUM_FUZZ_CHECK(encoded[i] == expected);
  }
  // A decoded record decodes to itself.
  const TbcvRec again = DecodeLocation(encoded.data(), encoded.size());
  VELLUM_FUZZ_CHECK(std::memcmp(&again, &location, kLocationSize) == 0);

  CheckTexts(location);
  CheckComparisons(location, input);

  // A record built in memory with raw length bytes (as a slot copied whole
  // could hold) is still read within its fields.
  TbcvRec raw = location;
  raw.name_length = input.Byte();
  raw.code_length = input.Byte();
  CheckTexts(raw);
  return 0;
}
