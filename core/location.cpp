#include "core/location.h"

#include <algorithm>
#include <cstring>

namespace vellum {
namespace {

std::uint8_t ClampedLength(std::uint8_t length, std::size_t capacity) {
  return static_cast<std::uint8_t>(std::min<std::size_t>(length, capacity));
}

template <std::size_t N>
void SetField(std::uint8_t& length, char (&chars)[N], std::string_view text) {
  const std::size_t n = std::min(text.size(), N);
  std::memcpy(chars, text.data(), n);
  length = static_cast<std::uint8_t>(n);
}

}  // namespace

TbcvRec EmptyLocation() {
  TbcvRec location;
  std::memset(&location, 0, sizeof location);
  return location;
}

std::string_view Name(const TbcvRec& location) {
  return {location.name, ClampedLength(location.name_length, kNameCapacity)};
}

std::string_view Code(const TbcvRec& location) {
  return {location.code, ClampedLength(location.code_length, kCodeCapacity)};
}

void SetName(TbcvRec& location, std::string_view text) {
  SetField(location.name_length, location.name, text);
}

void SetCode(TbcvRec& location, std::string_view text) {
  SetField(location.code_length, location.code, text);
}

TbcvRec DecodeLocation(const void* data, std::size_t size) {
  TbcvRec location = EmptyLocation();
  if (data != nullptr && size > 0) {
    std::memcpy(&location, data, std::min(size, kLocationSize));
  }
  location.name_length = ClampedLength(location.name_length, kNameCapacity);
  location.code_length = ClampedLength(location.code_length, kCodeCapacity);
  return location;
}

std::array<std::uint8_t, kLocationSize> EncodeLocation(const TbcvRec& location) {
  std::array<std::uint8_t, kLocationSize> bytes{};
  std::memcpy(bytes.data(), &location, kLocationSize);
  return bytes;
}

bool IsSpecialCode(std::string_view code) {
  return code == kIndexCode || code == kAboutCode;
}

bool SameCode(const TbcvRec& a, const TbcvRec& b) {
  return Code(a) == Code(b);
}

bool SameLocation(const TbcvRec& a, const TbcvRec& b) {
  return SameCode(a, b) && a.chapter == b.chapter && a.verse == b.verse;
}

std::string LocationCaption(const TbcvRec& location) {
  std::string text(Name(location));
  text += ' ';
  text += std::to_string(location.chapter);
  text += ':';
  text += std::to_string(location.verse);
  return text;
}

std::string LocationRequestText(const TbcvRec& location) {
  std::string text = "BCV";
  text += Code(location);
  text += std::to_string(location.chapter);
  text += ':';
  text += std::to_string(location.verse);
  return text;
}

void MakeIndexLocation(TbcvRec& location) {
  SetName(location, kIndexName);
  SetCode(location, kIndexCode);
}

void MakeAboutLocation(TbcvRec& location) {
  SetName(location, kAboutName);
  SetCode(location, kAboutCode);
}

TbcvRec FreshIndexLocation() {
  TbcvRec location = EmptyLocation();
  MakeIndexLocation(location);
  return location;
}

TbcvRec FreshAboutLocation() {
  TbcvRec location = EmptyLocation();
  MakeAboutLocation(location);
  return location;
}

}  // namespace vellum
