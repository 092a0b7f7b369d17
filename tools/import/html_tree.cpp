#include "tools/import/html_tree.h"

#include <algorithm>
#include <initializer_list>

// The rules follow the HTML standard's tree construction ("the in body
// insertion mode" and the table modes), for the elements a sanitized entry
// may hold.
namespace vellum::import {
namespace {

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

bool IsHeading(std::string_view name) {
  return IsOneOf(name, {"h1", "h2", "h3", "h4", "h5", "h6"});
}

bool IsTablePart(std::string_view name) {
  return IsOneOf(name, {"caption", "thead", "tbody", "tfoot", "tr", "td", "th"});
}

bool IsSection(std::string_view name) {
  return IsOneOf(name, {"thead", "tbody", "tfoot"});
}

// Of the elements kept, those the standard calls special: the search for an
// open list item stops at them.
bool IsSpecial(std::string_view name) {
  return IsHeading(name) || IsTablePart(name) ||
         IsOneOf(name, {"blockquote", "center", "dd", "div", "dl", "dt", "li", "ol", "p", "pre",
                        "table", "ul", "br", "hr", "wbr"});
}

// Start tags that close an open <p> in button scope.
bool ClosesP(std::string_view name) {
  return IsHeading(name) || IsOneOf(name, {"blockquote", "center", "div", "dl", "ol", "p", "ul",
                                           "pre", "table", "hr", "li", "dd", "dt"});
}

}  // namespace

bool OpenElements::IsInline(std::string_view name) {
  return IsOneOf(name, {"b", "i", "u", "s", "em", "strong", "small", "big", "sup", "sub", "span",
                        "cite", "q", "abbr", "code", "tt", "strike", "br", "wbr"});
}

bool OpenElements::IsVoid(std::string_view name) {
  return IsOneOf(name, {"br", "hr", "wbr"});
}

void OpenElements::Open(std::string_view name, std::string_view attributes) {
  *sink_ += '<';
  *sink_ += name;
  *sink_ += attributes;
  *sink_ += '>';
  if (!IsVoid(name)) open_.emplace_back(name);
  after_pre_ = name == "pre";
}

void OpenElements::WriteText(std::string_view escaped) {
  if (escaped.empty()) return;
  const bool blank = escaped.find_first_not_of(" \t\n") == std::string_view::npos;
  if (!blank) MakeRoomForContent();
  WriteMarkup(escaped);
}

void OpenElements::WriteMarkup(std::string_view markup) {
  if (markup.empty()) return;
  // The parser drops a line feed right after <pre>: an empty element first
  // keeps the text's own.
  if (after_pre_ && markup.front() == '\n') *sink_ += "<span></span>";
  after_pre_ = false;
  *sink_ += markup;
}

void OpenElements::CloseTo(std::size_t depth) {
  if (open_.size() > depth) after_pre_ = false;
  while (open_.size() > depth) {
    *sink_ += "</" + open_.back() + ">";
    open_.pop_back();
  }
}

std::size_t OpenElements::InnermostTablePart() const {
  for (std::size_t n = open_.size(); n > 0; --n) {
    if (open_[n - 1] == "table" || IsTablePart(open_[n - 1])) return n - 1;
  }
  return std::string::npos;
}

// A table, a section or a row holds no content of its own (blank text
// aside): the parser would move it out in front of the table. The cell it
// needs is opened instead.
void OpenElements::MakeRoomForContent() {
  while (!open_.empty()) {
    const std::string& current = open_.back();
    if (current == "table") {
      Open("tbody");
    } else if (IsSection(current)) {
      Open("tr");
    } else if (current == "tr") {
      Open("td");
    } else {
      return;
    }
  }
}

// An open <li> (or <dd>, <dt>) is closed by the next one, through inline
// elements and <div>, <p>, <address>, up to any other special element.
void OpenElements::CloseListItem(bool definition) {
  for (std::size_t n = open_.size(); n > 0; --n) {
    const std::string& name = open_[n - 1];
    if (definition ? (name == "dd" || name == "dt") : name == "li") {
      CloseTo(n - 1);
      return;
    }
    if (IsSpecial(name) && name != "div" && name != "p") return;
  }
}

// An open <p> is closed unless a table, a cell or a caption stands between.
void OpenElements::ClosePInButtonScope() {
  for (std::size_t n = open_.size(); n > 0; --n) {
    const std::string& name = open_[n - 1];
    if (name == "p") {
      CloseTo(n - 1);
      return;
    }
    if (IsOneOf(name, {"table", "td", "th", "caption"})) return;
  }
}

bool OpenElements::MakeRoomFor(std::string_view name) {
  if (IsTablePart(name)) {
    for (;;) {
      const std::size_t at = InnermostTablePart();
      if (at == std::string::npos) return false;  // not in a table: the parser ignores it
      const std::string part = open_[at];
      if (part == "td" || part == "th" || part == "caption") {
        CloseTo(at);  // a new part of the table ends the cell or caption
        continue;
      }
      // Here the part is the current element: content never stands in it.
      if (part == "tr") {
        if (name == "td" || name == "th") return true;
        CloseTo(at);
      } else if (IsSection(part)) {
        if (name == "tr") return true;
        if (name == "td" || name == "th") {
          Open("tr");
          return true;
        }
        CloseTo(at);
      } else {  // table
        if (name == "caption" || IsSection(name)) return true;
        Open("tbody");
        if (name == "td" || name == "th") Open("tr");
        return true;
      }
    }
  }
  MakeRoomForContent();
  if (name == "li") CloseListItem(false);
  if (name == "dd" || name == "dt") CloseListItem(true);
  if (ClosesP(name)) ClosePInButtonScope();
  if (IsHeading(name) && !open_.empty() && IsHeading(open_.back())) CloseTo(open_.size() - 1);
  return true;
}

}  // namespace vellum::import
