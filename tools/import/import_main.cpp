// vellum-import: turns an installed SWORD Bible or commentary into a Vellum
// data folder, by default in the user's library folder, where the viewer
// finds it.
#include <signal.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdint>
#include <thread>

#include "platform/wide_text_win.h"
#endif

#include <cctype>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/ini_file.h"
#include "platform/platform.h"
#include "tools/import/entry_html.h"
#include "tools/import/module_zip.h"
#include "tools/import/output_folder.h"
#include "tools/import/pages.h"
#include "tools/import/sword_library.h"
#include "vellum_version.h"

namespace {

using namespace vellum::import;

enum ExitCode {
  kWritten = 0,
  kBadArguments = 2,
  kNoSuchModule = 3,
  kUnreadableModule = 4,
  kCannotWrite = 5,
  kAlreadyThere = 6,
  kInterrupted = 130,
};

constexpr const char* kUsage =
    "Usage: vellum-import --list [--to FOLDER]\n"
    "       vellum-import MODULE [--to FOLDER] [--force]\n"
    "       vellum-import FILE.zip [--to FOLDER] [--force]\n"
    "       vellum-import --help | --version\n"
    "\n"
    "Turns an installed SWORD Bible or commentary into a Vellum library: a\n"
    "folder MODULE.htm with one page per book, an index page, the catalogue\n"
    "index.ini and the book names books.ini, which the viewer reads as they are.\n"
    "Book names and headings are in the module's language where the SWORD\n"
    "library has a locale for it, else in English.\n"
    "\n"
    "  --list        list the installed modules that can be imported, and which\n"
    "                are in the library folder already (and older there)\n"
    "  --to FOLDER   write the library into FOLDER instead of the user's library\n"
#ifdef _WIN32
    "                folder (%LOCALAPPDATA%\\Vellum)\n"
#else
    "                folder ($XDG_DATA_HOME/vellum, by default ~/.local/share/vellum)\n"
#endif
    "  --force       replace a library of the same name that is already there\n"
    "  --machine     for another program: --list writes one line per module,\n"
    "                name, kind, language, size in bytes (0: not known), state\n"
    "                (new, imported or older) and description, parted by tabs;\n"
    "                an import writes \"progress BOOK BOOKS NAME\" lines\n"
#ifdef _WIN32
    "  --stop-event HANDLE  for another program: stop as when interrupted (nothing\n"
    "                is written) once the event of that inherited handle is set\n"
#endif
    "  --help        show this text\n"
    "  --version     show the version\n"
    "\n"
#ifdef _WIN32
    "Modules are found where Windows programs keep them: %ALLUSERSPROFILE%\\\n"
    "Application Data\\Sword, %APPDATA%\\Sword and %SWORD_PATH%. A module\n"
#else
    "Modules are found where the SWORD library looks for them: $SWORD_PATH,\n"
    "~/.sword, the DataPath of /etc/sword.conf and /usr/share/sword. A module\n"
#endif
    ".zip as CrossWire publishes them is read as it is, installed nowhere.\n"
    "\n"
    "Exit codes: 0 written; 2 bad arguments; 3 no such module (or its name cannot\n"
    "be a folder's); 4 the module cannot be read cleanly; 5 the folder cannot be\n"
    "written; 6 a library of that name is already there (--force replaces it);\n"
    "130 interrupted.\n";

volatile std::sig_atomic_t g_interrupted = 0;

// Our own output, on copies of standard output and error made at the start:
// while the SWORD library is at work the originals are captured.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

struct Console {
  OwnedFile out;
  OwnedFile err;
  bool terminal = false;  // standard error is a terminal

  static Console Open() {
    Console console;
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
      const int copy = ::dup(fd);
      std::FILE* file = copy >= 0 ? ::fdopen(copy, "w") : nullptr;
      if (file == nullptr) {
        if (copy >= 0) ::close(copy);
        file = ::fdopen(::dup(fd == STDOUT_FILENO ? STDERR_FILENO : fd), "w");
      }
      (fd == STDOUT_FILENO ? console.out : console.err).reset(file);
    }
    console.terminal = ::isatty(STDERR_FILENO) == 1;
    return console;
  }
};

extern "C" void OnSignal(int) {
  g_interrupted = 1;
}

struct Options {
  bool list = false;
  bool help = false;
  bool version = false;
  bool force = false;
  bool machine = false;  // output for another program (the viewer's Add books dialog)
  std::string module;
  std::string folder;
  std::string stop_event;  // Windows: an inherited event's handle, in decimal
};

int BadArguments(const std::string& message) {
  std::fprintf(stderr, "vellum-import: %s\n\n%s", message.c_str(), kUsage);
  return kBadArguments;
}

// Fills options; returns an exit code when the arguments are wrong.
std::optional<int> Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--list") {
      options.list = true;
    } else if (arg == "--machine") {
      options.machine = true;
    } else if (arg == "--force") {
      options.force = true;
    } else if (arg == "--to") {
      if (i + 1 >= argc || std::string(argv[i + 1]).empty())
        return BadArguments("--to needs a folder");
      options.folder = argv[++i];
#ifdef _WIN32
    } else if (arg == "--stop-event") {
      const std::string number = i + 1 < argc ? argv[i + 1] : "";
      if (number.empty() || number.size() > 18 ||
          number.find_first_not_of("0123456789") != std::string::npos)
        return BadArguments("--stop-event needs a handle's number");
      options.stop_event = argv[++i];
#endif
    } else if (arg.rfind("-", 0) == 0) {
      return BadArguments("unknown option " + arg);
    } else if (options.module.empty()) {
      options.module = arg;
    } else {
      return BadArguments("one module at a time (" + options.module + ", " + arg + ")");
    }
  }
  if (options.help || options.version) return std::nullopt;
  if (options.list && (!options.module.empty() || options.force))
    return BadArguments("--list takes no module and no --force");
  if (!options.list && options.module.empty()) return BadArguments("which module?");
  return std::nullopt;
}

// A name that can be one folder's name on Linux and Windows alike: no
// separator, no "..", no NUL or other control character, not empty.
bool IsPlainFolderName(std::string_view name) {
  if (name.empty() || name.find("..") != std::string_view::npos) return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || byte < 32 || byte == 127) return false;
  }
  return true;
}

// A module .zip named on the command line (a module's name never ends so).
bool IsZipFile(std::string_view argument) {
  if (argument.size() < 5) return false;
  std::string end(argument.substr(argument.size() - 4));
  for (char& c : end)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == ".zip";
}

// A folder of our own under the system's temporary folder, removed with
// everything in it when this goes.
class ScratchFolder {
 public:
  static std::optional<ScratchFolder> Make(std::string& error) {
    namespace fs = std::filesystem;
    std::error_code failed;
    const fs::path base = fs::temp_directory_path(failed);
    if (failed) {
      error = "no temporary folder: " + failed.message();
      return std::nullopt;
    }
    std::random_device random;
    for (int attempt = 0; attempt < 20; ++attempt) {
      const fs::path path = base / ("vellum-import-" + std::to_string(random()));
      if (fs::create_directory(path, failed)) return ScratchFolder(path);
    }
    const std::u8string where = base.u8string();
    error = "no temporary folder could be made in " + std::string(where.begin(), where.end());
    return std::nullopt;
  }
  ScratchFolder(ScratchFolder&& other) noexcept : path_(std::move(other.path_)) {
    other.path_.clear();
  }
  ScratchFolder& operator=(ScratchFolder&& other) noexcept {
    std::swap(path_, other.path_);
    return *this;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  std::string Path() const {
    const std::u8string text = path_.u8string();
    return std::string(text.begin(), text.end());
  }

 private:
  explicit ScratchFolder(std::filesystem::path path) : path_(std::move(path)) {}
  std::filesystem::path path_;
};

// The library folder an import writes to: --to's, else the user's.
std::string TargetFolder(const Options& options) {
  return options.folder.empty() ? vellum::SystemFileSystem().UserLibraryFolder() : options.folder;
}

// A text as one tab-separated field: tabs and line breaks become blanks.
std::string OneField(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

int List(const Options& options, Console& console) {
  std::vector<ModuleSummary> modules;
  {
    LibraryReports reports;
    SwordLibrary library;
    modules = library.Importable();
  }
  if (modules.empty() && !options.machine) {
    std::fprintf(console.out.get(),
                 "No Bibles or commentaries are installed where the SWORD library looks.\n");
    return kWritten;
  }
  std::size_t width = 6;
  for (const ModuleSummary& m : modules)
    width = std::max(width, m.name.size());
  if (!options.machine)
    std::fprintf(console.out.get(), "%-*s  %-10s  %-8s  %s\n", static_cast<int>(width), "Module",
                 "Kind", "Language", "Description");
  // Each module against a library of its name in the folder an import would
  // write to: already there, or there from an older version of the module.
  std::string folder = TargetFolder(options);
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
  const vellum::SystemFileSystem files;
  for (const ModuleSummary& m : modules) {
    std::string state;
    bool there = false;
    if (!folder.empty() && IsPlainFolderName(m.name)) {
      const vellum::ReadResult catalogue =
          files.ReadWholeFile(files.ResolvePath(folder, m.name + ".htm/index.ini"));
      there = catalogue.status == vellum::ReadResult::Status::kOk;
      state = ImportedState(
          there, vellum::IniFile::Parse(catalogue.content).ReadString("INFO", "Version", ""),
          m.version);
    }
    if (options.machine) {
      const char* machine_state = !there ? "new" : state == "imported" ? "imported" : "older";
      std::fprintf(console.out.get(), "%s\t%s\t%s\t%llu\t%s\t%s\n", OneField(m.name).c_str(),
                   OneField(m.kind).c_str(), OneField(m.language).c_str(),
                   static_cast<unsigned long long>(m.install_size), machine_state,
                   OneField(m.description).c_str());
      continue;
    }
    std::fprintf(console.out.get(), "%-*s  %-10s  %-8s  %s%s\n", static_cast<int>(width),
                 m.name.c_str(), m.kind.c_str(), m.language.c_str(), m.description.c_str(),
                 state.empty() ? "" : ("  [" + state + "]").c_str());
  }
  return kWritten;
}

std::string Megabytes(std::size_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

// One line on a terminal, rewritten in place.
class Progress {
 public:
  explicit Progress(Console& console) : err_(console.terminal ? console.err.get() : nullptr) {}
  void Show(const Entry& entry, int entries, std::size_t bytes) {
    if (err_ == nullptr) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    const int percent = entry.book_count > 0 ? (entry.book_number - 1) * 100 / entry.book_count : 0;
    std::fprintf(
        err_, "\r\033[K%s",
        ProgressLine(entry.book_name, entry.book_number, entry.book_count, percent, entries, bytes)
            .c_str());
    std::fflush(err_);
  }
  void Clear() {
    if (err_ != nullptr) std::fprintf(err_, "\r\033[K");
  }

 private:
  std::FILE* err_;
  std::chrono::steady_clock::time_point last_{};
};

int Report(Console& console, int code, const std::string& module, const std::string& what,
           const std::vector<std::string>& reasons = {}) {
  std::FILE* err = console.err.get();
  std::fprintf(err, "vellum-import: %s: %s\n", module.c_str(), what.c_str());
  for (std::size_t i = 0; i < reasons.size() && i < 5; ++i)
    std::fprintf(err, "  the SWORD library says: %s\n", reasons[i].c_str());
  if (reasons.size() > 5) std::fprintf(err, "  (and %zu more)\n", reasons.size() - 5);
  return code;
}

// A name as the user may be shown it, control characters as "?".
std::string TraceSafe(std::string_view name) {
  std::string out;
  for (const char c : name.substr(0, 80)) {
    const auto byte = static_cast<unsigned char>(c);
    out += byte < 32 || byte == 127 ? '?' : c;
  }
  return out;
}

struct BookInProgress {
  std::string code;
  std::string name;
  BookPage page;
};

int Import(const Options& options, Console& console) {
  const auto started = std::chrono::steady_clock::now();
  const std::string folder = TargetFolder(options);
  if (folder.empty())
    return Report(console, kCannotWrite, options.module,
                  "no library folder: HOME is not set; name one with --to");

  // A module .zip is unpacked into a folder of our own, read from there and
  // removed with it: nothing is installed.
  std::optional<ScratchFolder> unpacked;
  std::string module = options.module;
  if (IsZipFile(options.module)) {
    const std::string file = TraceSafe(options.module);
    std::string error;
    unpacked = ScratchFolder::Make(error);
    if (!unpacked) return Report(console, kCannotWrite, file, error);
    if (const std::optional<std::string> refused =
            UnpackModuleZip(options.module, unpacked->Path()))
      return Report(console,
                    refused->rfind("cannot write", 0) == 0 ? kCannotWrite : kUnreadableModule, file,
                    refused->rfind("cannot write", 0) == 0 ? *refused
                                                           : "cannot be read cleanly: " + *refused);
  }

  LibraryReports reports;
  SwordLibrary library(unpacked ? unpacked->Path() : std::string());
  (void)reports.Take();  // about the library's set-up and other modules, not ours

  if (unpacked) {
    const std::vector<ModuleSummary> inside = library.Importable();
    if (inside.empty())
      return Report(console, kNoSuchModule, TraceSafe(options.module),
                    "holds no Bible or commentary this SWORD library can read", reports.Take());
    module = inside.front().name;
  }

  std::string reason;
  switch (library.Open(module, reason)) {
    case SwordLibrary::Found::kOk:
      break;
    case SwordLibrary::Found::kMissing:
      return Report(console, kNoSuchModule, module,
                    "no such module is installed (vellum-import --list shows those that are)");
    case SwordLibrary::Found::kNotVersified:
      return Report(console, kNoSuchModule, module, "not a Bible or commentary: " + reason);
    case SwordLibrary::Found::kUnloadable:
    case SwordLibrary::Found::kLocked:
      return Report(console, kUnreadableModule, module, "cannot be read: " + reason,
                    reports.Take());
  }
  const ModuleFacts facts = library.Facts();
  if (std::vector<std::string> said = reports.Take(); !said.empty())
    return Report(console, kUnreadableModule, facts.name, "cannot be read cleanly", said);

  // The name becomes a folder's: only a plain name may, never a path.
  if (!IsPlainFolderName(facts.name))
    return Report(console, kNoSuchModule, TraceSafe(facts.name),
                  "the module's name cannot be a folder name (it holds \"/\", \"\\\", \"..\" or "
                  "control characters); nothing was written");
  const std::string folder_name = facts.name + ".htm";
  // Before anything else: a library an interrupted run moved aside is put back.
  for (const std::string& line : RecoverEarlierRuns(folder, folder_name))
    std::fprintf(console.err.get(), "vellum-import: %s\n", line.c_str());
  StagingFolder staging(folder, folder_name);
  if (!staging.valid()) return Report(console, kCannotWrite, facts.name, staging.error());
  if (Exists(staging.target()) && !options.force)
    return Report(console, kAlreadyThere, facts.name,
                  staging.target() + " is there already; vellum-import " + facts.name +
                      " --force replaces it");

  const PageStyle style{facts.library_css, facts.font, facts.language, facts.right_to_left};
  const bool bible = facts.kind == "Bible";
  std::vector<BookInProgress> books;
  std::string introductions;
  int entries = 0;
  int left_out = 0;
  std::size_t bytes = 0;
  Progress progress(console);
  int last_book = -1;
  Entry entry;
  for (;;) {
    bool failed = false;
    const bool more = library.Next(entry, failed);
    if (std::vector<std::string> said = reports.Take(); !said.empty() || failed) {
      progress.Clear();
      const std::string where = entry.book_name.empty() ? std::string()
                                                        : " (near " + entry.book_name + " " +
                                                              std::to_string(entry.chapter) + ":" +
                                                              std::to_string(entry.verse) + ")";
      if (failed) said.push_back("an entry could not be rendered");
      return Report(console, kUnreadableModule, facts.name, "cannot be read cleanly" + where, said);
    }
    if (g_interrupted != 0) {
      progress.Clear();
      return Report(console, kInterrupted, facts.name, "interrupted; nothing was written");
    }
    if (!more) break;
    if (entry.book == nullptr) {
      if (entry.book_name.empty()) {
        introductions += entry.html + "\n";
      } else {
        ++left_out;  // a book the versification has but no USFM code names
      }
      continue;
    }
    if (books.empty() || books.back().code != entry.book->usfm) {
      books.push_back({std::string(entry.book->usfm), entry.book_name,
                       BookPage(entry.book_name, bible, style)});
    }
    books.back().page.Add(entry.chapter, entry.verse, entry.last_verse, entry.html);
    ++entries;
    bytes += entry.html.size();
    progress.Show(entry, entries, bytes);
    if (options.machine && entry.book_number != last_book) {
      last_book = entry.book_number;
      std::fprintf(console.out.get(), "progress %d %d %s\n", entry.book_number, entry.book_count,
                   OneField(entry.book_name).c_str());
      std::fflush(console.out.get());
    }
  }
  progress.Clear();
  if (entries == 0) {
    return Report(console, kUnreadableModule, facts.name,
                  "has no entries to import: its data files are missing or do not match its "
                  "driver (ModDrv in its configuration)");
  }

  IndexContent index{facts.description, facts.name,    facts.kind, facts.about_rtf,
                     facts.licence,     introductions, {}};
  std::vector<std::string> codes;
  std::size_t written = 0;
  for (BookInProgress& book : books) {
    index.books.push_back({book.code, book.name, book.page.FirstChapter()});
    codes.push_back(book.code);
    const std::string page = book.page.Finish();
    written += page.size();
    if (!staging.Write(PageFileName(book.code), page))
      return Report(console, kCannotWrite, facts.name, staging.error());
  }
  const std::string index_page = IndexPage(index, style);
  written += index_page.size();
  // The book names in the module's language go with the library: captions
  // and the Go to field of the viewer read them from there.
  const std::string names = LibraryBookNamesIni(
      facts.name, facts.names_locale.empty() ? "en" : facts.language, library.BookNames(codes));
  if (!staging.Write("index.htm", index_page) ||
      !staging.Write("index.ini",
                     CatalogueIni(facts.abbreviation, codes, facts.name, facts.version)) ||
      !staging.Write("books.ini", names))
    return Report(console, kCannotWrite, facts.name, staging.error());
  if (g_interrupted != 0)
    return Report(console, kInterrupted, facts.name, "interrupted; nothing was written");
  if (!staging.Commit(options.force))
    return Report(console, kCannotWrite, facts.name, staging.error());

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::fprintf(console.out.get(), "Imported %s (%s) into %s: %zu book%s, %d entries, %s, %.1f s\n",
               facts.name.c_str(), facts.kind.c_str(), staging.target().c_str(), books.size(),
               books.size() == 1 ? "" : "s", entries, Megabytes(written).c_str(), seconds);
  if (left_out > 0)
    std::fprintf(console.out.get(), "Left out: %d entries in books that have no USFM code\n",
                 left_out);
  return kWritten;
}

int Run(int argc, char** argv) {
  UseUnicodeText();
  Console console = Console::Open();
  Options options;
  if (const std::optional<int> bad = Parse(argc, argv, options)) return *bad;
  if (options.help) {
    std::printf("%s", kUsage);
    return kWritten;
  }
  if (options.version) {
    std::printf("vellum-import %s\n", vellum::kVersion);
    return kWritten;
  }
  if (options.list) return List(options, console);
#ifdef _WIN32
  // The program that started us has no signal to send: it sets an event.
  if (!options.stop_event.empty()) {
    const auto stop =
        reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::stoull(options.stop_event)));
    DWORD flags = 0;
    if (!::GetHandleInformation(stop, &flags)) return BadArguments("--stop-event: no such handle");
    std::thread([stop] {
      if (::WaitForSingleObject(stop, INFINITE) == WAIT_OBJECT_0) g_interrupted = 1;
    }).detach();
  }
#endif
#ifdef SIGHUP
  for (const int signal : {SIGINT, SIGTERM, SIGHUP})
#else
  for (const int signal : {SIGINT, SIGTERM, SIGBREAK})  // Ctrl+C, Ctrl+Break
#endif
    std::signal(signal, OnSignal);
  return Import(options, console);
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  try {
#ifdef _WIN32
    // The arguments as typed, in UTF-8 like every path here: the ones main
    // is given are in the ANSI code page, which cannot hold every file name.
    std::vector<std::string> utf8;
    int count = 0;
    if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
      for (int i = 0; i < count; ++i)
        utf8.push_back(vellum::WideToUtf8(wide[i]));
      ::LocalFree(wide);
    }
    std::vector<char*> pointers;
    for (std::string& argument : utf8)
      pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    if (count > 0 && static_cast<std::size_t>(count) == utf8.size())
      return Run(count, pointers.data());
#endif
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vellum-import: %s\n", error.what());
    return kUnreadableModule;
  }
}
