// The SWORD library as the importer uses it: the installed modules, one
// module's facts, and its entries one by one, rendered and made safe. What
// the library reports of its own troubles (its error log, and what it prints
// on standard output) is collected, so that a damaged module is reported and
// never imported as a library of wrong text.
#pragma once

#include <swmgr.h>
#include <swmodule.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/import/page_words.h"
#include "tools/import/references.h"
#include "tools/import/sword_filters.h"

namespace vellum::import {

// Gives the library Unicode upper and lower case where it was built without
// (Windows), so that it reads its UTF-8 locales; call before anything else
// of the library.
void UseUnicodeText();

// Collects the library's reports for as long as it lives: its log (errors
// and warnings) and what it prints on standard output and standard error,
// which are sent to a file of our own meanwhile (our own messages go to
// copies of the two made before). The log object belongs to the library once
// installed; it only points back here, and is silenced when this ends.
class LibraryReports {
 public:
  LibraryReports();
  ~LibraryReports();
  LibraryReports(const LibraryReports&) = delete;
  LibraryReports& operator=(const LibraryReports&) = delete;

  // What was reported since the last call, one line each.
  std::vector<std::string> Take();
  // Called by the log; never throws.
  void Add(const char* message) noexcept;

 private:
  std::vector<std::string> lines_;
  int saved_[2] = {-1, -1};  // standard output and error while captured
  int capture_ = -1;
  long long read_ = 0;
};

struct ModuleSummary {
  std::string name;
  std::string kind;  // "Bible" or "Commentary"
  std::string language;
  std::string description;
  std::string version;             // the conf's Version
  std::uint64_t install_size = 0;  // the conf's InstallSize in bytes, 0 when not given
};

// What a data folder's index page and catalogue say about a module.
struct ModuleFacts {
  std::string name;
  std::string kind;
  std::string description;
  std::string abbreviation;  // the conf's Abbreviation, else the name
  std::string about_rtf;     // as the conf gives it
  std::vector<std::pair<std::string, std::string>> licence;  // conf key, value
  std::string language;
  bool right_to_left = false;
  std::string font;
  std::string versification;
  std::string library_css;  // the render filters' own style sheet
  std::string version;      // the conf's Version, "" when it gives none
  // The SWORD locale the book names come from ("es"); "" for English, where
  // the module's language has none.
  std::string names_locale;
};

// One entry with text.
struct Entry {
  const BookCode* book = nullptr;  // null for the module's or a testament's introduction
  std::string book_name;           // the book's full name, as the library gives it
  int chapter = 0;
  int verse = 0;
  int last_verse = 0;  // the end of a range of linked verses; verse when none
  std::string html;    // sanitized
  // The book's place in the module's versification, and how many it has.
  int book_number = 0;
  int book_count = 0;
};

class SwordLibrary {
 public:
  // modules_folder: a folder laid out as a SWORD library (mods.d/, modules/)
  // to read instead of the installed modules ("" for those).
  explicit SwordLibrary(const std::string& modules_folder = {});
  ~SwordLibrary();
  SwordLibrary(const SwordLibrary&) = delete;
  SwordLibrary& operator=(const SwordLibrary&) = delete;

  // The installed Bibles and commentaries, by name.
  std::vector<ModuleSummary> Importable();

  enum class Found { kOk, kMissing, kNotVersified, kUnloadable, kLocked };
  // Looks a module up by name (ignoring case); on kOk the module is ready
  // to read. reason says why otherwise.
  Found Open(const std::string& name, std::string& reason);

  ModuleFacts Facts() const;

  // The next entry that has text, in the module's order; false at the end.
  // failed is set when the library could not render an entry.
  bool Next(Entry& entry, bool& failed);

  // The books of these codes as the module's language names them (its
  // locale's names, abbreviations and the spellings it reads), in order.
  std::vector<LocalBookName> BookNames(const std::vector<std::string>& codes) const;

 private:
  std::unique_ptr<sword::SWMgr> manager_;
  sword::SWModule* module_ = nullptr;
  std::unique_ptr<ReferenceResolver> resolver_;
  std::unique_ptr<OsisPageFilter> osis_filter_;
  std::unique_ptr<ThmlPageFilter> thml_filter_;
  std::unique_ptr<sword::SWFilter> other_filter_;
  bool started_ = false;
  std::string locale_;  // "" for the library's own English
};

}  // namespace vellum::import
