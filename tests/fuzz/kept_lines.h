// Checks that an ini writer kept every line it was not asked to change. Lines
// are split here independently of core/ini_file.cpp, so a splitting fault
// there cannot hide itself.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vellum::fuzz {

struct TextLine {
  std::string text;
  std::string eol;  // "\r\n", "\n", "\r", or "" for a last line without one
  friend bool operator==(const TextLine&, const TextLine&) = default;
};

inline std::vector<TextLine> SplitTextLines(std::string_view content) {
  std::vector<TextLine> lines;
  TextLine line;
  for (std::size_t i = 0; i < content.size(); ++i) {
    const char c = content[i];
    if (c != '\r' && c != '\n') {
      line.text.push_back(c);
      continue;
    }
    line.eol = c;
    if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') {
      line.eol = "\r\n";
      ++i;
    }
    lines.push_back(std::move(line));
    line = {};
  }
  if (!line.text.empty()) lines.push_back(std::move(line));
  return lines;
}

struct LineEdits {
  // A line the writer may have added (a written key line or section line).
  std::function<bool(const std::string& added)> may_add;
  // Whether the writer may have replaced the line `before` by `after`.
  std::function<bool(const std::string& before, const std::string& after)> may_replace;
  std::size_t max_added = 0;
};

// True when `after` is `before` with at most `max_added` lines added and some
// lines replaced as `edits` allows; every other line is kept byte for byte
// with its own line ending, except that a last line without one may gain one
// (a line was added behind it). Added lines always end in a line ending.
inline bool KeepsOtherLines(std::string_view before_text, std::string_view after_text,
                            const LineEdits& edits) {
  const std::vector<TextLine> before = SplitTextLines(before_text);
  const std::vector<TextLine> after = SplitTextLines(after_text);
  if (after.size() < before.size() || after.size() - before.size() > edits.max_added) {
    return false;
  }
  const std::size_t added = after.size() - before.size();

  auto same_place = [&](std::size_t i, std::size_t j) {
    const TextLine& b = before[i];
    const TextLine& a = after[j];
    const bool eol_ok =
        a.eol == b.eol || (i + 1 == before.size() && b.eol.empty() && !a.eol.empty());
    return eol_ok && (a.text == b.text || edits.may_replace(b.text, a.text));
  };
  auto may_add = [&](std::size_t j) {
    return !after[j].eol.empty() && edits.may_add(after[j].text);
  };

  // reach[i][k]: the first i lines of `before` match the first i + k lines of
  // `after`, k of which were added.
  std::vector<std::vector<bool>> reach(before.size() + 1, std::vector<bool>(added + 1, false));
  reach[0][0] = true;
  for (std::size_t i = 0; i <= before.size(); ++i) {
    for (std::size_t k = 0; k <= added; ++k) {
      if (!reach[i][k]) continue;
      const std::size_t j = i + k;
      if (k < added && may_add(j)) reach[i][k + 1] = true;
      if (i < before.size() && j < after.size() && same_place(i, j)) reach[i + 1][k] = true;
    }
  }
  return reach[before.size()][added];
}

}  // namespace vellum::fuzz
