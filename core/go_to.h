// Places as a reader types them ("John 3:16", "Jn 3.16", "1 Cor 13",
// "Salmos 119:105", "psa119") and as links name them ("JHN3:16"): read into
// locations of the library shown, with its own names and spellings, the
// English ones and the book codes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/catalogue.h"
#include "core/location.h"
#include "core/text.h"

namespace vellum {

struct GoToResult {
  std::optional<TbcvRec> location;  // code, chapter and verse; no name
  std::string problem;              // what could not be read, for the reader
};

// Text folded for matching book names: letters in lower case without their
// accents, blanks, dots and apostrophes left out, and a leading "I ", "II "
// or "III " read as 1, 2 or 3 ("I Samuel" is "1samuel").
std::u32string FoldBookName(std::string_view text);

class PlaceReader {
 public:
  // The names of the library shown in `files`; a reader made without one
  // knows the English names and the codes.
  PlaceReader(const StartupFiles& files, const TextRules& rules);

  // A place: a book, then a chapter and a verse ("3:16", "3.16", "3 16"),
  // a chapter alone (its first verse), or nothing (its first chapter). A
  // range reads as its start. The problem says plainly what is wrong.
  GoToResult Read(std::string_view typed) const;

  // The book names offered while typing: the library's books in its order,
  // each by the fullest name the library gives it.
  const std::vector<std::string>& BookNames() const { return offered_; }
  // True while typed is the beginning of a book's name that may go on to
  // become name; no longer once numbers follow.
  static bool Completes(std::string_view typed, std::string_view name);
  // typed with its book name completed to the first one offered that it
  // leads to, in that name's own spelling; nullopt when typed holds more
  // than a book's beginning or leads to none.
  std::optional<std::string> CompleteInline(std::string_view typed) const;

 private:
  struct Spelling {
    std::u32string folded;
    std::string code;  // as the library writes it, else the USFM code
  };
  void Add(std::string_view spelling, std::string_view code);
  std::string DisplayName(const std::string& code) const;
  // The codes a book part stands for: those it spells exactly, else those
  // it begins; the library's own books first.
  std::vector<std::string> CodesFor(std::string_view book) const;

  const TextRules& rules_;
  const StartupFiles& files_;
  std::vector<std::string> library_codes_;  // in catalogue order, IDX left out
  std::vector<Spelling> spellings_;
  std::vector<std::string> offered_;
};

// The place a link's request text names ("JHN3:16", "ALP1:10", "GEN3"),
// for a viewer that goes there itself: the code is the longest one of up to
// three characters the catalogue or the book names know, else the first
// three; a chapter alone is its first verse. nullopt for anything else.
std::optional<TbcvRec> PlaceOfRequest(std::string_view request, const StartupFiles& files,
                                      const TextRules& rules);

}  // namespace vellum
