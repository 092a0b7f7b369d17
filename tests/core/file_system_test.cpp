// The running system's file services, on real folders in a temporary place.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <thread>

#include "core/catalogue.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace vellum {
namespace {

namespace fs = std::filesystem;

// The system's file services with the user's settings folder moved to a
// place the test chooses, so that no test reads or writes the real one.
class WithUserFolder final : public FileSystem {
 public:
  WithUserFolder(const FileSystem& system, std::string user_folder)
      : system_(system), user_folder_(std::move(user_folder)) {}
  char Separator() const override { return system_.Separator(); }
  std::string_view NativeLineEnding() const override { return system_.NativeLineEnding(); }
  std::string ExecutablePath() const override { return system_.ExecutablePath(); }
  std::vector<FolderEntry> ListSubfolders(const std::string& folder) const override {
    return system_.ListSubfolders(folder);
  }
  bool IsFile(const std::string& path) const override { return system_.IsFile(path); }
  ReadResult ReadWholeFile(const std::string& path) const override {
    return system_.ReadWholeFile(path);
  }
  WriteResult ReplaceContent(const std::string& path, std::string_view content) const override {
    return system_.ReplaceContent(path, content);
  }
  bool CanReplace(const std::string& path) const override { return system_.CanReplace(path); }
  std::string UserSettingsFolder() const override { return user_folder_; }
  std::string UserLibraryFolder() const override { return {}; }
  bool CreateFolders(const std::string& folder) const override {
    return system_.CreateFolders(folder);
  }
  bool RemoveFolder(const std::string& folder) const override {
    return system_.RemoveFolder(folder);
  }
  std::string ResolvePath(const std::string& folder, std::string_view relative) const override {
    return system_.ResolvePath(folder, relative);
  }

 private:
  const FileSystem& system_;
  std::string user_folder_;
};

class SystemFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    root_ = fs::temp_directory_path() / ("vellum-test-" + std::to_string(random()));
    fs::create_directories(root_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  std::string Folder() const { return AddTrailingBackslash(root_.string(), system_.Separator()); }
  // A folder below the test's own, by its relative path with "/" between names.
  std::string Sub(std::string_view relative) const {
    std::string path = Folder() + std::string(relative);
    for (char& c : path) {
      if (c == '/') c = system_.Separator();
    }
    return path;
  }
  std::size_t EntryCount() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(root_), fs::directory_iterator{}));
  }
  void Write(const fs::path& relative, std::string_view content) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative, std::ios::binary) << content;
  }
  std::string Read(const fs::path& relative) {
    std::ifstream in(root_ / relative, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  void MakeHidden(const std::string& name) {
#ifdef _WIN32
    SetFileAttributesA((Folder() + name).c_str(), FILE_ATTRIBUTE_HIDDEN);
#else
    (void)name;
#endif
  }

  fs::path root_;
  SystemFileSystem system_;
  LocaleTextRules rules_;
};

TEST_F(SystemFileSystemTest, ListsFoldersWithTheirHiddenState) {
  fs::create_directories(root_ / "a.htm");
  fs::create_directories(root_ / "B.htm");
  fs::create_directories(root_ / ".z.htm");
  fs::create_directories(root_ / "0.htm");
  MakeHidden(".z.htm");
  MakeHidden("0.htm");
  Write("d.htm", "a plain file is not a folder");

  const DataFolderChoice choice =
      ChooseDataFolder(system_.ListSubfolders(Folder()), system_.Separator(), rules_);
#ifdef _WIN32
  EXPECT_EQ(choice.folder_names, (std::vector<std::string>{"a", "B"}));
#else
  EXPECT_EQ(choice.folder_names, (std::vector<std::string>{"0", "a", "B"}));
#endif
  EXPECT_EQ(choice.data_folder, std::string("B.htm") + system_.Separator());

  fs::create_directories(root_ / "c.htm");
  EXPECT_EQ(
      ChooseDataFolder(system_.ListSubfolders(Folder()), system_.Separator(), rules_).data_folder,
      std::string("c.htm") + system_.Separator());
}

TEST_F(SystemFileSystemTest, RemovesAFolderWithAllItHoldsAndNothingBeside) {
  Write("Lib.htm/index.ini", "[Bookfiles]\n");
  Write("Lib.htm/deep/er/page.htm", "<html>");
  Write("Other.htm/index.ini", "[Bookfiles]\n");
  EXPECT_TRUE(system_.RemoveFolder(Sub("Lib.htm/")));
  EXPECT_FALSE(fs::exists(root_ / "Lib.htm"));
  EXPECT_EQ(EntryCount(), 1u) << "nothing left aside, the other library kept";
  EXPECT_EQ(Read("Other.htm/index.ini"), "[Bookfiles]\n");
  EXPECT_TRUE(system_.RemoveFolder(Sub("Missing.htm"))) << "gone already";
}

TEST_F(SystemFileSystemTest, ReadsFilesAndTellsMissingFromUnreadable) {
  Write("books.ini", "[BKA]\r\nALP=Alphabet\r\n");
  fs::create_directories(root_ / "folder.ini");

  const ReadResult ok = system_.ReadWholeFile(Folder() + "books.ini");
  EXPECT_EQ(ok.status, ReadResult::Status::kOk);
  EXPECT_EQ(ok.content, "[BKA]\r\nALP=Alphabet\r\n");

  EXPECT_EQ(system_.ReadWholeFile(Folder() + "none.ini").status, ReadResult::Status::kMissing);
  EXPECT_EQ(system_.ReadWholeFile(Folder() + "nofolder/none.ini").status,
            ReadResult::Status::kMissing);

  const ReadResult unreadable = system_.ReadWholeFile(Folder() + "folder.ini");
  EXPECT_EQ(unreadable.status, ReadResult::Status::kUnreadable);
  EXPECT_FALSE(unreadable.error_text.empty());
  EXPECT_NE(unreadable.error_text.back(), '.');

  EXPECT_TRUE(system_.IsFile(Folder() + "books.ini"));
  EXPECT_FALSE(system_.IsFile(Folder() + "folder.ini"));
  EXPECT_FALSE(system_.IsFile(Folder() + "none.ini"));
}

TEST_F(SystemFileSystemTest, ReplaceContentSwapsTheFileWithoutLeftovers) {
  Write("Vellum.ini", "old\r\n");
  EXPECT_TRUE(system_.ReplaceContent(Folder() + "Vellum.ini", "new content\r\n").ok);
  EXPECT_EQ(Read("Vellum.ini"), "new content\r\n");
  EXPECT_TRUE(system_.ReplaceContent(Folder() + "fresh.ini", "").ok);
  EXPECT_TRUE(fs::exists(root_ / "fresh.ini"));
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator{}), 2);

  const WriteResult failed = system_.ReplaceContent(Folder() + "missing-folder/Vellum.ini", "x");
  EXPECT_FALSE(failed.ok);
  EXPECT_FALSE(failed.error_text.empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator{}), 2);
}

#ifndef _WIN32
TEST_F(SystemFileSystemTest, AFifoInTheSettingsPlaceDoesNotHoldUpTheStart) {
  // Nobody writes into it: opened as a file, it would wait for ever.
  ASSERT_EQ(::mkfifo((Folder() + "Vellum.ini").c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  const ReadResult read = system_.ReadWholeFile(Folder() + "Vellum.ini");
  EXPECT_EQ(read.status, ReadResult::Status::kUnreadable);
  EXPECT_FALSE(read.error_text.empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(system_.CanReplace(Folder() + "Vellum.ini")) << "nor is it replaced";
}

// The umask belongs to the whole process: a write never changes it, not even
// for a moment, while other threads may be making files. A new file still
// gets the mode the umask gives it.
TEST_F(SystemFileSystemTest, WritesLeaveTheProcessUmaskAlone) {
  const mode_t before = ::umask(027);
  std::atomic<bool> done{false};
  std::atomic<int> reads{0};
  std::atomic<int> changed{0};
  std::thread watcher([&] {
    while (!done) {
      std::ifstream status("/proc/self/status");
      for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) != 0) continue;
        ++reads;
        if (std::stoi(line.substr(6), nullptr, 8) != 027) ++changed;
      }
    }
  });
  for (int i = 0; i < 300; ++i)
    EXPECT_TRUE(system_.ReplaceContent(Folder() + "new" + std::to_string(i) + ".ini", "x").ok);
  done = true;
  watcher.join();
  ::umask(before);
  EXPECT_GT(reads.load(), 0) << "the system shows no umask";
  EXPECT_EQ(changed.load(), 0);
  struct stat st {};
  ASSERT_EQ(::stat((Folder() + "new0.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}
#endif

TEST_F(SystemFileSystemTest, ANextWriteRemovesOnlyTheRemainsOfKilledWrites) {
  struct File {
    const char* name;
    bool hour_old;
    bool removed;
  } files[] = {
      {".Vellum.ini.vellum-new-a1B2c3", true, true},    // a killed write's
      {".Vellum.ini.vellum-new-Zz9Yy8", false, false},  // another copy's write under way
      {"Vellum.ini.backup", true, false},               // the user's own, six letters too
      {"Vellum.ini.before", true, false},
      {"Vellum.ini.a1B2c3", true, false},
      {"books.ini.backup", true, false},
      {".Other.ini.vellum-new-q1w2e3", true, false},  // another file's
      {".Vellum.ini.vellum-new-a1B2c", true, false},  // not one of our names
      {".Vellum.ini.vellum-new-a1B2c3.x", true, false},
      {"vel1A2B.tmp", true, false},
  };
  Write("Vellum.ini", "old\r\n");
  const auto hour_ago = fs::file_time_type::clock::now() - std::chrono::hours(1);
  for (const File& f : files) {
    Write(f.name, "content");
    if (f.hour_old) fs::last_write_time(root_ / f.name, hour_ago);
  }
  ASSERT_TRUE(system_.ReplaceContent(Folder() + "Vellum.ini", "new\r\n").ok);
  for (const File& f : files)
    EXPECT_EQ(fs::exists(root_ / f.name), !f.removed) << f.name;
  EXPECT_EQ(Read("Vellum.ini"), "new\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator{}),
            static_cast<std::ptrdiff_t>(std::size(files)))
      << "the write's own temporary file is gone too";
}

TEST_F(SystemFileSystemTest, SettingsRoundTripThroughTheFile) {
  Write("Vellum.ini", "[Form1]\r\nleft=5\r\n[Keep]\r\nthis=line\r\n");
  const WithUserFolder files(system_, Sub("user/"));
  const WindowSettings saved{-40, 30, 700, 500, true};
  EXPECT_EQ(WriteSettings(files, Folder(), saved, rules_), std::nullopt);
  EXPECT_EQ(Read("Vellum.ini"),
            "[Form1]\r\nleft=-40\r\ntop=30\r\nwidth=700\r\nheight=500\r\n[Keep]\r\nthis=line\r\n"
            "[Misc]\r\nAlwaysOnTop=1\r\n");
  EXPECT_FALSE(fs::exists(root_ / "user")) << "a writable program folder keeps its settings";
}

// A program folder that takes no file (here one that is gone) sends the
// settings to the user's own folder, made on the way, and the next start
// reads them from there; with no such folder the message names the file.
TEST_F(SystemFileSystemTest, SettingsMoveToTheUsersFolderWhenTheProgramFolderTakesNoFile) {
  const std::string gone = Sub("gone/");
  const std::string user = Sub("config/deeper/vellum/");
  const WithUserFolder files(system_, user);
  const WindowSettings saved{7, 8, 900, 700, false};
  EXPECT_EQ(WriteSettings(files, gone, saved, rules_), std::nullopt);
  std::string expected;
  for (std::string_view line :
       {"[Form1]", "left=7", "top=8", "width=900", "height=700", "[Misc]", "AlwaysOnTop=0"}) {
    expected += std::string(line) + std::string(system_.NativeLineEnding());
  }
  EXPECT_EQ(Read("config/deeper/vellum/Vellum.ini"), expected);
  EXPECT_FALSE(fs::exists(root_ / "gone"));
  EXPECT_EQ(SettingsReadPath(files, gone), user + "Vellum.ini");

  const WithUserFolder nowhere(system_, "");
  EXPECT_EQ(WriteSettings(nowhere, gone, WindowSettings{}, rules_),
            "Unable to write to " + gone + "Vellum.ini");
}

TEST_F(SystemFileSystemTest, CanReplaceOnlyWhereAFileCanReallyBeMade) {
  Write("plain.ini", "x");
  Write("locked.ini", "x");
  fs::create_directories(root_ / "folder.ini");
#ifdef _WIN32
  ASSERT_TRUE(SetFileAttributesW((root_ / "locked.ini").c_str(), FILE_ATTRIBUTE_READONLY));
#else
  // No write permission for anyone: left alone even by root, whom the system
  // would let write it.
  fs::permissions(root_ / "locked.ini", fs::perms::owner_read | fs::perms::group_read);
#endif
  const std::size_t entries = EntryCount();
  struct Case {
    std::string path;
    bool replaceable;
  } cases[] = {
      {Sub("new.ini"), true},      {Sub("plain.ini"), true},        {Sub("locked.ini"), false},
      {Sub("folder.ini"), false},  {Sub("gone/Vellum.ini"), false},
#ifndef _WIN32
      {"/proc/Vellum.ini", false},  // a folder that takes no file, even from root
#endif
  };
  for (const Case& c : cases)
    EXPECT_EQ(system_.CanReplace(c.path), c.replaceable) << c.path;
  EXPECT_EQ(EntryCount(), entries) << "no probe file is left behind";
  EXPECT_EQ(Read("locked.ini"), "x");
#ifdef _WIN32
  ASSERT_TRUE(SetFileAttributesW((root_ / "locked.ini").c_str(), FILE_ATTRIBUTE_NORMAL));
#endif
}

TEST_F(SystemFileSystemTest, CreateFoldersMakesEveryMissingLevel) {
  Write("file", "x");
  struct Case {
    std::string folder;
    bool made;
  } cases[] = {
      {Sub("a/b/c/"), true},   {Sub("a/b/c/"), true},  // already there
      {Sub("a/d"), true},                              // without a trailing separator
      {Sub("file/e/"), false}, {Sub("file/"), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(system_.CreateFolders(c.folder), c.made) << c.folder;
    EXPECT_EQ(fs::is_directory(fs::path(c.folder)), c.made) << c.folder;
  }
#ifndef _WIN32
  // The folders hold one user's settings.
  EXPECT_EQ(fs::status(root_ / "a" / "b").permissions(), fs::perms::owner_all);
#endif
}

TEST_F(SystemFileSystemTest, ExecutablePathNamesThisProgram) {
  const std::string exe = system_.ExecutablePath();
  EXPECT_NE(exe.find("vellum_core_tests"), std::string::npos) << exe;
  EXPECT_TRUE(system_.IsFile(exe));
}

TEST_F(SystemFileSystemTest, CatalogueNamesResolveAsWindowsWouldFindThem) {
  Write("web.htm/Alpha.HTM", "alpha");
  Write("about/about.htm", "about");
  const std::string data = Folder() + "web.htm" + system_.Separator();
  struct Case {
    std::string_view written;
    bool found;
  } cases[] = {{"Alpha.HTM", true},
               {"alpha.htm", true},
               {"ALPHA.htm", true},
               {"beta.htm", false},
               {"alpha.html", false}};
  for (const Case& c : cases) {
    EXPECT_EQ(system_.IsFile(system_.ResolvePath(data, c.written)), c.found) << c.written;
  }
  EXPECT_TRUE(system_.IsFile(system_.ResolvePath(Folder(), "about\\about.htm")));
  EXPECT_TRUE(system_.IsFile(system_.ResolvePath(Folder(), "ABOUT\\About.htm")));
  EXPECT_TRUE(system_.IsFile(system_.ResolvePath(Folder(), "Web.htm\\alpha.htm")));
}

#ifdef _WIN32

std::string Utf8(std::u8string_view text) {
  return std::string(text.begin(), text.end());
}

struct Closer {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, Closer>;

// A file opened with no sharing at all, as a scanner may hold one.
Handle HoldExclusively(const fs::path& path) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// Greek, Cyrillic and Chinese: no ANSI code page spells them all, so every
// call on the way must be a wide one.
TEST_F(SystemFileSystemTest, AProgramFolderNamedOutsideTheAnsiCodePage) {
  const std::u8string name = u8"Ελληνικά Кириллица 漢字";
  const fs::path native = root_ / fs::path(name);
  const std::string folder = Folder() + Utf8(name) + "\\";
  ASSERT_TRUE(system_.CreateFolders(folder));
  ASSERT_TRUE(fs::is_directory(native));

  const std::vector<FolderEntry> listed = system_.ListSubfolders(Folder());
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].name, Utf8(name));

  const WithUserFolder files(system_, Folder() + "user\\");
  EXPECT_TRUE(system_.CanReplace(folder + "Vellum.ini"));
  EXPECT_EQ(WriteSettings(files, folder, WindowSettings{1, 2, 300, 400, true}, rules_),
            std::nullopt);
  EXPECT_EQ(WriteSettings(files, folder, WindowSettings{5, 6, 700, 800, false}, rules_),
            std::nullopt);
  EXPECT_FALSE(fs::exists(root_ / "user"));
  std::ifstream written(native / "Vellum.ini", std::ios::binary);
  const std::string content{std::istreambuf_iterator<char>(written), {}};
  EXPECT_EQ(content,
            "[Form1]\r\nleft=5\r\ntop=6\r\nwidth=700\r\nheight=800\r\n[Misc]\r\nAlwaysOnTop=0\r\n");
  EXPECT_TRUE(system_.IsFile(folder + "Vellum.ini"));
  EXPECT_EQ(SettingsReadPath(files, folder), folder + "Vellum.ini");
  const ReadResult read = system_.ReadWholeFile(folder + "Vellum.ini");
  EXPECT_EQ(read.status, ReadResult::Status::kOk);
  EXPECT_EQ(read.content, content);

  fs::create_directories(native / "folder.ini");
  const ReadResult unreadable = system_.ReadWholeFile(folder + "folder.ini");
  EXPECT_EQ(unreadable.status, ReadResult::Status::kUnreadable);
  EXPECT_FALSE(unreadable.error_text.empty());
}

// A catalogue name is ANSI text, joined to a UTF-8 folder.
TEST_F(SystemFileSystemTest, CatalogueNamesAreReadInTheAnsiCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "needs the Windows-1252 code page, not " << GetACP();
  const std::u8string folder_name = u8"Псалтирь.htm";
  fs::create_directories(root_ / fs::path(folder_name));
  std::ofstream(root_ / fs::path(folder_name) / fs::path(u8"café.htm")) << "page";
  const std::string folder = Folder() + Utf8(folder_name) + "\\";
  const std::string resolved = system_.ResolvePath(folder, "caf\xE9.htm");
  EXPECT_EQ(resolved, folder + Utf8(u8"café.htm"));
  EXPECT_TRUE(system_.IsFile(resolved));
}

TEST_F(SystemFileSystemTest, AReplacementWaitsForAFileHeldOpenForAMoment) {
  Write("Vellum.ini", "old");
  Handle held = HoldExclusively(root_ / "Vellum.ini");
  ASSERT_TRUE(held);
  std::thread release([&held] {
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    held.reset();
  });
  const WriteResult result = system_.ReplaceContent(Folder() + "Vellum.ini", "new");
  release.join();
  EXPECT_TRUE(result.ok) << result.error_text;
  EXPECT_EQ(Read("Vellum.ini"), "new");
  EXPECT_EQ(EntryCount(), 1u);

  // Held for longer than the tries last: the write fails and leaves no trace.
  held = HoldExclusively(root_ / "Vellum.ini");
  ASSERT_TRUE(held);
  const WriteResult failed = system_.ReplaceContent(Folder() + "Vellum.ini", "newer");
  held.reset();
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(Read("Vellum.ini"), "new");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST(UserSettingsFolder, IsVellumInTheRoamingApplicationData) {
  const std::string folder = SystemFileSystem().UserSettingsFolder();
  ASSERT_GT(folder.size(), std::string_view("C:\\Vellum\\").size());
  EXPECT_EQ(folder.substr(folder.size() - 8), "\\Vellum\\");
  const std::string parent = folder.substr(0, folder.size() - 7);
  EXPECT_TRUE(fs::is_directory(fs::path(std::u8string(parent.begin(), parent.end())))) << parent;
}

TEST(UserLibraryFolder, IsVellumInTheLocalApplicationData) {
  const std::string library = SystemFileSystem().UserLibraryFolder();
  const std::string settings = SystemFileSystem().UserSettingsFolder();
  ASSERT_GT(library.size(), std::string_view("C:\\Vellum\\").size());
  EXPECT_EQ(library.substr(library.size() - 8), "\\Vellum\\");
  EXPECT_NE(library, settings) << "libraries stay on this machine, settings roam";
  const std::string parent = library.substr(0, library.size() - 7);
  EXPECT_TRUE(fs::is_directory(fs::path(std::u8string(parent.begin(), parent.end())))) << parent;
}

#else

// Sets or removes an environment variable for one scope.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;
  ~ScopedVariable() { Set(old_ ? old_->c_str() : nullptr); }

 private:
  void Set(const char* value) {
    const int rc = value != nullptr ? ::setenv(name_, value, 1) : ::unsetenv(name_);
    EXPECT_EQ(rc, 0) << name_;
  }
  const char* name_;
  std::optional<std::string> old_;
};

std::string RecordedHome() {
  const passwd* entry = ::getpwuid(::geteuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

TEST(UserSettingsFolder, FollowsTheXdgBaseDirectoryRules) {
  ASSERT_FALSE(RecordedHome().empty());
  struct Case {
    const char* config_home;
    const char* home;
    std::string folder;
  } cases[] = {
      {"/xdg/config", "/home/me", "/xdg/config/vellum/"},
      {"/xdg/config/", "/home/me", "/xdg/config/vellum/"},
      {nullptr, "/home/me", "/home/me/.config/vellum/"},
      {"", "/home/me", "/home/me/.config/vellum/"},
      {"relative/config", "/home/me", "/home/me/.config/vellum/"},  // not absolute: ignored
      {"~/config", "/home/me/", "/home/me/.config/vellum/"},
      // Without a usable HOME: the home folder the system has on record.
      {nullptr, nullptr, RecordedHome() + "/.config/vellum/"},
      {nullptr, "relative/home", RecordedHome() + "/.config/vellum/"},
  };
  for (const Case& c : cases) {
    const ScopedVariable config("XDG_CONFIG_HOME", c.config_home);
    const ScopedVariable home("HOME", c.home);
    EXPECT_EQ(SystemFileSystem().UserSettingsFolder(), c.folder)
        << (c.config_home ? c.config_home : "(unset)") << " " << c.home;
  }
}

TEST(UserLibraryFolder, FollowsTheXdgBaseDirectoryRules) {
  ASSERT_FALSE(RecordedHome().empty());
  struct Case {
    const char* data_home;
    const char* home;
    std::string folder;
  } cases[] = {
      {"/xdg/data", "/home/me", "/xdg/data/vellum/"},
      {nullptr, "/home/me", "/home/me/.local/share/vellum/"},
      {"", "/home/me/", "/home/me/.local/share/vellum/"},
      {"relative/data", "/home/me", "/home/me/.local/share/vellum/"},
      {nullptr, nullptr, RecordedHome() + "/.local/share/vellum/"},
  };
  for (const Case& c : cases) {
    const ScopedVariable data("XDG_DATA_HOME", c.data_home);
    const ScopedVariable config("XDG_CONFIG_HOME", "/xdg/config");
    const ScopedVariable home("HOME", c.home);
    EXPECT_EQ(SystemFileSystem().UserLibraryFolder(), c.folder)
        << (c.data_home ? c.data_home : "(unset)") << " " << c.home;
    EXPECT_EQ(SystemFileSystem().UserSettingsFolder(), "/xdg/config/vellum/");
  }
}

#endif

TEST(LocaleTextRules, IgnoreCase) {
  const LocaleTextRules rules;
  EXPECT_EQ(rules.CompareIgnoringCase("alp", "ALP"), 0);
  EXPECT_EQ(rules.Upper("alp"), "ALP");
  EXPECT_LT(rules.CompareIgnoringCase("[a.htm]", "[B.htm]"), 0);
  EXPECT_GT(rules.CompareIgnoringCase("[c.htm]", "[B.htm]"), 0);
  EXPECT_LT(rules.CompareIgnoringCase("ALP=alpha.htm", "alp=beta.htm"), 0);
}

}  // namespace
}  // namespace vellum
