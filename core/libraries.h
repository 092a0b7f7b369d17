// The libraries a reader chooses among: every data folder in the user's own
// library folder and in the program folder, each named by its catalogue's
// ShortName; which one a run shows; and the page that says a library has
// nothing on a book.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_system.h"
#include "core/text.h"

namespace vellum {

struct Library {
  std::string place;       // the folder it stands in, ending in a separator
  std::string folder;      // its own folder's name, "web.htm"
  std::string short_name;  // its catalogue's [INFO] ShortName; "" when none
  bool in_user_library = false;
  // Its catalogue says "[INFO] Sample=1": books for trying the viewer out,
  // listed after the real ones and never chosen over one.
  bool sample = false;
  // Its catalogue's page list, as stored (BookFiles lines).
  std::vector<std::string> book_files;
  // How menus and pages name it: its ShortName (its folder name when it has
  // none), with its folder and then its place added where names clash.
  std::string label;

  // The folder's name without ".htm": what --library and the settings use.
  std::string Name() const;
};

// Every data folder of the user's library, then every one of the program
// folder, each place in name order with its samples last, hidden and system
// folders left out.
// Their catalogues are read quietly: one that cannot be read has no pages.
std::vector<Library> FindLibraries(const FileSystem& fs, const std::string& user_library_folder,
                                   const std::string& exe_folder, const TextRules& rules);

// The library shown when nothing else chooses: the last in name order in the
// user's library when it holds any, else the last of the program folder; a
// sample only when there is nothing else.
std::optional<std::size_t> DefaultLibrary(const std::vector<Library>& libraries);

// The Library menu's words for it: its label, and for a sample, that it is one.
std::string MenuLabel(const Library& library);

// Where a choice was made, as saved: "user" or "program".
std::string_view PlaceName(bool in_user_library);

// The library a name stands for: its folder name without ".htm" or its
// ShortName, case ignored. A folder name counts before a ShortName, and then
// the library in the place asked for (if any), then the user's library.
std::optional<std::size_t> FindLibraryNamed(const std::vector<Library>& libraries,
                                            std::string_view name, const TextRules& rules,
                                            std::optional<bool> in_user_library = std::nullopt);

// The same library in another list (found again later): same place, same folder.
std::optional<std::size_t> FindSameLibrary(const std::vector<Library>& libraries,
                                           const Library& library, const TextRules& rules);

// One line per library, "  NAME  (LABEL, in FOLDER)", for an unknown name.
std::string LibraryListText(const std::vector<Library>& libraries);

// For a command line's library name: the libraries of this installation,
// and the text that says the name is none of them ("" when it is one).
std::vector<Library> InstalledLibraries(const FileSystem& fs, const TextRules& rules);
std::string UnknownLibraryText(std::string_view program, std::string_view name,
                               const std::vector<Library>& libraries, const TextRules& rules);

// True when the library's catalogue names a page for the book and the page
// is there.
bool LibraryHasBook(const FileSystem& fs, const Library& library, std::string_view code,
                    const TextRules& rules);

// The link on our own page that switches to a library, and the library it
// names; the folder's bytes travel as hex, so no name needs escaping.
std::string LibraryLink(const Library& library);
std::optional<std::size_t> LibraryOfLink(const std::vector<Library>& libraries,
                                         std::string_view url, const TextRules& rules);
inline constexpr std::string_view kLibraryLinkScheme = "vellum-library:";

// Our own page for a book the shown library lacks: "LIBRARY has nothing on
// BOOK." and links to the other libraries that have it, in the library's
// language where we have its words (a tag, "es"; English otherwise). Plain,
// light or dark with the reader's colours.
std::string MissingBookPage(const Library& shown, std::string_view book_name,
                            const std::vector<const Library*>& others,
                            std::string_view language = {});

// Text made safe to stand inside an HTML element or attribute.
std::string EscapeHtml(std::string_view text);

}  // namespace vellum
