#include "core/anchors.h"

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

std::optional<AnchorEntry> ParseAnchorName(std::string_view name, std::int32_t ordinal) {
  if (name.size() < 8 || name.substr(0, 2) != "CV") return std::nullopt;
  const auto chapter = ThreeDigits(name.substr(2, 3));
  const auto verse = ThreeDigits(name.substr(5, 3));
  if (!chapter || !verse) return std::nullopt;
  return AnchorEntry{static_cast<std::uint8_t>(*chapter & 0xFF),
                     static_cast<std::uint8_t>(*verse & 0xFF), ordinal};
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
