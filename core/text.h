// Text helpers shared by the ini reader, the catalogue and the window shells.
// Text in files and records is 8-bit text of the system code page; nothing
// here assumes more than bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vellum {

// How the user's locale upper-cases and orders text while ignoring case. The
// platforms supply their own (the system's locale rules); AsciiTextRules is a
// locale-free stand-in that folds ASCII letters only.
class TextRules {
 public:
  virtual ~TextRules() = default;
  virtual std::string Upper(std::string_view text) const = 0;
  // Negative, zero or positive, like strcmp, ignoring case.
  virtual int CompareIgnoringCase(std::string_view a, std::string_view b) const = 0;
  bool EqualIgnoringCase(std::string_view a, std::string_view b) const {
    return CompareIgnoringCase(a, b) == 0;
  }
};

class AsciiTextRules final : public TextRules {
 public:
  std::string Upper(std::string_view text) const override;
  int CompareIgnoringCase(std::string_view a, std::string_view b) const override;
};

const TextRules& DefaultTextRules();

// Removes characters with codes below 33 (blanks and control characters)
// from both ends.
std::string_view TrimControls(std::string_view text);

// The value of a hexadecimal digit (either case), or -1.
int HexDigit(char c);

bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix);

// A signed 32-bit integer: optional leading blanks, an optional sign, then
// decimal digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X".
// Decimal values must fit the signed range; hexadecimal values are taken as a
// 32-bit pattern ("$FFFFFFFF" is -1). Anything else gives nullopt.
std::optional<std::int32_t> ParseInt32(std::string_view text);

// Text from files and records shown in a UTF-8 user interface: kept as it is
// when it is valid UTF-8, else read as Windows-1252. A UTF-8 character cut
// off at the end (a name kept to its first bytes) is dropped rather than
// shown broken: when the caller says the text may have been cut, or when the
// text before it already holds a complete multi-byte character.
std::string DisplayTextToUtf8(std::string_view text, bool may_be_cut = false);

// The Unicode code points of DisplayTextToUtf8's result.
std::u32string DecodeDisplayText(std::string_view text, bool may_be_cut = false);

std::string EncodeUtf8(std::u32string_view text);

bool IsValidUtf8(std::string_view text);

// The first `count` characters of text: UTF-8 characters where the text is
// valid UTF-8 (never cutting one), else bytes (8-bit text of a code page).
std::string FirstCharacters(std::string_view text, std::size_t count);

// Matches a find in page counts at most: a long book can hold very many.
inline constexpr unsigned kMostMatchesCounted = 10'000;
// The find bar's count: "not found", "1 match", "N matches", or "10000+
// matches" where counting stopped at the most.
// `more`: counting stopped before the end (its time ran out), "120+ matches".
std::string MatchCountText(unsigned count, bool more = false);
// Where the selected match stands among them: "3 of 14", "3 of 10000+";
// the count alone while the position is not known (0) or out of range.
std::string MatchPositionText(unsigned position, unsigned count, bool more = false);

// Counting matches one step at a time, the first found already: until a
// step finds none, `most` are counted, or `budget_ms` have passed on the
// clock (a long page must not hold the window up). `more` when it stopped
// before the end.
struct MatchCount {
  unsigned count = 0;
  bool more = false;
};
MatchCount CountMatches(const std::function<bool()>& next,
                        const std::function<std::uint64_t()>& now_ms, std::uint64_t budget_ms,
                        unsigned most = kMostMatchesCounted);
// The find bar's status field is this wide, in characters, at its widest:
// its text is never cut.
inline constexpr int kMatchTextWidth = 15;  // "10000 of 10000+"
// The match after (forward) or before the one at position, round the end;
// the first (or last) when the position is not known.
unsigned StepMatchPosition(unsigned position, unsigned count, bool forward);

}  // namespace vellum
