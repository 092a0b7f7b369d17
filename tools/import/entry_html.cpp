#include "tools/import/entry_html.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "tools/import/html_tree.h"
#include "tools/import/references.h"

namespace vellum::import {
namespace {

enum class Kind {
  kKeep,    // kept, with its allowed attributes
  kVoid,    // kept, has no content and no end tag
  kDrop,    // dropped with everything inside it
  kUnwrap,  // the tag goes, its content stays
};

constexpr std::array kKept = {"b",     "i",     "u",    "s",    "em",         "strong",  "small",
                              "big",   "sup",   "sub",  "span", "div",        "p",       "h1",
                              "h2",    "h3",    "h4",   "h5",   "h6",         "ul",      "ol",
                              "li",    "dl",    "dt",   "dd",   "blockquote", "table",   "thead",
                              "tbody", "tfoot", "tr",   "td",   "th",         "caption", "cite",
                              "q",     "abbr",  "code", "pre",  "tt",         "strike",  "center"};
constexpr std::array kVoidElements = {"br", "hr", "wbr"};
// Dropped with their content. Void elements are never here (embed, meta,
// link, frame...): written without "/>", they have no content to drop, and
// what follows them is the entry's own.
constexpr std::array kDropped = {"script",   "style",    "iframe",   "object", "applet", "head",
                                 "title",    "noscript", "template", "svg",    "math",   "textarea",
                                 "select",   "button",   "form",     "video",  "audio",  "canvas",
                                 "frameset", "noframes", "xml"};

// Deeper nesting than this is unwrapped: no real entry needs it, and a
// page must not be able to make the browser build an endless tree.
constexpr std::size_t kMaxDepth = 100;

template <std::size_t N>
bool IsOneOf(std::string_view name, const std::array<const char*, N>& names) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

Kind KindOf(std::string_view name) {
  if (IsOneOf(name, kKept)) return Kind::kKeep;
  if (IsOneOf(name, kVoidElements)) return Kind::kVoid;
  if (IsOneOf(name, kDropped)) return Kind::kDrop;
  return Kind::kUnwrap;
}

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// The length of a character reference at the start of text ("&amp;",
// "&#233;", "&#xE9;"), or 0 when text does not start with one.
std::size_t EntityLength(std::string_view text) {
  if (text.size() < 3 || text[0] != '&') return 0;
  std::size_t i = 1;
  std::size_t max = 33;
  bool (*allowed)(char) = [](char c) { return IsAsciiLetter(c) || IsAsciiDigit(c); };
  if (text[1] == '#') {
    i = 2;
    max = 9;
    if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
      ++i;
      allowed = [](char c) {
        return IsAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
      };
    } else {
      allowed = IsAsciiDigit;
    }
  } else if (!IsAsciiLetter(text[1])) {
    return 0;
  }
  const std::size_t start = i;
  while (i < text.size() && i < max && allowed(text[i]))
    ++i;
  if (i == start || i >= text.size() || text[i] != ';') return 0;
  return i + 1;
}

// The length of the valid UTF-8 sequence at the start of text, 0 when the
// bytes there are not one.
std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

// Appends text escaped for element content or, with quotes, for a
// double-quoted attribute. Character references pass as they are.
void AppendEscaped(std::string& out, std::string_view text, bool quotes) {
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '&') {
      const std::size_t entity = EntityLength(text.substr(i));
      if (entity > 0) {
        out.append(text.substr(i, entity));
        i += entity;
      } else {
        out += "&amp;";
        ++i;
      }
      continue;
    }
    if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '"' && quotes) {
      out += "&quot;";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      if (c == '\t' || c == '\n') out += c;
    } else if (static_cast<unsigned char>(c) < 0x80) {
      out += c;
    } else {
      const std::size_t length = Utf8Length(text.substr(i));
      if (length == 0) {
        out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
        ++i;
        continue;
      }
      out.append(text.substr(i, length));
      i += length;
      continue;
    }
    ++i;
  }
}

bool AllCharsIn(std::string_view value, std::string_view extra) {
  return std::all_of(value.begin(), value.end(), [&](char c) {
    return IsAsciiLetter(c) || IsAsciiDigit(c) || extra.find(c) != std::string_view::npos;
  });
}

// The attribute as it may stay on a kept element; empty when it goes.
std::string CleanAttribute(std::string_view element, const std::string& name,
                           std::string_view value) {
  bool keep = false;
  if (name == "class") {
    keep = AllCharsIn(value, " _-");
  } else if (name == "style") {
    // Plain properties only: without parentheses, quotes, backslashes or "@"
    // no style can load anything (url(), image-set(), @import).
    keep = AllCharsIn(value, " :;#%.,!-");
  } else if (name == "dir") {
    keep = value == "ltr" || value == "rtl" || value == "auto";
  } else if (name == "lang" || name == "xml:lang") {
    keep = !value.empty() && value.size() <= 35 && AllCharsIn(value, "-");
  } else if (name == "colspan" || name == "rowspan") {
    keep = (element == "td" || element == "th") && !value.empty() && value.size() <= 3 &&
           std::all_of(value.begin(), value.end(), IsAsciiDigit);
  } else if (name == "title") {
    keep = true;
  }
  if (!keep || value.size() > 1000) return {};
  std::string out = " " + (name == "xml:lang" ? std::string("lang") : name) + "=\"";
  AppendEscaped(out, value, true);
  out += '"';
  return out;
}

struct Tag {
  std::string name;  // lower case
  bool end = false;
  bool self_closing = false;
  std::vector<std::pair<std::string, std::string>> attributes;  // names lower case
  std::size_t length = 0;                                       // bytes of the whole tag
};

std::optional<std::string> FindAttribute(const Tag& tag, std::string_view name) {
  for (const auto& [key, value] : tag.attributes) {
    if (key == name) return value;
  }
  return std::nullopt;
}

// Parses the tag at the start of text ("<" then a letter, or "</" then a
// letter). None when the tag never ends.
std::optional<Tag> ParseTag(std::string_view text) {
  Tag tag;
  std::size_t i = 1;
  if (text[i] == '/') {
    tag.end = true;
    ++i;
  }
  const std::size_t name_start = i;
  while (i < text.size() && !IsBlank(text[i]) && text[i] != '>' && text[i] != '/')
    ++i;
  tag.name = LowerAscii(text.substr(name_start, i - name_start));
  while (i < text.size()) {
    while (i < text.size() && (IsBlank(text[i]) || text[i] == '/')) {
      if (text[i] == '/') tag.self_closing = true;
      ++i;
    }
    if (i >= text.size()) return std::nullopt;
    if (text[i] == '>') {
      tag.length = i + 1;
      return tag;
    }
    tag.self_closing = false;
    const std::size_t key_start = i;
    while (i < text.size() && !IsBlank(text[i]) && text[i] != '>' && text[i] != '=' &&
           text[i] != '/')
      ++i;
    std::string key = LowerAscii(text.substr(key_start, i - key_start));
    while (i < text.size() && IsBlank(text[i]))
      ++i;
    std::string value;
    if (i < text.size() && text[i] == '=') {
      ++i;
      while (i < text.size() && IsBlank(text[i]))
        ++i;
      if (i >= text.size()) return std::nullopt;
      if (text[i] == '"' || text[i] == '\'') {
        const std::size_t close = text.find(text[i], i + 1);
        if (close == std::string_view::npos) return std::nullopt;
        value = std::string(text.substr(i + 1, close - i - 1));
        i = close + 1;
      } else {
        const std::size_t start = i;
        while (i < text.size() && !IsBlank(text[i]) && text[i] != '>')
          ++i;
        value = std::string(text.substr(start, i - start));
      }
    }
    if (!key.empty()) tag.attributes.emplace_back(std::move(key), std::move(value));
  }
  return std::nullopt;
}

// Splits escaped text at each sep that is not the end of a character
// reference.
std::vector<std::string_view> SplitOutsideEntities(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      const std::size_t entity = EntityLength(text.substr(i));
      if (entity > 0) i += entity - 1;
    } else if (text[i] == sep) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(text.substr(start));
  return parts;
}

// A place as a reader writes it, for a link that has no words of its own:
// "Gen 2:4", never the code "GEN2:4".
std::string ReadablePlace(std::string_view target) {
  const BookCode* book = FindUsfmBook(target.substr(0, 3));
  const std::string name =
      book != nullptr ? std::string(book->name) : std::string(target.substr(0, 3));
  return name + " " + std::string(target.substr(3));
}

std::string Link(std::string_view target, std::string_view inner) {
  const bool blank = std::all_of(inner.begin(), inner.end(), IsBlank);
  return "<a class=\"x\" href=\"" + PageFileName(target.substr(0, 3)) + "$BCV" +
         std::string(target) + "\">" + (blank ? ReadablePlace(target) : std::string(inner)) +
         "</a>";
}

// A letter or digit of escaped text (a byte of a UTF-8 character counts).
bool IsWordByte(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         static_cast<unsigned char>(c) >= 0x80;
}

// A link that runs from its first letter or digit to its last: blanks and
// punctuation around the words (a list's "," and ";", brackets, a character
// reference such as "&nbsp;") stand outside it. Markup (the empty span that
// keeps a line feed after <pre>) is never moved across the link's edge, and
// text with no word is linked whole.
std::string TrimmedLink(std::string_view target, std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && !IsWordByte(text[first]) && text[first] != '<') {
    const std::size_t entity = text[first] == '&' ? EntityLength(text.substr(first)) : 0;
    first += entity > 0 ? entity : 1;
  }
  std::size_t end = text.size();
  while (end > first && !IsWordByte(text[end - 1]) && text[end - 1] != '>') {
    // A character reference at the end goes out whole.
    const std::size_t amp = text[end - 1] == ';' ? text.rfind('&', end - 1) : std::string::npos;
    end = amp != std::string::npos && amp >= first && EntityLength(text.substr(amp)) == end - amp
              ? amp
              : end - 1;
  }
  if (first >= end) return Link(target, text);
  return std::string(text.substr(0, first)) + Link(target, text.substr(first, end - first)) +
         std::string(text.substr(end));
}

// Links for one marked reference, whose content is already sanitized.
std::string ReferenceLinks(const std::vector<std::string>& targets, std::string_view inner,
                           bool inner_has_tags) {
  if (targets.empty()) return std::string(inner);
  if (targets.size() == 1)
    return inner_has_tags ? Link(targets[0], inner) : TrimmedLink(targets[0], inner);
  if (!inner_has_tags) {
    for (const char sep : {';', ','}) {
      const std::vector<std::string_view> parts = SplitOutsideEntities(inner, sep);
      // Each place needs words of its own: "John 3:18-19," is one part, not two.
      const auto has_word = [](std::string_view part) {
        return std::any_of(part.begin(), part.end(), IsWordByte);
      };
      if (parts.size() != targets.size() || !std::all_of(parts.begin(), parts.end(), has_word))
        continue;
      std::string out;
      for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += sep;
        out += TrimmedLink(targets[i], parts[i]);
      }
      return out;
    }
  }
  // Parts and places do not match: the words link to the first place, and
  // the others follow, each written as a reader writes a place.
  std::string out = inner_has_tags ? Link(targets[0], inner) : TrimmedLink(targets[0], inner);
  for (std::size_t i = 1; i < targets.size(); ++i)
    out += " " + Link(targets[i], ReadablePlace(targets[i]));
  return out;
}

class Sanitizer {
 public:
  std::string Run(std::string_view in) {
    std::size_t i = 0;
    while (i < in.size()) {
      const std::size_t lt = in.find('<', i);
      if (lt == std::string_view::npos) {
        Text(in.substr(i));
        break;
      }
      if (lt > i) Text(in.substr(i, lt - i));
      i = lt + Markup(in.substr(lt));
    }
    if (in_ref_) CloseReference();
    tree_.CloseTo(0);
    return std::move(out_);
  }

 private:
  std::string& Sink() { return in_ref_ ? ref_inner_ : out_; }

  void Text(std::string_view text) {
    if (drop_depth_ > 0) return;
    std::string escaped;
    AppendEscaped(escaped, text, false);
    tree_.WriteText(escaped);
  }

  // Handles the markup at the start of text ("<..."); returns its length.
  std::size_t Markup(std::string_view text) {
    if (text.starts_with("<!--")) {
      const std::size_t end = text.find("-->", 4);
      return end == std::string_view::npos ? text.size() : end + 3;
    }
    const char next = text.size() > 1 ? text[1] : '\0';
    if (next == '!' || next == '?') {  // declarations, processing instructions, "<!p>"
      const std::size_t end = text.find('>');
      return end == std::string_view::npos ? text.size() : end + 1;
    }
    const bool tag_like = IsAsciLetterAt(text, 1) || (next == '/' && IsAsciLetterAt(text, 2));
    std::optional<Tag> tag;
    if (tag_like) tag = ParseTag(text);
    if (!tag) {
      Text("<");
      return 1;
    }
    if (tag->end) {
      EndTag(*tag);
    } else {
      StartTag(*tag);
    }
    return tag->length;
  }

  static bool IsAsciLetterAt(std::string_view text, std::size_t i) {
    return i < text.size() && IsAsciiLetter(text[i]);
  }

  void StartTag(const Tag& tag) {
    if (drop_depth_ > 0) {
      if (tag.name == drop_name_ && !tag.self_closing) ++drop_depth_;
      return;
    }
    if (tag.name == kRefElement) {
      if (!in_ref_ && !tag.self_closing) OpenReference(tag);
      return;
    }
    if (tag.name == "img") {
      if (const std::optional<std::string> alt = FindAttribute(tag, "alt")) Text(*alt);
      return;
    }
    const Kind kind = KindOf(tag.name);
    if (kind == Kind::kDrop) {
      if (!tag.self_closing) {
        drop_name_ = tag.name;
        drop_depth_ = 1;
      }
      return;
    }
    // A link holds phrasing content only: blocks, lists and tables inside a
    // reference lose their tags and keep their text.
    if (kind == Kind::kUnwrap || (in_ref_ && !OpenElements::IsInline(tag.name))) return;
    if (kind == Kind::kKeep && tree_.Depth() >= kMaxDepth) return;
    if (!tree_.MakeRoomFor(tag.name)) return;
    std::string attributes;
    if (kind == Kind::kKeep) {
      for (const auto& [name, value] : tag.attributes)
        attributes += CleanAttribute(tag.name, name, value);
    }
    // Any markup inside a reference keeps its text from being split at ";".
    if (in_ref_) ref_has_tags_ = true;
    tree_.Open(tag.name, attributes);
    // "<p/>" opens a paragraph in HTML: written out, it holds nothing.
    if (tag.self_closing && kind == Kind::kKeep) tree_.CloseTo(tree_.Depth() - 1);
  }

  void EndTag(const Tag& tag) {
    if (drop_depth_ > 0) {
      if (tag.name == drop_name_) --drop_depth_;
      return;
    }
    if (tag.name == kRefElement) {
      if (in_ref_) CloseReference();
      return;
    }
    if (KindOf(tag.name) != Kind::kKeep) return;
    // Only an element opened where we are may be closed here: inside a
    // reference, one opened before it stays open. One the parser would have
    // closed already is no longer open.
    const std::size_t floor = in_ref_ ? ref_floor_ : 0;
    for (std::size_t n = tree_.Depth(); n > floor; --n) {
      if (tree_.At(n - 1) != tag.name) continue;
      tree_.CloseTo(n - 1);
      return;
    }
  }

  void OpenReference(const Tag& tag) {
    // The links are content: in a table, they need a cell.
    tree_.MakeRoomForContent();
    in_ref_ = true;
    tree_.SetSink(&ref_inner_);
    ref_inner_.clear();
    ref_has_tags_ = false;
    ref_floor_ = tree_.Depth();
    ref_targets_.clear();
    const std::string to = FindAttribute(tag, "to").value_or("");
    std::size_t at = 0;
    while (at < to.size()) {
      const std::size_t start = to.find_first_not_of(' ', at);
      if (start == std::string::npos) break;
      const std::size_t end = std::min(to.find(' ', start), to.size());
      const std::string target = to.substr(start, end - start);
      if (IsRequestText(target)) ref_targets_.push_back(target);
      at = end;
    }
  }

  void CloseReference() {
    tree_.CloseTo(ref_floor_);
    in_ref_ = false;
    tree_.SetSink(&out_);
    tree_.WriteMarkup(ReferenceLinks(ref_targets_, ref_inner_, ref_has_tags_));
  }

  std::string out_;
  OpenElements tree_{&out_};
  std::string drop_name_;
  int drop_depth_ = 0;
  bool in_ref_ = false;
  std::string ref_inner_;
  bool ref_has_tags_ = false;
  std::size_t ref_floor_ = 0;
  std::vector<std::string> ref_targets_;
};

}  // namespace

std::string PageFileName(std::string_view usfm_code) {
  return LowerAscii(usfm_code) + ".htm";
}

std::string EscapeHtmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  // Plain text has no character references: every "&" is one.
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t amp = text.find('&', at);
    AppendEscaped(out, text.substr(at, amp == std::string_view::npos ? amp : amp - at), false);
    if (amp == std::string_view::npos) break;
    out += "&amp;";
    at = amp + 1;
  }
  return out;
}

bool HasVisibleText(std::string_view html) {
  bool in_tag = false;
  for (std::size_t i = 0; i < html.size(); ++i) {
    const char c = html[i];
    if (c == '<') {
      in_tag = true;
    } else if (c == '>') {
      in_tag = false;
    } else if (!in_tag && !IsBlank(c)) {
      if (c != '&') return true;
      const std::size_t entity = EntityLength(html.substr(i));
      const std::string_view name = html.substr(i, entity);
      if (entity == 0 || (name != "&nbsp;" && name != "&#160;")) return true;
      i += entity - 1;
    }
  }
  return false;
}

std::string SanitizeEntryHtml(std::string_view xhtml) {
  return Sanitizer().Run(xhtml);
}

}  // namespace vellum::import
