#include "core/text.h"

#include <algorithm>
#include <array>

namespace vellum {
namespace {

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows-1252 bytes 0x80..0x9F; the five unassigned ones map to the C1
// control of the same number, as the system's conversion does.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one UTF-8 sequence at text[i]. Returns its length, 0 when the bytes
// are not valid UTF-8, or -1 when a valid start is cut off by the text's end.
int DecodeUtf8At(std::string_view text, std::size_t i, char32_t& out) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  if (b0 < 0x80) {
    out = b0;
    return 1;
  }
  int length = 0;
  char32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2, min = 0x80, out = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3, min = 0x800, out = b0 & 0x0Fu;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4, min = 0x10000, out = b0 & 0x07u;
  } else {
    return 0;
  }
  for (int k = 1; k < length; ++k) {
    if (i + static_cast<std::size_t>(k) >= text.size()) return -1;
    const auto b = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
    if ((b & 0xC0u) != 0x80u) return 0;
    out = (out << 6) | (b & 0x3Fu);
  }
  if (out < min || out > 0x10FFFF || (out >= 0xD800 && out <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string AsciiTextRules::Upper(std::string_view text) const {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), AsciiUpper);
  return result;
}

int AsciiTextRules::CompareIgnoringCase(std::string_view a, std::string_view b) const {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(AsciiUpper(a[i]));
    const auto cb = static_cast<unsigned char>(AsciiUpper(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

const TextRules& DefaultTextRules() {
  static const AsciiTextRules rules;
  return rules;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view TrimControls(std::string_view text) {
  auto is_control = [](char c) { return static_cast<unsigned char>(c) < 33; };
  while (!text.empty() && is_control(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && is_control(text.back()))
    text.remove_suffix(1);
  return text;
}

bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return AsciiTextRules().CompareIgnoringCase(text.substr(text.size() - suffix.size()), suffix) ==
         0;
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';

  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    i += 1;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return std::nullopt;

  // Accumulate in 64 bits and stop as soon as the value can no longer fit.
  const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit =
        hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) return std::nullopt;
    value = value * (hex ? 16u : 10u) + static_cast<std::uint64_t>(digit);
    if (value > limit) return std::nullopt;
  }
  auto pattern = static_cast<std::uint32_t>(value);
  if (negative) pattern = 0u - pattern;
  return static_cast<std::int32_t>(pattern);
}

std::u32string DecodeDisplayText(std::string_view text, bool may_be_cut) {
  std::u32string utf8;
  bool valid = true;
  bool multibyte_seen = false;
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const int n = DecodeUtf8At(text, i, c);
    if (n == -1 && (may_be_cut || multibyte_seen)) break;  // drop the cut character
    if (n <= 0) {
      valid = false;
      break;
    }
    multibyte_seen = multibyte_seen || n > 1;
    utf8.push_back(c);
    i += static_cast<std::size_t>(n);
  }
  if (valid) return utf8;

  std::u32string cp1252;
  cp1252.reserve(text.size());
  for (char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    cp1252.push_back((b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80u] : char32_t{b});
  }
  return cp1252;
}

std::string EncodeUtf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const int n = DecodeUtf8At(text, i, c);
    if (n <= 0) return false;
    i += static_cast<std::size_t>(n);
  }
  return true;
}

std::string FirstCharacters(std::string_view text, std::size_t count) {
  if (!IsValidUtf8(text)) return std::string(text.substr(0, count));
  std::size_t end = 0;
  for (std::size_t taken = 0; end < text.size() && taken < count; ++taken) {
    char32_t c = 0;
    end += static_cast<std::size_t>(DecodeUtf8At(text, end, c));
  }
  return std::string(text.substr(0, end));
}

std::string DisplayTextToUtf8(std::string_view text, bool may_be_cut) {
  return EncodeUtf8(DecodeDisplayText(text, may_be_cut));
}

std::string MatchCountText(unsigned count, bool more) {
  if (count == 0) return "not found";
  if (count >= kMostMatchesCounted) return std::to_string(kMostMatchesCounted) + "+ matches";
  if (more) return std::to_string(count) + "+ matches";
  if (count == 1) return "1 match";
  return std::to_string(count) + " matches";
}

std::string MatchPositionText(unsigned position, unsigned count, bool more) {
  const bool capped = count >= kMostMatchesCounted;
  if (position == 0 || count == 0 || (!capped && !more && position > count))
    return MatchCountText(count, more);
  std::string text = std::to_string(position);
  text += " of ";
  text += std::to_string(std::min(count, kMostMatchesCounted));
  if (capped || more) text += '+';
  return text;
}

MatchCount CountMatches(const std::function<bool()>& next,
                        const std::function<std::uint64_t()>& now_ms, std::uint64_t budget_ms,
                        unsigned most) {
  MatchCount counted{1, false};
  const std::uint64_t start = now_ms();
  while (true) {
    if (counted.count >= most || now_ms() - start >= budget_ms) {
      counted.more = true;
      break;
    }
    if (!next()) break;
    ++counted.count;
  }
  return counted;
}

unsigned StepMatchPosition(unsigned position, unsigned count, bool forward) {
  if (count == 0) return 0;
  const unsigned last = std::min(count, kMostMatchesCounted);
  if (position == 0 || position > last) return forward ? 1 : last;
  if (forward) return position == last ? 1 : position + 1;
  return position == 1 ? last : position - 1;
}

}  // namespace vellum
