#include "core/anchors.h"
#include "core/text.h"

#include <algorithm>

namespace vellum {
namespace {

// Three decimal digits; nullopt for anything else.
std::optional<int> ThreeDigits(std::string_view text) {
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::optional<std::vector<std::string>> DecodeAnchorNameList(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  std::size_t count = 0;
  for (char c : text.substr(0, colon)) {
    if (c < '0' || c > '9') return std::nullopt;
    count = count * 10 + static_cast<std::size_t>(c - '0');
    if (count > kMaxAnchorNames) return std::nullopt;
  }
  const std::string_view list = text.substr(colon + 1);
  std::vector<std::string> names;
  if (count == 0) return list.empty() ? std::optional(names) : std::nullopt;
  // The list holds one name more than it has blanks. The count comes from the
  // page, so it is believed only when the text bears it out: never reserve
  // room for names the text cannot hold.
  const auto blanks = static_cast<std::size_t>(std::count(list.begin(), list.end(), ' '));
  if (blanks + 1 != count) return std::nullopt;
  names.reserve(count);
  std::string name;
  for (std::size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || list[i] == ' ') {
      names.push_back(std::move(name));
      name.clear();
    } else if (list[i] == '%' && i + 2 < list.size() && HexDigit(list[i + 1]) >= 0 &&
               HexDigit(list[i + 2]) >= 0) {
      name.push_back(static_cast<char>(HexDigit(list[i + 1]) * 16 + HexDigit(list[i + 2])));
      i += 2;
    } else {
      name.push_back(list[i]);
    }
  }
  return names;
}

std::optional<AnchorEntry> ParseAnchorName(std::string_view name, std::int32_t ordinal) {
  if (name.size() < 8 || name.substr(0, 2) != "CV") return std::nullopt;
  const auto chapter = ThreeDigits(name.substr(2, 3));
  const auto verse = ThreeDigits(name.substr(5, 3));
  if (!chapter || !verse) return std::nullopt;
  return AnchorEntry{static_cast<std::uint8_t>(*chapter & 0xFF),
                     static_cast<std::uint8_t>(*verse & 0xFF), ordinal};
}

std::string ExactAnchorName(std::uint8_t chapter, std::int16_t verse) {
  if (verse < 0 || verse > 255) return {};
  std::string name = "CV";
  for (const int number : {static_cast<int>(chapter), static_cast<int>(verse)}) {
    name += static_cast<char>('0' + number / 100);
    name += static_cast<char>('0' + number / 10 % 10);
    name += static_cast<char>('0' + number % 10);
  }
  return name;
}

void AnchorTable::Build(const std::vector<std::string>& names) {
  entries_.clear();
  entries_.reserve(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (auto entry = ParseAnchorName(names[i], static_cast<std::int32_t>(i))) {
      entries_.push_back(*entry);
    }
  }
}

std::optional<AnchorTable::Choice> AnchorTable::Choose(std::uint8_t chapter,
                                                       std::int16_t verse) const {
  const AnchorEntry* prev = nullptr;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const AnchorEntry& e = entries_[i];
    const bool last = i + 1 == entries_.size();
    if (e.chapter == chapter) {
      if (e.verse > verse && prev != nullptr) return Choice{prev->ordinal, false};
      if (e.verse == verse) return Choice{e.ordinal, true};
      if (last) return Choice{e.ordinal, false};
    }
    if ((e.chapter > chapter || last) && prev != nullptr) return Choice{prev->ordinal, false};
    prev = &e;
  }
  return std::nullopt;
}

}  // namespace vellum
