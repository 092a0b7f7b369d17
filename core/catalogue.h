// The catalogue lists, the data folder and the settings file: the file work
// the viewer does once at start-up and once when its window closes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_system.h"
#include "core/libraries.h"
#include "core/ports.h"
#include "core/text.h"

namespace vellum {

// A key=value text list (BookFiles, BookNames). Lines are kept as stored by
// the ini reader; lookups walk them in their current order.
class BookList {
 public:
  BookList() = default;
  BookList(std::vector<std::string> lines, const TextRules& rules)
      : lines_(std::move(lines)), rules_(&rules) {}

  // The value of the first line whose key equals code ignoring case; empty
  // text when none does. Lines without "=" never match.
  std::string Lookup(std::string_view code) const;

  // Orders the whole lines ascending, ignoring case.
  void Sort();

  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
  const TextRules* rules_ = &DefaultTextRules();
};

// With a trailing separator appended unless the text already ends in one.
std::string AddTrailingBackslash(std::string_view path, char separator = '\\');

// The folder part of an executable's full path: everything up to and
// including its last separator (or, with '\\', its last ':'), ending in
// exactly one separator.
std::string ExeFolderOf(std::string_view exe_path, char separator);

struct DataFolderChoice {
  std::string data_folder;                // "" or a name ending in the separator
  std::vector<std::string> folder_names;  // the ComboBox1 list: names without ".htm"
  int selected = -1;                      // ComboBox1's selection
};

// The sub-folders whose names end in ".htm" (ignoring case), hidden and
// system folders left out, ordered by "[name]" ignoring case; the last wins.
DataFolderChoice ChooseDataFolder(const std::vector<FolderEntry>& subfolders, char separator,
                                  const TextRules& rules);

struct WindowSettings {
  std::int32_t left = 100;
  std::int32_t top = 100;
  std::int32_t width = 600;
  std::int32_t height = 400;
  bool always_on_top = false;
};

// Following other Bible programs (BibleSync): a section of its own, so that
// the window's keys stay as they are. Passphrase empty: the protocol's own.
// The programs followed on other computers are kept by key, joined by "|"
// on one line (keys hold no "|"), at most kMaxFollowedPrograms of them.
struct SyncSettings {
  bool follow = false;
  bool other_computers = false;  // with follow: other computers too
  std::string passphrase;
  SyncFollowing following;
};

inline constexpr std::string_view kSyncSection = "BibleSync";
inline constexpr std::string_view kSyncFollowKey = "Follow";
inline constexpr std::string_view kSyncOtherComputersKey = "OtherComputers";
inline constexpr std::string_view kSyncPassphraseKey = "Passphrase";
inline constexpr std::string_view kSyncEveryProgramKey = "FollowEveryProgram";
inline constexpr std::string_view kSyncProgramsKey = "FollowedPrograms";
inline constexpr std::size_t kMaxFollowedPrograms = 32;

// What the reader changed of SyncSettings during the run: Follow whenever
// the submenu was used, the rest only where it differs from the file.
struct SyncChoices {
  bool follow = false;
  std::optional<bool> other_computers;
  std::optional<std::string> passphrase;
  std::optional<bool> every_program;
  std::optional<std::vector<std::string>> programs;
};

// A passphrase as the reader typed it, made fit for one line of the
// settings: control characters dropped, blanks at either end trimmed (the
// file would trim them when read).
std::string PassphraseToKeep(std::string_view typed);

// The reader's own choices: a section of their own, written only once the
// user has chosen, so a file whose user never did stays as it was.
struct ReaderSettings {
  int text_size = 100;  // percent, one of kTextSizes
  // The library chosen: its folder name without ".htm" ("" when none was),
  // and whether it is the user's library's or the program folder's.
  std::string library;
  std::optional<bool> library_in_user;
  Theme theme = Theme::kFollowSystem;
  // The place shown when the viewer last closed ("" when none was saved),
  // and the library it was shown in.
  std::string place;
  std::string place_library;
  std::optional<bool> place_library_in_user;
};

inline constexpr std::string_view kReaderSection = "Reader";
inline constexpr std::string_view kTextSizeKey = "TextSize";
inline constexpr std::string_view kLibraryKey = "Library";
inline constexpr std::string_view kLibraryPlaceKey = "LibraryPlace";
inline constexpr std::string_view kThemeKey = "Theme";
inline constexpr std::string_view kPlaceKey = "Place";
inline constexpr std::string_view kPlaceLibraryKey = "PlaceLibrary";
inline constexpr std::string_view kPlaceLibraryPlaceKey = "PlaceLibraryPlace";

// A place as the settings keep it: "GEN 3:16" (code, a blank, chapter and
// verse), or "IDX" for the Index page. "" for a location whose code a line
// cannot hold as it is (blanks, ":", "=", control characters).
std::string SavedPlaceText(const TbcvRec& location);
// The place such a text names (no display name); nullopt for anything else.
std::optional<TbcvRec> SavedPlace(std::string_view text);
// The theme as saved ("system", "light", "dark") and read back; anything
// else reads as following the system.
std::string_view ThemeName(Theme theme);
Theme ThemeNamed(std::string_view name);
// The text sizes the reader steps through, in percent, as browsers offer them.
inline constexpr int kTextSizes[] = {50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300};

// The size a step up (+1) or down (-1) from percent leads to, within the
// range; a size between steps goes to the next one that way.
int StepTextSize(int percent, int direction);
// A size read from a file: the nearest step, 100 for anything unreadable.
int NearestTextSize(int percent);

// What the user chose during the run, written at close beside the window's
// keys; what was not chosen is not written.
struct UserChoices {
  std::optional<SyncChoices> sync;
  std::optional<int> text_size;
  std::optional<Library> library;
  std::optional<Theme> theme;
  // The place on screen at close (SavedPlaceText), and its library.
  std::optional<std::string> place;
  std::optional<Library> place_library;
};

inline constexpr std::string_view kSettingsFileName = "Vellum.ini";
inline constexpr std::string_view kCatalogueFileName = "index.ini";
inline constexpr std::string_view kBookNamesFileName = "books.ini";

// What start-up reads from disk. BookFiles is still in file order: one IDX
// lookup (the first start page) happens before the viewer sorts it.
struct StartupFiles {
  std::string exe_folder;
  // The user's own library folder as the system names it ("" when none), and
  // the folder the data folder was chosen in: that one when it holds a data
  // folder, else the program folder. Pages are library_folder + data folder +
  // name.
  std::string user_library_folder;
  std::string library_folder;
  bool from_user_library = false;
  DataFolderChoice data;
  // Where the book names were read from: books.ini beside the data folder when
  // the user's library has one, else the program folder's.
  std::string book_names_path;
  // A library's own books.ini, inside its data folder ("" when it has none):
  // its names win over the others for its books alone, and it gives their
  // full names, the spellings its language reads and that language.
  std::string own_book_names_path;
  BookList book_files;   // unsorted
  BookList book_names;   // sorted
  BookList book_titles;  // full names, sorted; the library's own only
  // Further spellings of book names in the library's language, and the code
  // each stands for.
  std::vector<std::pair<std::string, std::string>> book_spellings;
  std::string language;  // of the library's own names; "" when unknown
  std::string short_name;
  WindowSettings settings;
  SyncSettings sync;
  ReaderSettings reader;
  // "Cannot open file ..." messages to show the user, in the order met.
  std::vector<std::string> messages;
  // Without a data folder the catalogue is empty and this is set.
  bool no_data_folder = false;
  // Every library found, and the one shown (none without a data folder).
  std::vector<Library> libraries;
  std::optional<std::size_t> library;
};

// requested_library names the library for this run (see FindLibraryNamed);
// else the one the settings name, else the default one.
StartupFiles ReadStartupFiles(const FileSystem& fs, const TextRules& rules,
                              std::string_view requested_library = {});

// Makes libraries[index] the one shown: its catalogue and the book names
// that go with it are read (the catalogue in file order), their messages
// added.
void UseLibrary(const FileSystem& fs, const TextRules& rules, StartupFiles& files,
                std::size_t index);

// "Index " followed by the catalogue's short name (the blank stays).
std::string IndexButtonCaption(std::string_view short_name);

// The folder that holds the pages: the library folder followed by the data
// folder (just the library folder when there is none).
std::string PageFolder(const StartupFiles& files);

// True when a catalogue name stays inside the data folder: no "..", no root,
// no drive.
bool StaysInsideFolder(std::string_view relative);

// Path of a catalogue page (BookFiles value) in the data folder; "" for a
// name that would lead outside it.
std::string PagePath(const FileSystem& fs, const StartupFiles& files, std::string_view file_name);
std::string AboutPagePath(const FileSystem& fs, std::string_view exe_folder);

// Where the settings file lives. The program folder is its first home, so a
// copy that is unpacked and run keeps everything beside itself. Where that
// folder cannot be written (an installed copy), the file lives in the user's
// own settings folder instead, and once a file exists there it is the one
// read and written from then on.
//
// Read at start-up: the user's own file when it exists, else the program
// folder's.
std::string SettingsReadPath(const FileSystem& fs, std::string_view exe_folder);

// Where the settings are written at close, its folder made ready.
struct SettingsTarget {
  std::string path;  // the file to write; when not ready, the one that cannot be
  // The file whose other lines the written one keeps: path itself, or the
  // program folder's file when the user's own file is made for the first time.
  std::string base_path;
  bool ready = false;
};

// Written at close: the user's own file when it exists; else the program
// folder's when that file can be replaced there; else the user's own file,
// whose folders are created. Creates nothing else.
SettingsTarget PrepareSettingsTarget(const FileSystem& fs, std::string_view exe_folder);

// Writes the five keys into the settings file (see PrepareSettingsTarget),
// keeping its other lines, and the keys of what the user chose. Returns the
// "Unable to write to ..." message on failure; on failure the file on disk is
// left exactly as it was.
std::optional<std::string> WriteSettings(const FileSystem& fs, std::string_view exe_folder,
                                         const WindowSettings& settings, const TextRules& rules,
                                         const UserChoices& choices = {});

std::string CannotOpenMessage(std::string_view path, std::string_view error_text);
std::string UnableToWriteMessage(std::string_view path);

}  // namespace vellum
