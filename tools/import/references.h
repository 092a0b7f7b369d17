// Book codes and scripture references: the three-letter USFM code of each
// book a versification may hold, and the parsing of OSIS reference lists
// (osisRef values) into the "CODEchapter:verse" texts that cross-reference
// links send to the host. Portable and free of the SWORD library, so that it
// can be tested and fuzzed on its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellum::import {

struct BookCode {
  std::string_view osis;  // the OSIS book name, as versifications name books
  std::string_view usfm;  // the USFM book identifier
  std::string_view name;  // a short display name, at most 5 characters
};

// The entry for an OSIS book name (exact, then ignoring ASCII case); null
// when the name is not a book.
const BookCode* FindOsisBook(std::string_view osis_name);

// The entry for a USFM code (exact); null when unknown.
const BookCode* FindUsfmBook(std::string_view usfm);

// Every book known, in canonical order (Old Testament, New Testament, then
// the deuterocanonical books).
const std::vector<BookCode>& AllBooks();

// One place a reference points to: the first verse it names.
struct VerseRef {
  std::string code;  // USFM
  int chapter = 0;
  int verse = 0;
  bool operator==(const VerseRef&) const = default;
};

// "GEN1:1": what a cross-reference link sends to the host.
std::string RequestText(const VerseRef& ref);

// True for a text of the form CODEchapter:verse with a known USFM code and
// chapter and verse of one to three digits.
bool IsRequestText(std::string_view text);

// Largest chapter or verse number a reference may carry: the anchors of a
// page have three digits for each.
inline constexpr int kMaxNumber = 999;

// Parses an osisRef value: references separated by blanks, each
// "[work:]Book[.chapter[.verse]][!grain][-end]". A book alone points to its
// first chapter, a chapter alone to its first verse, a range to its start.
// Empty when any part is not such a reference (the caller may then try the
// text as a free-form reference).
std::optional<std::vector<VerseRef>> ParseOsisRefList(std::string_view text);

}  // namespace vellum::import
