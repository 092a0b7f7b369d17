// vellum-inspect: reads the program folder it sits in exactly as the viewer
// does at start-up and prints what it finds, so a library can be checked
// without opening a window.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "app/platform/platform.h"
#include "core/catalogue.h"
#include "core/geometry.h"
#include "core/text.h"

namespace {

using vellum::BookList;
using vellum::FileSystem;
using vellum::StartupFiles;

void Print(const std::string& text) {
  std::printf("%s\n", vellum::DisplayTextToUtf8(text).c_str());
}

void PrintPage(const FileSystem& fs, const StartupFiles& files, const std::string& code) {
  const std::string file = files.book_files.Lookup(code);
  const std::string path = vellum::PagePath(fs, files, file);
  const bool exists = !file.empty() && fs.IsFile(path);
  Print("  " + code + " -> " + (file.empty() ? "(no entry)" : path) +
        (exists ? "" : "  [missing: shown as about:blank]"));
}

int Run(int argc, char** argv) {
  int screen_width = 1024;
  int screen_height = 768;
  if (argc == 3) {
    screen_width = std::atoi(argv[1]);
    screen_height = std::atoi(argv[2]);
  }
  const vellum::SystemFileSystem fs;
  const vellum::LocaleTextRules rules;
  StartupFiles files = vellum::ReadStartupFiles(fs, rules);

  Print("Program folder: " + files.exe_folder);
  const std::string& library = files.user_library_folder;
  Print("User library:   " + (library.empty() ? "(none named by the system)" : library) +
        (library.empty()           ? ""
         : files.from_user_library ? "  [used: it holds a data folder]"
                                   : "  [not used: no data folder in it]"));
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
  Print("Book names (sorted, from " + files.book_names_path + "):");
  for (const std::string& line : files.book_names.Lines())
    Print("  " + line);
  const std::string about = vellum::AboutPagePath(fs, files.exe_folder);
  Print("About page:     " + about + (fs.IsFile(about) ? "" : "  [missing]"));

  const vellum::WindowSettings& s = files.settings;
  const vellum::Bounds placed =
      vellum::PlaceWindow({s.left, s.top, s.width, s.height}, screen_width, screen_height);
  std::printf("Window:         saved %d,%d %dx%d; on a %dx%d screen at %d,%d; stay on top %s\n",
              s.left, s.top, s.width, s.height, screen_width, screen_height, placed.left,
              placed.top, s.always_on_top ? "on" : "off");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vellum-inspect: %s\n", error.what());
    return 1;
  }
}
