#include "core/catalogue.h"

#include <cctype>
#include <cstdlib>
#include <iterator>

#include <algorithm>

#include "core/ini_file.h"

namespace vellum {
namespace {

constexpr std::string_view kDataFolderSuffix = ".htm";

// Reads one ini file; a file that exists but cannot be read adds its message
// and reads as empty, so start-up always goes on with every list created.
IniFile ReadIni(const FileSystem& fs, const std::string& path, const TextRules& rules,
                std::vector<std::string>& messages) {
  ReadResult read = fs.ReadWholeFile(path);
  switch (read.status) {
    case ReadResult::Status::kOk:
      return IniFile::Parse(read.content, rules);
    case ReadResult::Status::kUnreadable:
      messages.push_back(CannotOpenMessage(path, read.error_text));
      break;
    case ReadResult::Status::kMissing:
      break;
  }
  return IniFile::Parse("", rules);
}

// The user's own settings file; empty when the system names no place for it.
std::string UserSettingsPath(const FileSystem& fs) {
  const std::string folder = fs.UserSettingsFolder();
  return folder.empty() ? std::string() : fs.ResolvePath(folder, kSettingsFileName);
}

}  // namespace

std::string BookList::Lookup(std::string_view code) const {
  for (const std::string& line : lines_) {
    if (HasKey(line) && rules_->EqualIgnoringCase(KeyOfLine(line), code)) {
      return std::string(ValueOfLine(line));
    }
  }
  return {};
}

void BookList::Sort() {
  std::stable_sort(lines_.begin(), lines_.end(),
                   [this](const std::string& a, const std::string& b) {
                     return rules_->CompareIgnoringCase(a, b) < 0;
                   });
}

std::string AddTrailingBackslash(std::string_view path, char separator) {
  std::string result(path);
  if (result.empty() || result.back() != separator) result += separator;
  return result;
}

std::string ExeFolderOf(std::string_view exe_path, char separator) {
  const std::string_view stops =
      separator == '\\' ? std::string_view("\\:") : std::string_view("/");
  const std::size_t last = exe_path.find_last_of(stops);
  const std::string_view folder =
      last == std::string_view::npos ? std::string_view{} : exe_path.substr(0, last + 1);
  return AddTrailingBackslash(folder, separator);
}

DataFolderChoice ChooseDataFolder(const std::vector<FolderEntry>& subfolders, char separator,
                                  const TextRules& rules) {
  std::vector<std::string> bracketed;
  for (const FolderEntry& entry : subfolders) {
    if (entry.hidden || entry.system) continue;
    if (!EndsWithIgnoringAsciiCase(entry.name, kDataFolderSuffix)) continue;
    bracketed.push_back("[" + entry.name + "]");
  }
  std::stable_sort(bracketed.begin(), bracketed.end(),
                   [&rules](const std::string& a, const std::string& b) {
                     return rules.CompareIgnoringCase(a, b) < 0;
                   });

  DataFolderChoice choice;
  for (const std::string& entry : bracketed) {
    const std::string name = entry.substr(1, entry.size() - 2);
    choice.data_folder = name;
    choice.folder_names.push_back(name.substr(0, name.size() - kDataFolderSuffix.size()));
  }
  if (!choice.folder_names.empty()) {
    choice.selected = 0;
    choice.data_folder = AddTrailingBackslash(choice.data_folder, separator);
  }
  return choice;
}

StartupFiles ReadStartupFiles(const FileSystem& fs, const TextRules& rules,
                              std::string_view requested_library) {
  StartupFiles files;
  const char sep = fs.Separator();
  files.exe_folder = ExeFolderOf(fs.ExecutablePath(), sep);
  files.user_library_folder = fs.UserLibraryFolder();

  // The settings may name the library; their messages still come last.
  std::vector<std::string> settings_messages;
  const IniFile settings =
      ReadIni(fs, SettingsReadPath(fs, files.exe_folder), rules, settings_messages);
  WindowSettings& s = files.settings;
  s.left = settings.ReadInteger("Form1", "left", s.left);
  s.top = settings.ReadInteger("Form1", "top", s.top);
  s.width = settings.ReadInteger("Form1", "width", s.width);
  s.height = settings.ReadInteger("Form1", "height", s.height);
  s.always_on_top = settings.ReadBool("Misc", "AlwaysOnTop", s.always_on_top);
  files.sync.follow = settings.ReadBool(kSyncSection, kSyncFollowKey, false);
  files.sync.other_computers = settings.ReadBool(kSyncSection, kSyncOtherComputersKey, false);
  files.sync.passphrase = settings.ReadString(kSyncSection, kSyncPassphraseKey, "");
  files.sync.following.every_program = settings.ReadBool(kSyncSection, kSyncEveryProgramKey, false);
  const std::string programs = settings.ReadString(kSyncSection, kSyncProgramsKey, "");
  for (std::size_t start = 0;
       start < programs.size() && files.sync.following.programs.size() < kMaxFollowedPrograms;) {
    std::size_t bar = programs.find('|', start);
    if (bar == std::string::npos) bar = programs.size();
    if (bar > start) files.sync.following.programs.push_back(programs.substr(start, bar - start));
    start = bar + 1;
  }
  files.reader.text_size = NearestTextSize(settings.ReadInteger(kReaderSection, kTextSizeKey, 100));
  files.reader.library = settings.ReadString(kReaderSection, kLibraryKey, "");
  const std::string place = settings.ReadString(kReaderSection, kLibraryPlaceKey, "");
  if (place == PlaceName(true)) files.reader.library_in_user = true;
  if (place == PlaceName(false)) files.reader.library_in_user = false;
  files.reader.theme = ThemeNamed(settings.ReadString(kReaderSection, kThemeKey, ""));
  files.reader.place = settings.ReadString(kReaderSection, kPlaceKey, "");
  files.reader.place_library = settings.ReadString(kReaderSection, kPlaceLibraryKey, "");
  const std::string place_of_place = settings.ReadString(kReaderSection, kPlaceLibraryPlaceKey, "");
  if (place_of_place == PlaceName(true)) files.reader.place_library_in_user = true;
  if (place_of_place == PlaceName(false)) files.reader.place_library_in_user = false;

  // An installed viewer finds what vellum-import wrote: the user's library
  // comes first whenever it holds a data folder, and the program folder's
  // own stays the choice of a portable copy, unless the reader chose another.
  files.libraries = FindLibraries(fs, files.user_library_folder, files.exe_folder, rules);
  std::optional<std::size_t> chosen = FindLibraryNamed(files.libraries, requested_library, rules);
  if (!chosen) {
    chosen = FindLibraryNamed(files.libraries, files.reader.library, rules,
                              files.reader.library_in_user);
  }
  if (!chosen) chosen = DefaultLibrary(files.libraries);

  if (chosen) {
    UseLibrary(fs, rules, files, *chosen);
  } else {
    // Without a data folder there is no catalogue: the viewer still starts,
    // shows blank pages and obeys the host, and says once what is missing.
    files.library_folder = files.exe_folder;
    files.no_data_folder = true;
    files.book_files = BookList({}, rules);
    std::string places = files.exe_folder;
    if (!files.user_library_folder.empty()) places += " or " + files.user_library_folder;
    files.messages.push_back("No data folder found in " + places +
                             ": Vellum needs a folder whose name ends in \".htm\" there.");
    files.book_names_path = fs.ResolvePath(files.exe_folder, kBookNamesFileName);
    const IniFile names = ReadIni(fs, files.book_names_path, rules, files.messages);
    files.book_names = BookList(names.SectionLines("BKA"), rules);
    files.book_names.Sort();
  }
  files.messages.insert(files.messages.end(), settings_messages.begin(), settings_messages.end());
  return files;
}

void UseLibrary(const FileSystem& fs, const TextRules& rules, StartupFiles& files,
                std::size_t index) {
  const char sep = fs.Separator();
  const Library& library = files.libraries.at(index);
  files.library = index;
  files.from_user_library = library.in_user_library;
  files.library_folder = library.place;
  files.no_data_folder = false;
  files.data = ChooseDataFolder(fs.ListSubfolders(library.place), sep, rules);
  files.data.data_folder = AddTrailingBackslash(library.folder, sep);

  const IniFile catalogue =
      ReadIni(fs, fs.ResolvePath(PageFolder(files), kCatalogueFileName), rules, files.messages);
  files.book_files = BookList(catalogue.SectionLines("Bookfiles"), rules);
  files.short_name = catalogue.ReadString("INFO", "ShortName", "");

  // Book names belong with the books: a library folder may bring its own.
  files.book_names_path = fs.ResolvePath(files.exe_folder, kBookNamesFileName);
  if (files.from_user_library) {
    const std::string beside = fs.ResolvePath(files.library_folder, kBookNamesFileName);
    if (fs.IsFile(beside)) files.book_names_path = beside;
  }
  const IniFile names = ReadIni(fs, files.book_names_path, rules, files.messages);
  std::vector<std::string> lines = names.SectionLines("BKA");

  // A library may bring its own names, in its own language: they win for
  // its books, and only while it is the one shown.
  files.own_book_names_path.clear();
  files.book_titles = BookList({}, rules);
  files.book_spellings.clear();
  files.language.clear();
  const std::string own = fs.ResolvePath(PageFolder(files), kBookNamesFileName);
  if (fs.IsFile(own)) {
    files.own_book_names_path = own;
    const IniFile mine = ReadIni(fs, own, rules, files.messages);
    std::vector<std::string> merged = mine.SectionLines("BKA");
    const std::size_t own_count = merged.size();
    for (std::string& line : lines) {
      const auto named = [&](const std::string& o) {
        return HasKey(o) && rules.EqualIgnoringCase(KeyOfLine(o), KeyOfLine(line));
      };
      if (!HasKey(line) ||
          std::none_of(merged.begin(), merged.begin() + static_cast<std::ptrdiff_t>(own_count),
                       named))
        merged.push_back(std::move(line));
    }
    lines = std::move(merged);
    files.book_titles = BookList(mine.SectionLines("Names"), rules);
    files.book_titles.Sort();
    for (const std::string& line : mine.SectionLines("Abbreviations")) {
      if (HasKey(line) && !KeyOfLine(line).empty())
        files.book_spellings.emplace_back(KeyOfLine(line), ValueOfLine(line));
    }
    files.language = mine.ReadString("INFO", "Language", "");
  }
  files.book_names = BookList(std::move(lines), rules);
  files.book_names.Sort();
}

std::string IndexButtonCaption(std::string_view short_name) {
  return "Index " + std::string(short_name);
}

bool StaysInsideFolder(std::string_view relative) {
  if (relative.empty()) return true;
  // Rooted ("\\x", "/x"), with a drive ("C:x") or naming a stream ("a:b").
  if (relative.front() == '\\' || relative.front() == '/' ||
      relative.find(':') != std::string_view::npos)
    return false;
  std::size_t start = 0;
  while (start <= relative.size()) {
    const std::size_t end = relative.find_first_of("\\/", start);
    const std::string_view part = relative.substr(
        start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part == "..") return false;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return true;
}

std::string PageFolder(const StartupFiles& files) {
  return files.library_folder + files.data.data_folder;
}

std::string PagePath(const FileSystem& fs, const StartupFiles& files, std::string_view file_name) {
  // A library may come from anywhere: its catalogue names pages inside its
  // own folder and nowhere else.
  if (!StaysInsideFolder(file_name)) return {};
  return fs.ResolvePath(PageFolder(files), file_name);
}

std::string AboutPagePath(const FileSystem& fs, std::string_view exe_folder) {
  return fs.ResolvePath(std::string(exe_folder), "about\\about.htm");
}

std::string SettingsReadPath(const FileSystem& fs, std::string_view exe_folder) {
  const std::string user = UserSettingsPath(fs);
  if (!user.empty() && fs.IsFile(user)) return user;
  return fs.ResolvePath(std::string(exe_folder), kSettingsFileName);
}

SettingsTarget PrepareSettingsTarget(const FileSystem& fs, std::string_view exe_folder) {
  const std::string user = UserSettingsPath(fs);
  if (!user.empty() && fs.IsFile(user)) {
    // A read-only file of the user's is left alone like any other.
    return {user, user, fs.CanReplace(user)};
  }
  const std::string beside = fs.ResolvePath(std::string(exe_folder), kSettingsFileName);
  if (fs.CanReplace(beside)) return {beside, beside, true};
  if (user.empty()) return {beside, beside, false};
  // The first write to the user's own file starts from the program folder's,
  // so lines someone put there are carried over.
  return {user, beside, fs.CreateFolders(fs.UserSettingsFolder())};
}

std::string_view ThemeName(Theme theme) {
  switch (theme) {
    case Theme::kLight:
      return "light";
    case Theme::kDark:
      return "dark";
    case Theme::kFollowSystem:
      break;
  }
  return "system";
}

Theme ThemeNamed(std::string_view name) {
  // Written by hand, it may be "Dark".
  const AsciiTextRules rules;
  if (rules.EqualIgnoringCase(name, "light")) return Theme::kLight;
  if (rules.EqualIgnoringCase(name, "dark")) return Theme::kDark;
  return Theme::kFollowSystem;
}

int StepTextSize(int percent, int direction) {
  if (direction > 0) {
    for (const int size : kTextSizes) {
      if (size > percent) return size;
    }
    return kTextSizes[std::size(kTextSizes) - 1];
  }
  for (auto it = std::rbegin(kTextSizes); it != std::rend(kTextSizes); ++it) {
    if (*it < percent) return *it;
  }
  return kTextSizes[0];
}

int NearestTextSize(int percent) {
  if (percent <= 0) return 100;
  int nearest = kTextSizes[0];
  for (const int size : kTextSizes) {
    if (std::abs(size - percent) < std::abs(nearest - percent)) nearest = size;
  }
  return nearest;
}

std::optional<std::string> WriteSettings(const FileSystem& fs, std::string_view exe_folder,
                                         const WindowSettings& settings, const TextRules& rules,
                                         const UserChoices& choices) {
  const SettingsTarget target = PrepareSettingsTarget(fs, exe_folder);
  if (!target.ready) return UnableToWriteMessage(target.path);
  ReadResult current = fs.ReadWholeFile(target.base_path);
  if (current.status == ReadResult::Status::kUnreadable) {
    // A file we cannot read must not be replaced by one that lost its lines;
    // a new file of the user's simply starts without them.
    if (target.base_path == target.path) return UnableToWriteMessage(target.path);
    current.content.clear();
  }

  std::vector<IniUpdate> updates = {
      {"Form1", "left", std::to_string(settings.left)},
      {"Form1", "top", std::to_string(settings.top)},
      {"Form1", "width", std::to_string(settings.width)},
      {"Form1", "height", std::to_string(settings.height)},
      {"Misc", "AlwaysOnTop", settings.always_on_top ? "1" : "0"},
  };
  if (choices.sync) {
    const SyncChoices& sync = *choices.sync;
    const std::string section(kSyncSection);
    updates.push_back({section, std::string(kSyncFollowKey), sync.follow ? "1" : "0"});
    if (sync.other_computers) {
      updates.push_back(
          {section, std::string(kSyncOtherComputersKey), *sync.other_computers ? "1" : "0"});
    }
    if (sync.passphrase) {
      updates.push_back(
          {section, std::string(kSyncPassphraseKey), PassphraseToKeep(*sync.passphrase)});
    }
    if (sync.every_program) {
      updates.push_back(
          {section, std::string(kSyncEveryProgramKey), *sync.every_program ? "1" : "0"});
    }
    if (sync.programs) {
      std::string programs;
      for (const std::string& key : *sync.programs) {
        if (!programs.empty()) programs += '|';
        programs += key;
      }
      updates.push_back({section, std::string(kSyncProgramsKey), programs});
    }
  }
  if (choices.text_size) {
    updates.push_back({std::string(kReaderSection), std::string(kTextSizeKey),
                       std::to_string(*choices.text_size)});
  }
  // A folder name that a line could not hold (Linux allows line breaks in
  // one) is not saved: the next start then shows the default library.
  const bool library_fits =
      choices.library &&
      std::none_of(choices.library->folder.begin(), choices.library->folder.end(),
                   [](char c) { return c == '\r' || c == '\n'; });
  if (choices.theme) {
    updates.push_back({std::string(kReaderSection), std::string(kThemeKey),
                       std::string(ThemeName(*choices.theme))});
  }
  if (library_fits) {
    updates.push_back(
        {std::string(kReaderSection), std::string(kLibraryKey), choices.library->Name()});
    updates.push_back({std::string(kReaderSection), std::string(kLibraryPlaceKey),
                       std::string(PlaceName(choices.library->in_user_library))});
  }
  if (choices.place && !choices.place->empty()) {
    const bool place_library_fits =
        choices.place_library &&
        std::none_of(choices.place_library->folder.begin(), choices.place_library->folder.end(),
                     [](char c) { return c == '\r' || c == '\n'; });
    updates.push_back({std::string(kReaderSection), std::string(kPlaceKey), *choices.place});
    updates.push_back({std::string(kReaderSection), std::string(kPlaceLibraryKey),
                       place_library_fits ? choices.place_library->Name() : ""});
    updates.push_back(
        {std::string(kReaderSection), std::string(kPlaceLibraryPlaceKey),
         place_library_fits ? std::string(PlaceName(choices.place_library->in_user_library)) : ""});
  }
  const std::string content =
      ApplyIniUpdates(current.content, updates, fs.NativeLineEnding(), rules);
  if (!fs.ReplaceContent(target.path, content).ok) return UnableToWriteMessage(target.path);
  return std::nullopt;
}

namespace {

// A code a settings line holds as it is, and reads back the same.
bool IsSavableCode(std::string_view code) {
  if (code.empty()) return false;
  for (const char c : code) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte == 0x7F || c == ':' || c == '=' || c == ';' || c == '[') return false;
  }
  return true;
}

}  // namespace

std::string PassphraseToKeep(std::string_view typed) {
  std::string kept;
  for (const char c : typed) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 32 && byte != 127) kept.push_back(c);
  }
  const std::size_t first = kept.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return kept.substr(first, kept.find_last_not_of(' ') - first + 1);
}

std::string SavedPlaceText(const TbcvRec& location) {
  const std::string_view code = Code(location);
  if (!IsSavableCode(code)) return {};
  if (code == kIndexCode) return std::string(kIndexCode);
  if (code == kAboutCode) return {};
  return std::string(code) + " " + std::to_string(location.chapter) + ":" +
         std::to_string(location.verse);
}

std::optional<TbcvRec> SavedPlace(std::string_view text) {
  TbcvRec location = EmptyLocation();
  if (text == kIndexCode) {
    MakeIndexLocation(location);
    return location;
  }
  const std::size_t blank = text.find(' ');
  const std::size_t colon = text.find(':');
  if (blank == 0 || blank > kCodeCapacity || colon == std::string_view::npos || colon < blank)
    return std::nullopt;
  const std::optional<std::int32_t> chapter = ParseInt32(text.substr(blank + 1, colon - blank - 1));
  const std::optional<std::int32_t> verse = ParseInt32(text.substr(colon + 1));
  if (!chapter || !verse || *chapter < 0 || *chapter > 255 || *verse < -32768 || *verse > 32767)
    return std::nullopt;
  SetCode(location, text.substr(0, blank));
  if (!IsSavableCode(Code(location)) || IsSpecialCode(Code(location))) return std::nullopt;
  location.chapter = static_cast<std::uint8_t>(*chapter);
  location.verse = static_cast<std::int16_t>(*verse);
  return location;
}

std::string CannotOpenMessage(std::string_view path, std::string_view error_text) {
  return "Cannot open file \"" + std::string(path) + "\". " + std::string(error_text);
}

std::string UnableToWriteMessage(std::string_view path) {
  return "Unable to write to " + std::string(path);
}

}  // namespace vellum
