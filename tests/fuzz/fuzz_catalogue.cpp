// Start-up's reading of the program folder: the folder names beside the
// executable, the catalogue index.ini, the book names books.ini and the
// settings, all arbitrary. Checks the choice of the data folder, that the
// lists hold what the files say (BookNames sorted), the lookups in both
// lists before and after sorting, and the page paths built from catalogue
// values, also through the Linux file system's case-insensitive lookup on a
// small real folder.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/catalogue.h"
#include "core/ini_file.h"
#include "platform/platform.h"
#include "tests/core/fake_file_system.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/text_rules.h"

namespace {

using namespace vellum;

// A small real program folder for the Linux lookup, made once per process.
std::string g_real_exe_folder;
std::string g_real_data_folder;

void MakeRealDataFolder() {
  char pattern[] = "/tmp/vellum-fuzz-catalogue-XXXXXX";
  const char* root = ::mkdtemp(pattern);
  if (root == nullptr) return;
  const std::filesystem::path data = std::filesystem::path(root) / "Web.htm";
  std::filesystem::create_directories(data / "Sub");
  for (const char* file : {"index.htm", "Alpha.htm", "Sub/Beta.HTM", "b.htm", "B.htm"})
    std::ofstream(data / file) << "<html></html>";
  g_real_exe_folder = std::string(root) + "/";
  g_real_data_folder = data.string() + "/";
  static const std::string remove = root;
  std::atexit([] { std::filesystem::remove_all(remove); });
}

bool IsSorted(const BookList& list, const TextRules& rules) {
  const std::vector<std::string>& lines = list.Lines();
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (rules.CompareIgnoringCase(lines[i - 1], lines[i]) > 0) return false;
  }
  return true;
}

// The value of the first line in the list's order whose key equals code
// ignoring case.
std::string FirstValue(const BookList& list, std::string_view code, const TextRules& rules) {
  for (const std::string& line : list.Lines()) {
    if (HasKey(line) && rules.EqualIgnoringCase(KeyOfLine(line), code)) {
      return std::string(ValueOfLine(line));
    }
  }
  return {};
}

void CheckLookups(const BookList& list, const std::vector<std::string>& codes,
                  const TextRules& rules) {
  std::vector<std::string> all = codes;
  for (const std::string& line : list.Lines())
    all.emplace_back(KeyOfLine(line));
  for (const std::string& code : all) {
    const std::string value = list.Lookup(code);
    VELLUM_FUZZ_CHECK(value == FirstValue(list, code, rules));
    VELLUM_FUZZ_CHECK(list.Lookup(vellum::fuzz::AsciiLower(code)) == value);
    VELLUM_FUZZ_CHECK(list.Lookup(vellum::fuzz::AsciiUpper(code)) == value);
  }
}

void CheckOrder(const TextRules& rules, const std::string& a, const std::string& b) {
  VELLUM_FUZZ_CHECK(rules.CompareIgnoringCase(a, a) == 0);
  const int ab = rules.CompareIgnoringCase(a, b);
  const int ba = rules.CompareIgnoringCase(b, a);
  VELLUM_FUZZ_CHECK((ab < 0) == (ba > 0) && (ab == 0) == (ba == 0));
  if (ab == 0) VELLUM_FUZZ_CHECK(rules.Upper(a) == rules.Upper(b));
}

bool EndsWithHtm(std::string_view name) {
  return name.size() >= 4 &&
         vellum::fuzz::AsciiUpper(std::string(name.substr(name.size() - 4))) == ".HTM";
}

// A catalogue name as the Linux viewer follows it: a page path below the data
// folder that names only what exists, or nothing at all for a name that
// leads outside it.
void CheckRealPath(const std::string& file_name) {
  if (g_real_data_folder.empty()) return;
  const SystemFileSystem system;
  StartupFiles files;
  files.exe_folder = g_real_exe_folder;
  files.library_folder = g_real_exe_folder;
  files.data.data_folder = "Web.htm/";
  const std::string path = PagePath(system, files, file_name);
  if (!StaysInsideFolder(file_name)) {
    VELLUM_FUZZ_CHECK(path.empty());
    return;
  }
  VELLUM_FUZZ_CHECK(path.starts_with(g_real_data_folder));
  const std::string normal = std::filesystem::path(path).lexically_normal().string();
  VELLUM_FUZZ_CHECK(normal.starts_with(g_real_data_folder) || normal + "/" == g_real_data_folder);
  std::string as_written = g_real_data_folder + file_name;
  std::replace(as_written.begin(), as_written.end(), '\\', '/');
  if (path != as_written) {
    // Found ignoring case: something that exists, the same name part by part.
    struct stat st {};
    VELLUM_FUZZ_CHECK(::stat(path.c_str(), &st) == 0);
    VELLUM_FUZZ_CHECK(path.size() <= as_written.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vellum::fuzz::UseFixedLocale();
  MakeRealDataFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vellum::fuzz::ByteReader input(data, size);
  const std::uint8_t flags = input.Byte();
  const TextRules& rules = vellum::fuzz::PickRules(flags & 1);

  testing::FakeFileSystem fs;
  if (flags & 2) fs.exe_path = input.Text();
  for (int n = input.Byte() % 6; n > 0; --n) {
    const std::uint8_t attributes = input.Byte();
    fs.subfolders.push_back({input.Text(), (attributes & 1) != 0, (attributes & 2) != 0});
  }
  std::vector<std::string> codes;
  for (int n = input.Byte() % 4; n > 0; --n)
    codes.push_back(input.Text());
  const std::string index_ini = input.LongText();
  const std::string books_ini = input.LongText();
  const std::string settings_ini = input.Rest();

  const std::string exe_folder = ExeFolderOf(fs.exe_path, '\\');
  // The same index.ini in every folder, so whichever is chosen has it.
  auto put = [&fs](const std::string& path, const std::string& content, bool unreadable) {
    if (unreadable) {
      fs.unreadable[path] = "Access is denied";
    } else {
      fs.files[path] = content;
    }
  };
  for (const FolderEntry& folder : fs.subfolders)
    put(exe_folder + folder.name + "\\index.ini", index_ini, flags & 4);
  put(exe_folder + "books.ini", books_ini, flags & 8);
  fs.files[exe_folder + "Vellum.ini"] = settings_ini;

  StartupFiles files = ReadStartupFiles(fs, rules);

  // The executable's folder: its path up to the last separator or colon,
  // with one separator at its end.
  VELLUM_FUZZ_CHECK(files.exe_folder == exe_folder && exe_folder.ends_with('\\'));
  const std::string_view exe_path = fs.exe_path;
  const std::string_view folder_part =
      exe_path.starts_with(exe_folder)
          ? std::string_view(exe_folder)
          : std::string_view(exe_folder).substr(0, exe_folder.size() - 1);
  VELLUM_FUZZ_CHECK(exe_path.starts_with(folder_part));
  VELLUM_FUZZ_CHECK(exe_path.substr(folder_part.size()).find_first_of("\\:") ==
                    std::string_view::npos);

  // The data folder: the last eligible folder in "[name]" order.
  std::vector<std::string> eligible;
  for (const FolderEntry& folder : fs.subfolders) {
    if (!folder.hidden && !folder.system && EndsWithHtm(folder.name))
      eligible.push_back(folder.name);
  }
  const DataFolderChoice& choice = files.data;
  VELLUM_FUZZ_CHECK(choice.folder_names.size() == eligible.size());
  VELLUM_FUZZ_CHECK(files.no_data_folder == eligible.empty());
  VELLUM_FUZZ_CHECK(choice.selected == (eligible.empty() ? -1 : 0));
  VELLUM_FUZZ_CHECK(choice.data_folder.empty() == eligible.empty());
  if (!eligible.empty()) {
    // A name ending in ".htm" gets its separator appended.
    VELLUM_FUZZ_CHECK(choice.data_folder.ends_with('\\'));
    const std::string chosen = choice.data_folder.substr(0, choice.data_folder.size() - 1);
    VELLUM_FUZZ_CHECK(std::count(eligible.begin(), eligible.end(), chosen) != 0);
    // The last in name order, unless the settings name a library found.
    VELLUM_FUZZ_CHECK(files.library && files.libraries[*files.library].folder == chosen);
    const bool saved =
        FindLibraryNamed(files.libraries, files.reader.library, rules, files.reader.library_in_user)
            .has_value();
    for (const std::string& name : eligible) {
      if (!saved)
        VELLUM_FUZZ_CHECK(rules.CompareIgnoringCase("[" + name + "]", "[" + chosen + "]") <= 0);
    }
    for (std::size_t i = 0; i < eligible.size(); ++i) {
      const std::string& shown = choice.folder_names[i];
      VELLUM_FUZZ_CHECK(std::count_if(eligible.begin(), eligible.end(), [&](const std::string& n) {
                          return n.size() == shown.size() + 4 && n.starts_with(shown);
                        }) != 0);
      if (i > 0) CheckOrder(rules, choice.folder_names[i - 1], shown);
    }
  }

  // The lists hold what the files say.
  const IniFile index = IniFile::Parse((flags & 4) ? "" : index_ini, rules);
  const IniFile books = IniFile::Parse((flags & 8) ? "" : books_ini, rules);
  const IniFile settings = IniFile::Parse(settings_ini, rules);
  if (eligible.empty()) {
    VELLUM_FUZZ_CHECK(files.book_files.Lines().empty() && files.short_name.empty());
  } else {
    VELLUM_FUZZ_CHECK(files.book_files.Lines() == index.SectionLines("Bookfiles"));
    VELLUM_FUZZ_CHECK(files.short_name == index.ReadString("INFO", "ShortName", ""));
  }
  std::vector<std::string> names = books.SectionLines("BKA");
  std::vector<std::string> sorted_names = files.book_names.Lines();
  std::sort(names.begin(), names.end());
  std::sort(sorted_names.begin(), sorted_names.end());
  VELLUM_FUZZ_CHECK(names == sorted_names);
  VELLUM_FUZZ_CHECK(IsSorted(files.book_names, rules));
  VELLUM_FUZZ_CHECK(files.settings.left == settings.ReadInteger("Form1", "left", 100));
  VELLUM_FUZZ_CHECK(files.settings.top == settings.ReadInteger("Form1", "top", 100));
  VELLUM_FUZZ_CHECK(files.settings.width == settings.ReadInteger("Form1", "width", 600));
  VELLUM_FUZZ_CHECK(files.settings.height == settings.ReadInteger("Form1", "height", 400));
  VELLUM_FUZZ_CHECK(files.settings.always_on_top ==
                    settings.ReadBool("Misc", "AlwaysOnTop", false));

  // One message per file that could not be read, and one for a missing data folder.
  const std::size_t expected_messages =
      (eligible.empty() ? 1 : ((flags & 4) ? 1 : 0)) + ((flags & 8) ? 1 : 0);
  VELLUM_FUZZ_CHECK(files.messages.size() == expected_messages);
  VELLUM_FUZZ_CHECK(IndexButtonCaption(files.short_name) == "Index " + files.short_name);

  // Lookups in file order (the one start-up makes before sorting), then sorted.
  CheckLookups(files.book_files, codes, rules);
  CheckLookups(files.book_names, codes, rules);
  files.book_files.Sort();
  VELLUM_FUZZ_CHECK(IsSorted(files.book_files, rules));
  CheckLookups(files.book_files, codes, rules);

  // Page paths: the catalogue's value below the data folder, none for a
  // value that leads outside it.
  for (const std::string& line : files.book_files.Lines()) {
    const std::string value(ValueOfLine(line));
    VELLUM_FUZZ_CHECK(PagePath(fs, files, value) ==
                      (StaysInsideFolder(value) ? exe_folder + choice.data_folder + value : ""));
    CheckRealPath(value);
  }
  for (const std::string& code : codes) {
    CheckRealPath(code);
    if (!names.empty()) CheckOrder(rules, code, names.front());
  }
  return 0;
}
