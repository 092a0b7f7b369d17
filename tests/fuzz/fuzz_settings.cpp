// Writing the settings at close, over arbitrary existing Vellum.ini bytes and
// arbitrary window values, in every state the two settings homes can be in
// (the program folder writable or not, the user's own file there or not,
// read-only, unreadable, failing writes). After a write that reports success
// the next start reads back exactly the values written, and every other line
// of the file it started from is still there byte for byte; after a write
// that reports failure no file has changed.
#include <algorithm>
#include <map>
#include <string>

#include "core/catalogue.h"
#include "core/ini_file.h"
#include "tests/core/fake_file_system.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/kept_lines.h"
#include "tests/fuzz/text_rules.h"

namespace {

using vellum::fuzz::Trim;

using namespace vellum;

constexpr std::string_view kExeFolder = "C:\\Program\\";
const std::string kBeside = "C:\\Program\\Vellum.ini";
const std::string kUserFolder = "C:\\Users\\me\\AppData\\Roaming\\Vellum\\";
const std::string kUser = kUserFolder + "Vellum.ini";

enum Flag : std::uint16_t {
  kRulesOfSystem = 1 << 0,
  kProgramFolderReadOnly = 1 << 1,
  kBesideExists = 1 << 2,
  kBesideReadOnly = 1 << 3,
  kBesideUnreadable = 1 << 4,
  kUserFolderExists = 1 << 5,
  kUserExists = 1 << 6,
  kUserReadOnly = 1 << 7,
  kUserUnreadable = 1 << 8,
  kNoUserFolder = 1 << 9,
  kWritesFail = 1 << 10,
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vellum::fuzz::UseFixedLocale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vellum::fuzz::ByteReader input(data, size);
  const std::uint16_t flags = input.U16();
  const TextRules& rules = vellum::fuzz::PickRules(flags & kRulesOfSystem);
  WindowSettings values;
  values.left = input.I32();
  values.top = input.I32();
  values.width = input.I32();
  values.height = input.I32();
  values.always_on_top = input.Byte() & 1;
  const std::string user_content = input.LongText();
  const std::string beside_content = input.Rest();

  testing::FakeFileSystem fs;
  fs.exe_path = "C:\\Program\\Vellum.exe";
  if (flags & kProgramFolderReadOnly) fs.read_only_folders.insert("C:\\Program\\");
  if (flags & kBesideExists) fs.files[kBeside] = beside_content;
  if (flags & kBesideReadOnly) fs.read_only_files.insert(kBeside);
  if (flags & kBesideUnreadable) fs.unreadable[kBeside] = "Access is denied";
  if (flags & (kUserFolderExists | kUserExists | kUserUnreadable)) fs.folders.insert(kUserFolder);
  if (flags & kUserExists) fs.files[kUser] = user_content;
  if (flags & kUserReadOnly) fs.read_only_files.insert(kUser);
  if (flags & kUserUnreadable) fs.unreadable[kUser] = "Access is denied";
  if (flags & kNoUserFolder) fs.user_settings_folder.clear();
  fs.fail_writes = (flags & kWritesFail) != 0;

  const std::map<std::string, std::string> before = fs.files;
  const std::optional<std::string> error = WriteSettings(fs, kExeFolder, values, rules);

  // Whether a write can succeed at all follows from the two homes' state.
  const bool user_file = !(flags & kNoUserFolder) && (flags & (kUserExists | kUserUnreadable));
  const bool user_writable = !(flags & (kUserReadOnly | kUserUnreadable));
  const bool beside_writable =
      !(flags & (kProgramFolderReadOnly | kBesideReadOnly | kBesideUnreadable));
  if (fs.fail_writes) VELLUM_FUZZ_CHECK(error.has_value());
  if (!fs.fail_writes && (user_file ? user_writable : beside_writable)) {
    VELLUM_FUZZ_CHECK(!error.has_value());
  }
  if (!user_file && (flags & kNoUserFolder) && !beside_writable) {
    VELLUM_FUZZ_CHECK(error.has_value());
  }

  if (error) {
    VELLUM_FUZZ_CHECK(error->starts_with("Unable to write to "));
    VELLUM_FUZZ_CHECK(fs.files == before);
    return 0;
  }

  // Exactly one settings file was written.
  std::string target;
  for (const auto& [path, content] : fs.files) {
    const auto old = before.find(path);
    if (old != before.end() && old->second == content) continue;
    VELLUM_FUZZ_CHECK(target.empty());
    target = path;
  }
  for (const auto& entry : before)
    VELLUM_FUZZ_CHECK(fs.files.count(entry.first) == 1);
  VELLUM_FUZZ_CHECK(fs.writes == 1);

  // The next start reads the values back.
  const StartupFiles next = ReadStartupFiles(fs, rules);
  VELLUM_FUZZ_CHECK(next.settings.left == values.left);
  VELLUM_FUZZ_CHECK(next.settings.top == values.top);
  VELLUM_FUZZ_CHECK(next.settings.width == values.width);
  VELLUM_FUZZ_CHECK(next.settings.height == values.height);
  VELLUM_FUZZ_CHECK(next.settings.always_on_top == values.always_on_top);

  // A file that already held every value as it is written is written again
  // unchanged: nothing more to compare.
  if (target.empty()) return 0;
  VELLUM_FUZZ_CHECK(target == kBeside || target == kUser);
  VELLUM_FUZZ_CHECK(fs.unreadable.count(target) == 0);

  // The file started from: the target's own old content, or, for the user's
  // first own file, the program folder's file when it could be read.
  std::string base;
  if (const auto old = before.find(target); old != before.end()) {
    base = old->second;
  } else if (target == kUser && before.count(kBeside) && !fs.unreadable.count(kBeside)) {
    base = before.at(kBeside);
  }

  const std::vector<std::string> written = {
      "left=" + std::to_string(values.left),
      "top=" + std::to_string(values.top),
      "width=" + std::to_string(values.width),
      "height=" + std::to_string(values.height),
      std::string("AlwaysOnTop=") + (values.always_on_top ? "1" : "0"),
  };
  vellum::fuzz::LineEdits edits;
  edits.max_added = written.size() + 2;
  edits.may_add = [&](const std::string& line) {
    return line == "[Form1]" || line == "[Misc]" ||
           std::find(written.begin(), written.end(), line) != written.end();
  };
  edits.may_replace = [&](const std::string& old_text, const std::string& new_text) {
    const std::string_view old_line = Trim(old_text);
    if (old_line.starts_with(';') || !HasKey(old_line)) return false;
    if (std::find(written.begin(), written.end(), new_text) == written.end()) return false;
    return rules.Upper(Trim(KeyOfLine(old_line))) == rules.Upper(KeyOfLine(new_text));
  };
  VELLUM_FUZZ_CHECK(vellum::fuzz::KeepsOtherLines(base, fs.files.at(target), edits));
  return 0;
}
