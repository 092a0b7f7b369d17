#include "core/catalogue.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/core/fake_file_system.h"

namespace vellum {
namespace {

using testing::FakeFileSystem;

const AsciiTextRules kRules;

TEST(Folders, AddTrailingBackslashAppendsOnce) {
  EXPECT_EQ(AddTrailingBackslash("C:\\Prog"), "C:\\Prog\\");
  EXPECT_EQ(AddTrailingBackslash("C:\\Prog\\"), "C:\\Prog\\");
  EXPECT_EQ(AddTrailingBackslash(""), "\\");
  EXPECT_EQ(AddTrailingBackslash("/opt/vellum", '/'), "/opt/vellum/");
  EXPECT_EQ(AddTrailingBackslash("/opt/vellum/", '/'), "/opt/vellum/");
}

TEST(Folders, ExeFolderIsTheDirectoryPartWithOneSeparator) {
  const std::string long_folder = "C:\\" + std::string(300, 'd');
  struct Case {
    std::string exe;
    char sep;
    std::string folder;
  } cases[] = {
      {"C:\\Program Files\\Vellum\\Vellum.exe", '\\', "C:\\Program Files\\Vellum\\"},
      {"C:Vellum.exe", '\\', "C:\\"},  // up to and including the colon, then a separator
      {long_folder + "\\Vellum.exe", '\\', long_folder + "\\"},
      {"/opt/vellum/vellum", '/', "/opt/vellum/"},
      {"/" + std::string(300, 'd') + "/vellum", '/', "/" + std::string(300, 'd') + "/"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ExeFolderOf(c.exe, c.sep), c.folder) << c.exe;
}

TEST(Folders, DataFolderIsTheLastHtmFolderIgnoringCase) {
  struct Case {
    const char* what;
    std::vector<FolderEntry> folders;
    std::string data_folder;
    std::vector<std::string> combo;
  } cases[] = {
      {"two folders", {{"a.htm"}, {"B.htm"}}, "B.htm\\", {"a", "B"}},
      {"a third one", {{"c.htm"}, {"a.htm"}, {"B.htm"}}, "c.htm\\", {"a", "B", "c"}},
      {"hidden and system left out",
       {{"a.htm"}, {"z.htm", true, false}, {"y.htm", false, true}},
       "a.htm\\",
       {"a"}},
      {"suffix ignoring case, others ignored",
       {{"web.HTM"}, {"zeta.html"}, {"notes"}, {"htm"}},
       "web.HTM\\",
       {"web"}},
      {"none", {{"docs"}}, "", {}},
      {"bracket order: a shorter name sorts first",
       {{"ab.htm"}, {"a.htm"}},
       "ab.htm\\",
       {"a", "ab"}},
  };
  for (const Case& c : cases) {
    const DataFolderChoice choice = ChooseDataFolder(c.folders, '\\', kRules);
    EXPECT_EQ(choice.data_folder, c.data_folder) << c.what;
    EXPECT_EQ(choice.folder_names, c.combo) << c.what;
    EXPECT_EQ(choice.selected, c.combo.empty() ? -1 : 0) << c.what;
  }
}

TEST(BookList, LookupTakesTheFirstMatchIgnoringCase) {
  BookList list({"alp=alpha.htm", "bet", "ALP=other.htm", "=none", "gam=", "bet=beta.htm"}, kRules);
  struct Case {
    std::string_view code, value;
  } cases[] = {{"ALP", "alpha.htm"}, {"alp", "alpha.htm"}, {"bet", "beta.htm"}, {"gam", ""},
               {"", "none"},         {"XYZ", ""},          {"al", ""}};
  for (const Case& c : cases)
    EXPECT_EQ(list.Lookup(c.code), c.value) << c.code;
}

TEST(BookList, SortOrdersWholeLinesIgnoringCase) {
  BookList list({"gam=gamma.htm", "alp=beta.htm", "IDX=index.htm", "ALP=alpha.htm", "Bet=b.htm"},
                kRules);
  EXPECT_EQ(list.Lookup("alp"), "beta.htm");
  list.Sort();
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"ALP=alpha.htm", "alp=beta.htm", "Bet=b.htm",
                                                    "gam=gamma.htm", "IDX=index.htm"}));
  EXPECT_EQ(list.Lookup("alp"), "alpha.htm");
}

class StartupFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.subfolders = {{"web.htm"}};
    fs.files["C:\\Program\\web.htm\\index.ini"] =
        "[INFO]\r\nShortName = Std\r\n[Bookfiles]\r\n  idx = second.htm\r\nALP=alpha.htm\r\n"
        "IDX=first.htm\r\n";
    fs.files["C:\\Program\\books.ini"] = "[BKA]\r\nGAM=Gamma\r\nalp=Alphabet\r\n";
  }
  FakeFileSystem fs;
};

TEST_F(StartupFilesTest, ReadsCatalogueNamesAndSettings) {
  fs.files["C:\\Program\\Vellum.ini"] =
      "[Form1]\nleft=$40\ntop=-20\nwidth=abc\n[Misc]\nAlwaysOnTop=7\n";
  const StartupFiles files = ReadStartupFiles(fs, kRules);
  EXPECT_EQ(files.exe_folder, "C:\\Program\\");
  EXPECT_EQ(files.data.data_folder, "web.htm\\");
  EXPECT_EQ(files.short_name, "Std");
  EXPECT_EQ(IndexButtonCaption(files.short_name), "Index Std");
  EXPECT_EQ(files.book_names.Lines(), (std::vector<std::string>{"alp=Alphabet", "GAM=Gamma"}));
  EXPECT_EQ(files.book_names.Lookup("ALP"), "Alphabet");
  EXPECT_TRUE(files.messages.empty());
  EXPECT_FALSE(files.no_data_folder);

  const WindowSettings& s = files.settings;
  EXPECT_EQ(s.left, 64);
  EXPECT_EQ(s.top, -20);
  EXPECT_EQ(s.width, 600);
  EXPECT_EQ(s.height, 400);
  EXPECT_TRUE(s.always_on_top);
}

TEST_F(StartupFilesTest, TheFirstIndexLookupSeesBookFilesInFileOrder) {
  StartupFiles files = ReadStartupFiles(fs, kRules);
  EXPECT_EQ(PagePath(fs, files, files.book_files.Lookup("IDX")),
            "C:\\Program\\web.htm\\second.htm");
  files.book_files.Sort();
  EXPECT_EQ(files.book_files.Lookup("IDX"), "first.htm");  // "IDX=first" sorts before "idx=second"
}

TEST_F(StartupFilesTest, ACatalogueNameNeverLeadsOutsideTheDataFolder) {
  const StartupFiles files = ReadStartupFiles(fs, kRules);
  const struct {
    const char* name;
    bool inside;
  } cases[] = {
      {"alpha.htm", true},
      {"extra\\epsilon.htm", true},
      {"extra/epsilon.htm", true},
      {"a..b.htm", true},  // dots inside a name are a name
      {"", true},
      {"..\\..\\Windows\\win.ini", false},
      {"extra\\..\\..\\secret.htm", false},
      {"../secret.htm", false},
      {"..", false},
      {"\\\\server\\share\\x.htm", false},
      {"/etc/passwd", false},
      {"C:\\x.htm", false},
      {"C:x.htm", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StaysInsideFolder(c.name), c.inside) << c.name;
    EXPECT_EQ(PagePath(fs, files, c.name).empty(), !c.inside && *c.name != '\0') << c.name;
  }
}

TEST_F(StartupFilesTest, MissingFilesGiveEmptyListsAndDefaults) {
  fs.files.clear();
  const StartupFiles files = ReadStartupFiles(fs, kRules);
  EXPECT_TRUE(files.book_files.Lines().empty());
  EXPECT_TRUE(files.book_names.Lines().empty());
  EXPECT_EQ(IndexButtonCaption(files.short_name), "Index ");
  EXPECT_EQ(files.settings.left, 100);
  EXPECT_EQ(files.settings.top, 100);
  EXPECT_EQ(files.settings.width, 600);
  EXPECT_EQ(files.settings.height, 400);
  EXPECT_FALSE(files.settings.always_on_top);
  EXPECT_TRUE(files.messages.empty()) << "a missing file is not reported";
}

TEST_F(StartupFilesTest, UnreadableFilesAreReportedAndReadAsEmpty) {
  fs.unreadable["C:\\Program\\web.htm\\index.ini"] = "Access is denied";
  fs.unreadable["C:\\Program\\Vellum.ini"] = "The process cannot access the file";
  const StartupFiles files = ReadStartupFiles(fs, kRules);
  EXPECT_EQ(
      files.messages,
      (std::vector<std::string>{
          "Cannot open file \"C:\\Program\\web.htm\\index.ini\". Access is denied",
          "Cannot open file \"C:\\Program\\Vellum.ini\". The process cannot access the file"}));
  EXPECT_TRUE(files.book_files.Lines().empty());
  EXPECT_EQ(files.book_names.Lookup("gam"), "Gamma");  // the readable file still counts
  EXPECT_EQ(files.settings.width, 600);
}

TEST_F(StartupFilesTest, WithoutADataFolderTheCatalogueIsEmptyAndTheUserIsTold) {
  fs.subfolders = {{"docs"}, {"hidden.htm", true, false}};
  fs.files["C:\\Program\\index.ini"] = "[Bookfiles]\nIDX=stray.htm\n";
  const StartupFiles files = ReadStartupFiles(fs, kRules);
  EXPECT_TRUE(files.no_data_folder);
  EXPECT_EQ(files.data.data_folder, "");
  EXPECT_TRUE(files.book_files.Lines().empty()) << "no catalogue is read from the program folder";
  ASSERT_EQ(files.messages.size(), 1u);
  EXPECT_NE(files.messages[0].find("C:\\Program\\"), std::string::npos);
  EXPECT_EQ(files.book_names.Lookup("alp"), "Alphabet");
}

// The user's library folder comes first when it holds a data folder; the
// program folder's own is the fall-back, and the same "last .htm" rule picks
// within whichever folder is used.
TEST_F(StartupFilesTest, TheUsersLibraryFolderIsReadFirstWhenItHoldsADataFolder) {
  const std::string library = "C:\\Users\\me\\AppData\\Local\\Vellum\\";
  fs.files[library + "TDavid.htm\\index.ini"] = "[Bookfiles]\r\nPSA=psa.htm\r\nIDX=index.htm\r\n";
  fs.files[library + "Scofield.htm\\index.ini"] = "[Bookfiles]\r\nGEN=gen.htm\r\n";
  const struct {
    const char* what;
    std::string library_folder;
    std::vector<FolderEntry> library_subfolders;
    bool with_books_ini;
    std::string expected_page;   // of PSA
    std::string expected_names;  // where book names come from
    std::string name_of_alp;
  } cases[] = {
      {"two data folders: the last in order",
       library,
       {{"Scofield.htm"}, {"TDavid.htm"}},
       true,
       library + "TDavid.htm\\psa.htm",
       library + "books.ini",
       ""},
      {"names fall back to the program folder",
       library,
       {{"TDavid.htm"}},
       false,
       library + "TDavid.htm\\psa.htm",
       "C:\\Program\\books.ini",
       "Alphabet"},
      {"hidden and other folders only: the program folder",
       library,
       {{".import.htm", true, false}, {"notes"}},
       true,
       "",
       "C:\\Program\\books.ini",
       "Alphabet"},
      {"no library folder named by the system",
       "",
       {{"TDavid.htm"}},
       true,
       "",
       "C:\\Program\\books.ini",
       "Alphabet"},
  };
  for (const auto& c : cases) {
    fs.user_library_folder = c.library_folder;
    fs.library_subfolders = c.library_subfolders;
    if (c.with_books_ini) {
      fs.files[library + "books.ini"] = "[BKA]\r\nPSA=Ps\r\n";
    } else {
      fs.files.erase(library + "books.ini");
    }
    StartupFiles files = ReadStartupFiles(fs, kRules);
    files.book_files.Sort();
    const bool from_user = !c.expected_page.empty();
    EXPECT_EQ(files.from_user_library, from_user) << c.what;
    EXPECT_EQ(files.library_folder, from_user ? library : "C:\\Program\\") << c.what;
    EXPECT_EQ(files.data.data_folder, from_user ? "TDavid.htm\\" : "web.htm\\") << c.what;
    const std::string psa = files.book_files.Lookup("PSA");
    EXPECT_EQ(psa.empty() ? "" : PagePath(fs, files, psa), c.expected_page) << c.what;
    EXPECT_EQ(files.book_names_path, c.expected_names) << c.what;
    EXPECT_EQ(files.book_names.Lookup("ALP"), c.name_of_alp) << c.what;
    EXPECT_EQ(PageFolder(files), files.library_folder + files.data.data_folder) << c.what;
    EXPECT_TRUE(files.messages.empty()) << c.what;
  }
}

TEST_F(StartupFilesTest, WithoutADataFolderAnywhereBothPlacesAreNamed) {
  fs.subfolders = {};
  fs.user_library_folder = "C:\\Users\\me\\AppData\\Local\\Vellum\\";
  const StartupFiles files = ReadStartupFiles(fs, kRules);
  EXPECT_TRUE(files.no_data_folder);
  ASSERT_EQ(files.messages.size(), 1u);
  EXPECT_NE(files.messages[0].find("C:\\Program\\ or " + fs.user_library_folder), std::string::npos)
      << files.messages[0];
}

TEST(WriteSettings, WritesTheFiveKeysAndKeepsOtherLines) {
  FakeFileSystem fs;
  const std::string path = "C:\\Program\\Vellum.ini";
  fs.files[path] = "; my notes\r\n[Form1]\r\nleft=1\r\nextra=keep\r\n[Mine]\r\nx=1\r\n";
  const WindowSettings s{-30, 40, 640, 480, true};
  EXPECT_EQ(WriteSettings(fs, "C:\\Program\\", s, kRules), std::nullopt);
  EXPECT_EQ(fs.files[path],
            "; my notes\r\n[Form1]\r\nleft=-30\r\nextra=keep\r\ntop=40\r\nwidth=640\r\n"
            "height=480\r\n[Mine]\r\nx=1\r\n[Misc]\r\nAlwaysOnTop=1\r\n");
}

TEST(WriteSettings, CreatesAMissingFileThatReadsBack) {
  FakeFileSystem fs;
  EXPECT_EQ(WriteSettings(fs, "C:\\Program\\", WindowSettings{}, kRules), std::nullopt);
  EXPECT_EQ(fs.files["C:\\Program\\Vellum.ini"],
            "[Form1]\r\nleft=100\r\ntop=100\r\nwidth=600\r\nheight=400\r\n[Misc]\r\n"
            "AlwaysOnTop=0\r\n");
}

TEST(WriteSettings, FailuresAreReportedAndLeaveTheFileAlone) {
  FakeFileSystem fs;
  const std::string path = "C:\\Program\\Vellum.ini";
  fs.files[path] = "[Form1]\r\nleft=1\r\n";
  fs.fail_writes = true;
  EXPECT_EQ(WriteSettings(fs, "C:\\Program\\", WindowSettings{}, kRules),
            "Unable to write to C:\\Program\\Vellum.ini");
  EXPECT_EQ(fs.files[path], "[Form1]\r\nleft=1\r\n");

  // A file that cannot be read is not replaced by one that lost its lines.
  fs.fail_writes = false;
  fs.writes = 0;
  fs.unreadable[path] = "Access is denied";
  EXPECT_EQ(WriteSettings(fs, "C:\\Program\\", WindowSettings{}, kRules),
            "Unable to write to C:\\Program\\Vellum.ini");
  EXPECT_EQ(fs.writes, 0);
}

// Where the settings of a close land, for each state of the program folder
// and the user's own settings folder; then where the next start reads them.
TEST(SettingsPlace, ACloseWritesWhereTheFoldersAllowAndTheNextStartReadsIt) {
  const std::string program_file = "C:\\Program\\Vellum.ini";
  const std::string roaming = "C:\\Users\\me\\AppData\\Roaming\\";
  const std::string user_folder = roaming + "Vellum\\";
  const std::string user_file = user_folder + "Vellum.ini";
  const std::string program_content = "; admin\r\n[Form1]\r\nleft=1\r\n[Mine]\r\nx=1\r\n";
  const std::string user_content = "[Form1]\r\nleft=2\r\n";
  const std::string keys = "left=-30\r\ntop=40\r\nwidth=640\r\nheight=480\r\n";
  const std::string over_program =
      "; admin\r\n[Form1]\r\n" + keys + "[Mine]\r\nx=1\r\n[Misc]\r\nAlwaysOnTop=1\r\n";
  const std::string over_user = "[Form1]\r\n" + keys + "[Misc]\r\nAlwaysOnTop=1\r\n";
  const WindowSettings closing{-30, 40, 640, 480, true};

  enum class Folder { kWritable, kReadOnly };
  enum class File { kNone, kPresent, kReadOnly };
  enum class User { kUnknown, kNoFile, kFile, kReadOnlyFile, kNothingWritable };
  struct Case {
    const char* what;
    Folder program_folder;
    File program;
    User user;
    std::string written;  // the file that gets the keys, "" when none
    std::string content;  // what it then holds
    std::string refused;  // the file the "Unable to write" message names, "" when none
  } cases[] = {
      {"writable program folder", Folder::kWritable, File::kPresent, User::kNoFile, program_file,
       over_program, ""},
      {"writable program folder, no file yet", Folder::kWritable, File::kNone, User::kNoFile,
       program_file, over_user, ""},
      {"read-only program folder: the user's file starts from the program's", Folder::kReadOnly,
       File::kPresent, User::kNoFile, user_file, over_program, ""},
      {"read-only program folder without a file", Folder::kReadOnly, File::kNone, User::kNoFile,
       user_file, over_user, ""},
      {"the user's file, once there, wins over a writable program folder", Folder::kWritable,
       File::kPresent, User::kFile, user_file, over_user, ""},
      {"the user's file in a read-only program folder", Folder::kReadOnly, File::kPresent,
       User::kFile, user_file, over_user, ""},
      {"a read-only file in a writable program folder is not replaced", Folder::kWritable,
       File::kReadOnly, User::kNoFile, user_file, over_program, ""},
      {"no user folder known, writable program folder", Folder::kWritable, File::kPresent,
       User::kUnknown, program_file, over_program, ""},
      {"nothing writable anywhere", Folder::kReadOnly, File::kPresent, User::kNothingWritable, "",
       "", user_file},
      {"no user folder known and a read-only program folder", Folder::kReadOnly, File::kPresent,
       User::kUnknown, "", "", program_file},
      {"the user's own file is read-only", Folder::kWritable, File::kPresent, User::kReadOnlyFile,
       "", "", user_file},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeFileSystem fs;
    if (c.program_folder == Folder::kReadOnly) fs.read_only_folders.insert("C:\\Program\\");
    if (c.program != File::kNone) fs.files[program_file] = program_content;
    if (c.program == File::kReadOnly) fs.read_only_files.insert(program_file);
    const bool user_file_exists = c.user == User::kFile || c.user == User::kReadOnlyFile;
    if (user_file_exists) {
      fs.folders.insert(user_folder);
      fs.files[user_file] = user_content;
    }
    if (c.user == User::kReadOnlyFile) fs.read_only_files.insert(user_file);
    if (c.user == User::kNothingWritable) fs.read_only_folders.insert(roaming);
    if (c.user == User::kUnknown) fs.user_settings_folder.clear();
    const std::map<std::string, std::string> before = fs.files;
    const bool had_user_folder = fs.folders.count(user_folder) != 0;

    const std::optional<std::string> message = WriteSettings(fs, "C:\\Program\\", closing, kRules);

    std::map<std::string, std::string> expected = before;
    if (c.written.empty()) {
      EXPECT_EQ(message, "Unable to write to " + c.refused);
    } else {
      EXPECT_EQ(message, std::nullopt);
      expected[c.written] = c.content;
    }
    EXPECT_EQ(fs.files, expected);
    EXPECT_EQ(fs.folders.count(user_folder) != 0, had_user_folder || c.written == user_file)
        << "the user's folder is made only when its file is written";

    const WindowSettings read = ReadStartupFiles(fs, kRules).settings;
    const std::int32_t left_before = user_file_exists ? 2 : (c.program != File::kNone ? 1 : 100);
    EXPECT_EQ(read.left, c.written.empty() ? left_before : closing.left);
    EXPECT_EQ(read.always_on_top, !c.written.empty());
  }
}

TEST(SettingsPlace, StartUpReadsTheUsersFileOnceItExists) {
  const std::string program_file = "C:\\Program\\Vellum.ini";
  const std::string user_file = "C:\\Users\\me\\AppData\\Roaming\\Vellum\\Vellum.ini";
  struct Case {
    bool program_file_exists;
    bool user_file_exists;
    bool user_folder_known;
    std::string read;
  } cases[] = {
      {false, false, true, program_file},  // missing: the defaults
      {true, false, true, program_file},  {false, true, true, user_file},
      {true, true, true, user_file},      {true, false, false, program_file},
  };
  for (const Case& c : cases) {
    FakeFileSystem fs;
    if (c.program_file_exists) fs.files[program_file] = "";
    if (c.user_file_exists) fs.files[user_file] = "";
    if (!c.user_folder_known) fs.user_settings_folder.clear();
    EXPECT_EQ(SettingsReadPath(fs, "C:\\Program\\"), c.read)
        << c.program_file_exists << c.user_file_exists << c.user_folder_known;
  }
}

TEST(SettingsPlace, AnUnreadableProgramFileIsNotCarriedIntoTheUsersNewFile) {
  FakeFileSystem fs;
  fs.read_only_folders.insert("C:\\Program\\");
  fs.unreadable["C:\\Program\\Vellum.ini"] = "Access is denied";
  EXPECT_EQ(WriteSettings(fs, "C:\\Program\\", WindowSettings{}, kRules), std::nullopt);
  EXPECT_EQ(fs.files["C:\\Users\\me\\AppData\\Roaming\\Vellum\\Vellum.ini"],
            "[Form1]\r\nleft=100\r\ntop=100\r\nwidth=600\r\nheight=400\r\n[Misc]\r\n"
            "AlwaysOnTop=0\r\n");
}

}  // namespace
}  // namespace vellum
