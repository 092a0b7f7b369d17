// The books of the Bible by their three-letter USFM codes, with the English
// names and abbreviations readers type, for the Go to field: every library
// understands these, whatever its own language.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vellum {

struct EnglishBook {
  std::string_view code;  // USFM: "1CO"
  std::string_view name;  // "1 Corinthians"
  // Further spellings, blank-separated; a dot or a blank inside a spelling
  // is never needed ("1Cor" also reads "1 Cor." and "1 cor").
  std::string_view spellings;
  // A book of one chapter: a lone number after its name is a verse.
  bool one_chapter = false;
};

// In canonical order: the 66 books, then the deuterocanonical ones.
std::span<const EnglishBook> EnglishBooks();

// A book's English name in at most five characters, as a caption shows it
// when the library names none: "Ps", "1 Cor", "John". "" for a code that is
// not a book of the Bible.
std::string EnglishShortName(std::string_view code);

}  // namespace vellum
