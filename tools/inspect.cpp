// vellum-inspect: reads the program folder it sits in exactly as the viewer
// does at start-up and prints what it finds, so a library can be checked
// without opening a window.
#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "core/catalogue.h"
#include "core/geometry.h"
#include "core/text.h"
#include "platform/platform.h"
#include "tools/display_screen.h"
#include "vellum_version.h"

namespace {

using vellum::BookList;
using vellum::FileSystem;
using vellum::StartupFiles;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: vellum-inspect [WIDTH HEIGHT]\n"
    "       vellum-inspect --help | --version\n";

constexpr char kHelp[] =
    "\n"
    "Reads the program folder this program sits in (and the user's library folder)\n"
    "exactly as the viewer does at start-up, and prints what it finds: every library,\n"
    "the one shown marked, its catalogue's pages, the book names, the About page and\n"
    "the saved window, placed on a screen of WIDTH x HEIGHT pixels: by default the\n"
    "display's, where one answers, else 1024 x 768 (and it says which).\n"
    "\n"
    "Exit codes: 0 done; 1 the program failed; 2 the command line is wrong.\n";

std::optional<int> Pixels(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
  return value;
}

void Print(const std::string& text) {
  std::printf("%s\n", vellum::DisplayTextToUtf8(text).c_str());
}

void PrintPage(const FileSystem& fs, const StartupFiles& files, const std::string& code) {
  const std::string file = files.book_files.Lookup(code);
  const std::string path = vellum::PagePath(fs, files, file);
  const bool exists = !file.empty() && fs.IsFile(path);
  Print("  " + code + " -> " + (file.empty() ? "(no entry)" : path) +
        (exists ? "" : "  [missing: the viewer shows a page of its own that says so]"));
}

int Run(int screen_width, int screen_height, const char* screen_source) {
  const vellum::SystemFileSystem fs;
  const vellum::LocaleTextRules rules;
  StartupFiles files = vellum::ReadStartupFiles(fs, rules);

  Print("Program folder: " + files.exe_folder);
  const std::string& library = files.user_library_folder;
  const bool user_has_libraries =
      std::any_of(files.libraries.begin(), files.libraries.end(),
                  [](const vellum::Library& l) { return l.in_user_library; });
  Print("User library:   " + (library.empty() ? "(none named by the system)" : library) +
        (library.empty()           ? ""
         : files.from_user_library ? "  [used: it holds a data folder]"
         : user_has_libraries      ? "  [not used: the library chosen is the program folder's]"
                                   : "  [not used: no data folder in it]"));
  Print("Libraries (* the one shown):");
  if (files.libraries.empty()) Print("  (none)");
  for (std::size_t i = 0; i < files.libraries.size(); ++i) {
    const vellum::Library& each = files.libraries[i];
    Print(std::string(files.library == i ? "  * " : "    ") + each.label + "  (" + each.place +
          each.folder + ", --library " + each.Name() + ")");
  }
  Print("Data folder:    " + (files.data.data_folder.empty()
                                  ? std::string("(none)")
                                  : files.library_folder + files.data.data_folder));
  for (const std::string& message : files.messages)
    Print("Message:        " + message);
  Print("Index button:   \"" + vellum::IndexButtonCaption(files.short_name) + "\"");
  Print("Start page (catalogue in file order):");
  PrintPage(fs, files, "IDX");
  files.book_files.Sort();
  Print("Book pages (sorted):");
  for (const std::string& line : files.book_files.Lines()) {
    PrintPage(fs, files, std::string(line.substr(0, line.find('='))));
  }
  const std::string own = files.own_book_names_path.empty()
                              ? std::string()
                              : files.own_book_names_path + " (the library's own) and ";
  Print("Book names (sorted, from " + own + files.book_names_path + "):");
  for (const std::string& line : files.book_names.Lines())
    Print("  " + line);
  const std::string about = vellum::AboutPagePath(fs, files.exe_folder);
  Print("About page:     " + about + (fs.IsFile(about) ? "" : "  [missing]"));

  const vellum::WindowSettings& s = files.settings;
  const vellum::Bounds placed =
      vellum::PlaceWindow({s.left, s.top, s.width, s.height}, screen_width, screen_height);
  std::printf(
      "Window:         saved %d,%d %dx%d; on a %dx%d screen (%s) at %d,%d; stay on top %s\n",
      s.left, s.top, s.width, s.height, screen_width, screen_height, screen_source, placed.left,
      placed.top, s.always_on_top ? "on" : "off");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const std::string_view first = argc > 1 ? argv[1] : "";
  if (argc == 2 && (first == "--help" || first == "-h")) {
    std::printf("%s%s", kUsage, kHelp);
    return 0;
  }
  if (argc == 2 && first == "--version") {
    std::printf("vellum-inspect %s\n", vellum::kVersion);
    return 0;
  }
  std::optional<int> width = 1024, height = 768;
  const char* source = "assumed: no display answers";
  if (argc == 3) {
    width = Pixels(argv[1]);
    height = Pixels(argv[2]);
    source = "as asked";
  } else if (const std::optional<vellum::ScreenPoint> screen = vellum::DisplayScreenSize()) {
    width = screen->x;
    height = screen->y;
    source = "the display's";
  }
  if ((argc != 1 && argc != 3) || !width || !height) {
    std::fprintf(stderr, "vellum-inspect: %s\n%s",
                 argc == 3 ? "WIDTH and HEIGHT are numbers of pixels" : "wrong command line",
                 kUsage);
    return kExitUsage;
  }
  try {
    return Run(*width, *height, source);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vellum-inspect: %s\n", error.what());
    return kExitFailed;
  }
}
