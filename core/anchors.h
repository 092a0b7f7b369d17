// The chapter/verse anchors of a book page: the table built once per page
// load, and the choice of the anchor that best matches a location.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellum {

struct AnchorEntry {
  std::uint8_t chapter = 0;  // low 8 bits of the name's chapter number
  std::uint8_t verse = 0;    // low 8 bits of the name's verse number
  std::int32_t ordinal = 0;  // position in the page's anchors, from 0
  friend bool operator==(const AnchorEntry&, const AnchorEntry&) = default;
};

// A chapter/verse anchor name: "CV", three decimal digits of chapter, three of
// verse, anything after the eighth character ignored ("CV001001a" is 1:1).
// Lower-case "cv", names shorter than eight characters and names whose
// numbers are not decimal digits give nullopt.
std::optional<AnchorEntry> ParseAnchorName(std::string_view name, std::int32_t ordinal);

// The name of the anchor that is an exact match for chapter:verse ("CV100007"
// for 100:7); empty when no anchor can be one (a verse below 0 or above 255:
// a name's numbers count by their low 8 bits).
std::string ExactAnchorName(std::uint8_t chapter, std::int16_t verse);

// All anchor names of a page as one text, as the page can hand them over in
// one call: the number of anchors, ":", then the names separated by blanks,
// each percent-encoded (as encodeURIComponent writes it). "2:a b%20c" holds
// "a" and "b c". nullopt when the text is not of that form or the count is off.
// The count is believed only as far as the text bears it out, and never
// beyond kMaxAnchorNames.
inline constexpr std::size_t kMaxAnchorNames = 100'000'000;
std::optional<std::vector<std::string>> DecodeAnchorNameList(std::string_view text);

class AnchorTable {
 public:
  // Indexes a page's anchor names, given in document order.
  void Build(const std::vector<std::string>& names);
  void Clear() { entries_.clear(); }

  int Count() const { return static_cast<int>(entries_.size()); }
  const std::vector<AnchorEntry>& Entries() const { return entries_; }

  struct Choice {
    std::int32_t ordinal = -1;  // the anchor to show
    bool exact = false;         // it has exactly the location's chapter and verse
  };
  // The anchor for chapter c and verse v: the exact one, else the one just
  // before where c:v would stand (see the tests for every case); nullopt
  // when the page offers none.
  std::optional<Choice> Choose(std::uint8_t chapter, std::int16_t verse) const;

 private:
  std::vector<AnchorEntry> entries_;
};

}  // namespace vellum
