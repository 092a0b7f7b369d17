#include "tools/import/expositions.h"

#include <cctype>
#include <optional>
#include <utility>
#include <vector>

#include "tools/import/pages.h"

namespace vellum::import {
namespace {

struct Heading {
  std::size_t start = 0;  // of its start tag
  std::size_t end = 0;    // just after its end tag
  bool exposition = false;
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

// The text of markup, its tags left out, in upper case.
std::string UpperText(std::string_view markup) {
  std::string text;
  bool in_tag = false;
  for (const char c : markup) {
    if (c == '<') in_tag = true;
    if (!in_tag) text += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c == '>') in_tag = false;
  }
  return text;
}

// The <h1>...<h6> headings of the entry, in order.
std::vector<Heading> Headings(std::string_view html) {
  std::vector<Heading> headings;
  std::size_t at = 0;
  while ((at = html.find("<h", at)) != std::string_view::npos) {
    if (at + 3 >= html.size() || html[at + 2] < '1' || html[at + 2] > '6' ||
        (html[at + 3] != '>' && html[at + 3] != ' ')) {
      at += 2;
      continue;
    }
    const std::string close = std::string("</h") + html[at + 2] + ">";
    const std::size_t end = html.find(close, at);
    if (end == std::string_view::npos) break;
    const std::string text = UpperText(html.substr(at, end - at));
    headings.push_back({at, end + close.size(), text.find("EXPOSITION") != std::string::npos});
    at = end + close.size();
  }
  return headings;
}

// The verse a marker at the start of text names ("Ver. 105.", "Verses 7-8."),
// after an optional bold or italic tag; nullopt when there is none.
std::optional<int> MarkerVerse(std::string_view text) {
  for (const std::string_view tag : {"<b>", "<i>", "<strong>", "<em>"}) {
    if (text.substr(0, tag.size()) == tag) {
      text.remove_prefix(tag.size());
      break;
    }
  }
  std::size_t i = 0;
  if (text.substr(0, 4) == "Ver.") {
    i = 4;
  } else if (text.substr(0, 6) == "Verses") {
    i = 6;
  } else if (text.substr(0, 5) == "Verse") {
    i = 5;
  } else {
    return std::nullopt;
  }
  const std::size_t blank = i;
  while (i < text.size() && text[i] == ' ')
    ++i;
  if (i == blank) return std::nullopt;
  int verse = 0;
  const std::size_t digits = i;
  while (i < text.size() && IsDigit(text[i]) && i - digits < 3)
    verse = verse * 10 + (text[i++] - '0');
  if (i == digits || i >= text.size() || IsDigit(text[i])) return std::nullopt;
  // "105." alone, or the start of a range or list: "7-8.", "2,4-5".
  if (text[i] != '.' && text[i] != '-' && text[i] != ',') return std::nullopt;
  return verse;
}

// Where paragraphs start in html[from, to): right at from, after each <br>
// and each <p> start tag; blanks skipped.
std::vector<std::size_t> ParagraphStarts(std::string_view html, std::size_t from, std::size_t to) {
  std::vector<std::size_t> starts{from};
  for (std::size_t at = from; at < to; ++at) {
    if (html[at] != '<') continue;
    const std::string_view rest = html.substr(at, to - at);
    if (rest.substr(0, 4) == "<br>" || rest.substr(0, 3) == "<p>" || rest.substr(0, 3) == "<p ") {
      const std::size_t close = html.find('>', at);
      if (close == std::string_view::npos || close >= to) break;
      starts.push_back(close + 1);
    }
  }
  for (std::size_t& start : starts) {
    while (start < to && IsBlank(html[start]))
      ++start;
  }
  return starts;
}

}  // namespace

std::string AnchorExpositions(std::string_view html, int chapter, int first_verse, int last_verse) {
  const std::vector<Heading> headings = Headings(html);
  std::vector<std::pair<std::size_t, int>> anchors;  // where, which verse
  int last_anchored = first_verse;
  for (std::size_t h = 0; h < headings.size(); ++h) {
    if (!headings[h].exposition) continue;
    const std::size_t to = h + 1 < headings.size() ? headings[h + 1].start : html.size();
    for (const std::size_t start : ParagraphStarts(html, headings[h].end, to)) {
      const std::optional<int> verse = MarkerVerse(html.substr(start, to - start));
      if (!verse || *verse <= last_anchored || *verse > last_verse) continue;
      anchors.emplace_back(start, *verse);
      last_anchored = *verse;
    }
  }
  if (anchors.empty()) return std::string(html);
  std::string out;
  out.reserve(html.size() + anchors.size() * 24);
  std::size_t copied = 0;
  for (const auto& [at, verse] : anchors) {
    out.append(html.substr(copied, at - copied));
    out += "<a name=\"" + AnchorName(chapter, verse) + "\"></a>";
    copied = at;
  }
  out.append(html.substr(copied));
  return out;
}

}  // namespace vellum::import
