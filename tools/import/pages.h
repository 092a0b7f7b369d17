// The files of a data folder: one page per book, the index page and the
// catalogue, and the book names. Pages are UTF-8 with their charset
// declared; every entry starts with its CVcccvvv anchor; and the entries are
// grouped into blocks of about a chapter that the browser lays out only when
// they come into view (content-visibility), so that a large book opens fast
// at a late anchor. Browsers that do not know the property (the Windows
// WebBrowser control) show the same markup as ordinary blocks.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vellum::import {

// "CV001002" for chapter 1, verse 2: three digits each, zero-padded.
std::string AnchorName(int chapter, int verse);

// The looks of a page: the library's own style sheet for its classes, the
// module's font and direction.
struct PageStyle {
  std::string library_css;
  std::string font;  // the module's font, or empty
  std::string language;
  bool right_to_left = false;
};

// A block closes at each chapter and, within a chapter, once it holds this
// many bytes; an entry larger than that is a block of its own.
inline constexpr std::size_t kBlockBytes = 256 * 1024;

class BookPage {
 public:
  // bible: verses run on as text with their numbers; otherwise each entry
  // (a commentary's) gets a heading with its place.
  BookPage(std::string title, bool bible, PageStyle style);

  // Adds an entry (sanitized markup) at chapter:verse, a range up to
  // last_verse. Chapter 0 is the book's introduction, verse 0 a chapter's.
  // A commentary's entry is written once the next one is known: the verses
  // it may mark inside it (see AnchorExpositions) run up to the next entry's,
  // or to its own range's end.
  void Add(int chapter, int verse, int last_verse, std::string_view html);

  int Entries() const { return entries_ + (pending_ ? 1 : 0); }
  int Blocks() const { return blocks_; }
  // The first chapter with an entry other than an introduction; 0 when none.
  int FirstChapter() const { return first_chapter_; }

  // The whole page.
  std::string Finish();

 private:
  void CloseBlock();
  void Write(int chapter, int verse, int last_verse, std::string_view html);
  // Writes the entry waiting, its markers counted up to upper_verse.
  void WritePending(int upper_verse);

  struct Pending {
    int chapter = 0;
    int verse = 0;
    int last_verse = 0;
    std::string html;
  };
  std::optional<Pending> pending_;

  std::string title_;
  bool bible_;
  PageStyle style_;
  std::string body_;
  std::string block_;
  std::size_t block_text_ = 0;
  std::size_t block_entries_ = 0;
  int block_chapter_ = -1;
  int entries_ = 0;
  int blocks_ = 0;
  int first_chapter_ = 0;
};

// The index page's content, beside the book list.
struct IndexContent {
  std::string title;      // the module's description
  std::string name;       // the module's name
  std::string kind;       // Bible or Commentary
  std::string about_rtf;  // the About text as the module gives it
  std::vector<std::pair<std::string, std::string>> licence;
  std::string introductions;  // sanitized markup of the module's own introductions
  struct Book {
    std::string code;
    std::string title;  // full name shown
    int first_chapter = 1;
  };
  std::vector<Book> books;
};

std::string IndexPage(const IndexContent& index, const PageStyle& style);

// The About text's RTF (\par and friends) as HTML paragraphs.
std::string RtfToHtml(std::string_view rtf);

// index.ini: [INFO] ShortName (and, where given, Module and Version: the
// module it was imported from, which a later --list compares with the one
// installed), [Bookfiles] IDX=index.htm and CODE=file.htm per book, in the
// order given. CRLF line ends, as both viewers read.
std::string CatalogueIni(std::string_view short_name, const std::vector<std::string>& codes,
                         std::string_view module = {}, std::string_view version = {});

// Compares dotted version numbers ("2.60" against "2.5.1"), part by part as
// numbers, a missing part as 0; text that is no number compares as 0.
int CompareVersions(std::string_view a, std::string_view b);

// What --list says of a module against a library already in the folder:
// "" (none), "imported", "imported, 2.5 (installed: 2.60)" when the installed
// module is newer.
std::string ImportedState(bool library_there, std::string_view library_version,
                          std::string_view installed_version);

// The progress line on a terminal: the book, its place in the module's
// versification, how far through it the import is, and what it wrote.
std::string ProgressLine(std::string_view book, int book_number, int book_count, int percent,
                         int entries, std::size_t bytes);

}  // namespace vellum::import
