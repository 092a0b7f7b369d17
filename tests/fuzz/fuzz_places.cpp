// Places from outside: a link's request text (the page's bytes), what a
// reader types into Go to, a saved place read back from Vellum.ini, and a
// library's own books.ini. Each is read into a location within its limits or
// refused; a completion only ever adds to what was typed.
#include <string>

#include "core/catalogue.h"
#include "core/go_to.h"
#include "core/ini_file.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using namespace vellum;

bool IsDigitOrSign(char c) {
  return (c >= '0' && c <= '9') || c == '-' || c == ':';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::ByteReader input(data, size);
  const AsciiTextRules rules;
  // A library shown: its catalogue and its own names, as books.ini gives them.
  const IniFile own = IniFile::Parse(input.LongText(), rules);
  StartupFiles files;
  files.book_files = BookList(own.SectionLines("Bookfiles"), rules);
  files.book_names = BookList(own.SectionLines("BKA"), rules);
  files.book_titles = BookList(own.SectionLines("Names"), rules);
  for (const std::string& line : own.SectionLines("Abbreviations")) {
    if (HasKey(line)) files.book_spellings.emplace_back(KeyOfLine(line), ValueOfLine(line));
  }
  const std::string typed = input.Text();
  const std::string rest = input.Bytes(input.Remaining());

  const PlaceReader reader(files, rules);
  const GoToResult read = reader.Read(typed);
  if (read.location) {
    VELLUM_FUZZ_CHECK(read.problem.empty());
    VELLUM_FUZZ_CHECK(read.location->chapter >= 1);
    VELLUM_FUZZ_CHECK(read.location->verse >= 0 && read.location->verse <= 999);
    VELLUM_FUZZ_CHECK(!Code(*read.location).empty());
  } else {
    VELLUM_FUZZ_CHECK(!read.problem.empty());
    VELLUM_FUZZ_CHECK(IsValidUtf8(read.problem));  // shown to the reader as it is
  }
  if (const std::optional<std::string> completed = reader.CompleteInline(typed)) {
    VELLUM_FUZZ_CHECK(completed->size() > typed.size());
    VELLUM_FUZZ_CHECK(completed->compare(0, typed.size(), typed) == 0);
  }
  for (const std::string& name : reader.BookNames()) {
    VELLUM_FUZZ_CHECK(IsValidUtf8(name));
    static_cast<void>(PlaceReader::Completes(typed, name));
  }

  // The rest as a link's request: a place within a location's limits whose
  // code is the request's own beginning, and then only numbers.
  if (const std::optional<TbcvRec> place = PlaceOfRequest(rest, files, rules)) {
    const std::string_view code = Code(*place);
    VELLUM_FUZZ_CHECK(!code.empty() && rest.compare(0, code.size(), code) == 0);
    for (std::size_t i = code.size(); i < rest.size(); ++i)
      VELLUM_FUZZ_CHECK(IsDigitOrSign(rest[i]));
  }
  // And as a saved place: what is written back reads as the same place.
  if (const std::optional<TbcvRec> saved = SavedPlace(rest)) {
    const std::string again = SavedPlaceText(*saved);
    VELLUM_FUZZ_CHECK(!again.empty());
    const std::optional<TbcvRec> back = SavedPlace(again);
    VELLUM_FUZZ_CHECK(back && SameLocation(*back, *saved));
  }
  return 0;
}
