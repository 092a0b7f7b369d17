#include "core/catalogue.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vellum
