// The elements a sanitized entry holds open, written so that a browser's
// HTML parser builds exactly the tree the markup spells out.
//
// An HTML parser closes elements on its own: a <li> closes an open list item
// (through any <div> or inline element), a block closes an open <p>, a
// heading closes a heading it stands in, a table cell closes the cell before
// it, and content straight inside a table is moved out in front of it. Left
// to the parser, a later end tag of the entry then closes the page's own
// entry or chapter block. So before writing a start tag, OpenElements writes
// the end tags the parser would imply, and the opening tags a table needs
// (<tbody>, <tr>, <td>) before content; the parser then has nothing left to
// imply. Written for entries that stand in a <span> or <div> of the page,
// which no rule reaches beyond.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vellum::import {

class OpenElements {
 public:
  // Markup goes to sink, which may change between calls (an entry's
  // reference is written aside first).
  explicit OpenElements(std::string* sink) : sink_(sink) {}
  void SetSink(std::string* sink) { sink_ = sink; }

  std::size_t Depth() const { return open_.size(); }
  // The name of an open element by depth (0 the outermost).
  const std::string& At(std::size_t depth) const { return open_[depth]; }

  // Makes room for a start tag of name (a kept element or a void one): writes
  // the end tags the parser would imply and the table rows or cells it
  // needs. False when the parser would ignore the tag here (a table part
  // outside a table): it is not to be written.
  bool MakeRoomFor(std::string_view name);
  // Makes room for content: it cannot stand straight inside a table, a
  // table section or a row.
  void MakeRoomForContent();
  // Writes text already escaped, in a cell where it needs one (blank text
  // needs none).
  void WriteText(std::string_view escaped);
  // Writes markup made elsewhere (a reference's links), which may start
  // with text.
  void WriteMarkup(std::string_view markup);

  // Writes the start tag (attributes already cleaned, each with its leading
  // blank) and keeps the element open; a void element only written.
  void Open(std::string_view name, std::string_view attributes = {});
  // Writes the end tags of the open elements down to depth (that many stay).
  void CloseTo(std::size_t depth);

  // Elements that hold phrasing content only, fit inside a link.
  static bool IsInline(std::string_view name);
  static bool IsVoid(std::string_view name);

 private:
  void CloseListItem(bool definition);
  void ClosePInButtonScope();
  // The depth of the innermost open table part, or npos.
  std::size_t InnermostTablePart() const;

  std::string* sink_;
  std::vector<std::string> open_;
  bool after_pre_ = false;  // the last thing written is a <pre> start tag
};

}  // namespace vellum::import
