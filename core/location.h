// The 16-byte location record that every part of the viewer passes around, and
// the same bytes that travel as the payload of the host's show-location message.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace vellum {

inline constexpr std::size_t kNameCapacity = 5;
inline constexpr std::size_t kCodeCapacity = 3;
inline constexpr std::size_t kLocationSize = 16;

// In-memory form and wire form are one and the same, so the layout is fixed
// byte by byte. Fields are raw: a record that came from outside may carry
// length bytes above capacity, so always read the texts through Name()/Code().
struct TbcvRec {
  std::uint8_t name_length;
  char name[kNameCapacity];
  std::uint8_t code_length;
  char code[kCodeCapacity];
  std::uint8_t reserved_a;  // carried along, never interpreted
  std::uint8_t chapter;
  std::int16_t verse;          // little-endian on the wire; both targets are little-endian
  std::uint8_t reserved_b[2];  // carried along, never interpreted
};

static_assert(sizeof(TbcvRec) == kLocationSize);
static_assert(std::is_trivially_copyable_v<TbcvRec>);
static_assert(std::is_standard_layout_v<TbcvRec>);
static_assert(offsetof(TbcvRec, code_length) == 6);
static_assert(offsetof(TbcvRec, reserved_a) == 10);
static_assert(offsetof(TbcvRec, chapter) == 11);
static_assert(offsetof(TbcvRec, verse) == 12);
static_assert(offsetof(TbcvRec, reserved_b) == 14);
static_assert(std::endian::native == std::endian::little,
              "the record's verse is stored in wire order");

// A history entry: owns its own copy of the record.
class TbcvObj {
 public:
  explicit TbcvObj(const TbcvRec& location) : location_(location) {}
  const TbcvRec& Location() const { return location_; }

 private:
  TbcvRec location_;
};

// A record with all 16 bytes zero.
TbcvRec EmptyLocation();

// The valid characters of the name and code; a length byte above capacity
// counts as the capacity, so nothing outside the field is ever read.
std::string_view Name(const TbcvRec& location);
std::string_view Code(const TbcvRec& location);

// Keep the leading characters of text up to the field's capacity.
void SetName(TbcvRec& location, std::string_view text);
void SetCode(TbcvRec& location, std::string_view text);

// Decodes a record from bytes that came from outside. Never reads beyond
// `size` bytes: missing bytes read as zero (a null buffer reads as all zero)
// and length bytes above capacity are clamped to the capacity.
TbcvRec DecodeLocation(const void* data, std::size_t size);
std::array<std::uint8_t, kLocationSize> EncodeLocation(const TbcvRec& location);

// True only for exactly "IDX" and "ABT" (case-sensitive).
bool IsSpecialCode(std::string_view code);

// Exact, case-sensitive comparison of two book codes, length included.
bool SameCode(const TbcvRec& a, const TbcvRec& b);

// Code, chapter and verse equal; the name and the reserved bytes are ignored.
bool SameLocation(const TbcvRec& a, const TbcvRec& b);

// "Name chapter:verse", e.g. "Alpha 1:1"; an empty name leaves the blank.
std::string LocationCaption(const TbcvRec& location);

// "BCV" + code + "chapter:verse", e.g. "BCVALP1:1".
std::string LocationRequestText(const TbcvRec& location);

// Special pages: name "Index"/code "IDX" and name "About"/code "ABT".
inline constexpr std::string_view kIndexName = "Index";
inline constexpr std::string_view kIndexCode = "IDX";
inline constexpr std::string_view kAboutName = "About";
inline constexpr std::string_view kAboutCode = "ABT";

// Turning a record into a special location writes only its name and code;
// chapter, verse and reserved bytes keep what they held.
void MakeIndexLocation(TbcvRec& location);
void MakeAboutLocation(TbcvRec& location);

// Fresh records built from constants: all bytes zero before name and code.
TbcvRec FreshIndexLocation();
TbcvRec FreshAboutLocation();

}  // namespace vellum
