// Adding books from SWORD modules without a terminal: what the viewer's Add
// books dialog makes of the import program's words (vellum-import
// --machine), whatever the system runs it with. The program is a child
// process: its lines are untrusted text like any other input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellum {

// A module the import can read, as `vellum-import --list --machine` lists it.
struct ModuleOffer {
  enum class State { kNew, kImported, kOlderImported };
  std::string name;
  std::string kind;  // "Bible", "Commentary"
  std::string language;
  std::uint64_t size = 0;  // bytes; 0 when the module does not say
  State state = State::kNew;
  std::string description;
};

// The modules of a listing; lines that are not whole are passed over.
std::vector<ModuleOffer> ParseModuleList(std::string_view listing);

// How the dialog shows a module's size ("3.1 MB", "850 KB"; "" when not known)
// and its state ("", "in your library", "older in your library").
std::string SizeText(std::uint64_t bytes);
std::string StateText(ModuleOffer::State state);
// A module's line in the dialog: "NAME — DESCRIPTION (LANGUAGE, SIZE): STATE".
std::string OfferText(const ModuleOffer& offer);

// One "progress BOOK BOOKS NAME" line of an import.
struct ImportProgress {
  int book = 0;
  int books = 0;
  std::string book_name;
};
std::optional<ImportProgress> ParseProgressLine(std::string_view line);

// The plain line the dialog shows for one module when its import ended:
// "Added", "Already in your library", "Cancelled; nothing was written", or
// the import's own reason (its message without the program's and module's
// names), never a bare exit code.
std::string ImportOutcome(int exit_code, std::string_view errors);

// The library's name (its folder's without ".htm") from an import's closing
// line "Imported NAME (KIND) into ..."; nullopt for any other line.
std::optional<std::string> ImportedLibraryName(std::string_view line);

// The arguments of vellum-import for one module (or module .zip) into the
// user's library folder; replace when the reader asked to import it again.
std::vector<std::string> ImportArguments(const std::string& module, bool replace);

}  // namespace vellum
