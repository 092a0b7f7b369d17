// Module text made into page markup: the XHTML that the SWORD library's
// filters make of an entry (which passes much of the module's own markup
// through) goes through the sanitizer, and reference targets through the
// OSIS reference reader. Checks that whatever comes in, what goes on a page
// is well-formed (every tag known and closed in order), valid UTF-8 without
// control characters, has no attribute but the few allowed, and links only
// to "$BCV" cross-references of known books; and that every reference read
// gives a request text the viewer's host can take.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "tests/fuzz/fuzz_input.h"
#include "tools/import/entry_html.h"
#include "tools/import/references.h"

namespace {

using namespace vellum::import;

constexpr std::array kKept = {
    "b",     "i",     "u",     "s",  "em",     "strong", "small",   "big",        "sup",
    "sub",   "span",  "div",   "p",  "h1",     "h2",     "h3",      "h4",         "h5",
    "h6",    "ul",    "ol",    "li", "dl",     "dt",     "dd",      "blockquote", "table",
    "thead", "tbody", "tfoot", "tr", "td",     "th",     "caption", "cite",       "q",
    "abbr",  "code",  "pre",   "tt", "strike", "center", "a"};
constexpr std::array kVoid = {"br", "hr", "wbr"};
constexpr std::array kAttributes = {"class", "style",   "dir",     "lang",
                                    "title", "colspan", "rowspan", "href"};

template <std::size_t N>
bool OneOf(std::string_view name, const std::array<const char*, N>& names) {
  for (const char* n : names) {
    if (name == n) return true;
  }
  return false;
}

bool ValidUtf8WithoutControls(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x20 && b != '\t' && b != '\n') return false;
    if (b == 0x7F) return false;
    std::size_t n = b < 0x80                 ? 1
                    : b >= 0xC2 && b <= 0xDF ? 2
                    : b >= 0xE0 && b <= 0xEF ? 3
                    : b >= 0xF0 && b <= 0xF4 ? 4
                                             : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

// A link the sanitizer may write: exactly ours, to a known book.
bool IsCrossReference(std::string_view href) {
  const std::size_t dollar = href.find("$BCV");
  if (dollar != 7 || href.substr(3, 4) != ".htm") return false;
  const std::string_view target = href.substr(dollar + 4);
  return IsRequestText(target) && PageFileName(target.substr(0, 3)) == href.substr(0, 7);
}

void CheckTag(std::string_view tag, std::vector<std::string>& open) {
  VELLUM_FUZZ_CHECK(tag.find('<', 1) == std::string_view::npos);
  if (tag[1] == '/') {
    const std::string name(tag.substr(2, tag.size() - 3));
    VELLUM_FUZZ_CHECK(!open.empty() && open.back() == name);
    open.pop_back();
    return;
  }
  std::size_t end = tag.find_first_of(" >");
  const std::string name(tag.substr(1, end - 1));
  const bool is_void = OneOf(name, kVoid);
  VELLUM_FUZZ_CHECK(OneOf(name, kKept) || is_void);
  // Attributes: name="value", the value without quotes or angle brackets.
  bool has_href = false;
  while (tag[end] == ' ') {
    const std::size_t eq = tag.find("=\"", end);
    VELLUM_FUZZ_CHECK(eq != std::string_view::npos);
    const std::string_view key = tag.substr(end + 1, eq - end - 1);
    VELLUM_FUZZ_CHECK(OneOf(key, kAttributes));
    const std::size_t close = tag.find('"', eq + 2);
    VELLUM_FUZZ_CHECK(close != std::string_view::npos);
    const std::string_view value = tag.substr(eq + 2, close - eq - 2);
    VELLUM_FUZZ_CHECK(value.find_first_of("<>") == std::string_view::npos);
    if (key == "href") {
      VELLUM_FUZZ_CHECK(name == "a" && IsCrossReference(value));
      has_href = true;
    }
    end = close + 1;
  }
  // The only links are cross-references.
  VELLUM_FUZZ_CHECK(has_href == (name == "a"));
  VELLUM_FUZZ_CHECK(tag.substr(end) == ">");
  if (!is_void) open.emplace_back(name);
}

void CheckPageMarkup(std::string_view out) {
  VELLUM_FUZZ_CHECK(ValidUtf8WithoutControls(out));
  std::vector<std::string> open;
  std::size_t i = 0;
  while (i < out.size()) {
    if (out[i] == '<') {
      const std::size_t close = out.find('>', i);
      VELLUM_FUZZ_CHECK(close != std::string_view::npos);
      CheckTag(out.substr(i, close - i + 1), open);
      i = close + 1;
      continue;
    }
    VELLUM_FUZZ_CHECK(out[i] != '>');
    ++i;
  }
  VELLUM_FUZZ_CHECK(open.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckPageMarkup(SanitizeEntryHtml(input));
  VELLUM_FUZZ_CHECK(ValidUtf8WithoutControls(EscapeHtmlText(input)));
  VELLUM_FUZZ_CHECK(EscapeHtmlText(input).find('<') == std::string::npos);
  if (const auto refs = ParseOsisRefList(input)) {
    VELLUM_FUZZ_CHECK(!refs->empty());
    for (const VerseRef& ref : *refs)
      VELLUM_FUZZ_CHECK(IsRequestText(RequestText(ref)));
  }
  return 0;
}
