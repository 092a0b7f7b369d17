// The words a library's pages add to the module's own text (chapter
// headings, the index page's headings), in the module's language where we
// know it, and the book names a library carries in that language.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vellum::import {

struct PageWords {
  std::string_view language;      // the primary subtag, "es"
  std::string_view chapter;       // "Chapter", before the number
  std::string_view introduction;  // a book's or a chapter's introduction
  std::string_view books;         // the index page's list
  std::string_view about;
  std::string_view licence;
  std::string_view bible;  // the kinds, as the index page names them
  std::string_view commentary;
  std::string_view from_module;  // "Bible “KJV”, from its SWORD module."
};

// The words for a language tag ("es", "es-MX", "pt_BR"), by its primary
// subtag, case ignored; English for a language we have no words for.
const PageWords& WordsFor(std::string_view language);

// One book as a library names it in its language.
struct LocalBookName {
  std::string code;        // USFM
  std::string full_name;   // "Génesis"
  std::string short_name;  // what a caption shows: "Gén"
  // Further spellings a reader may type ("GN", "1 JUAN"), as the locale gives them.
  std::vector<std::string> abbreviations;
};

// The most characters a caption shows of a book's name.
inline constexpr std::size_t kCaptionNameCharacters = 5;

// The short form a caption shows: the full name where it fits the caption,
// else the locale's own abbreviation where it has one, else the full name cut
// to the caption's characters (never inside a UTF-8 sequence).
std::string ShortBookName(std::string_view full_name, std::string_view abbreviation);

// A library's own books.ini: [INFO] Language, [BKA] CODE=short name (what
// captions show), [Names] CODE=full name, [Abbreviations] SPELLING=CODE, for
// the books given, in their order. UTF-8, CRLF line ends.
std::string LibraryBookNamesIni(std::string_view module_name, std::string_view language,
                                const std::vector<LocalBookName>& books);

}  // namespace vellum::import
