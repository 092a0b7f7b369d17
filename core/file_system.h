// The file and folder services the viewer needs, as a port: each platform
// supplies its own (platform/), tests may supply fakes.
//
// Text of paths. On Linux a path is the system's bytes, as they are. On
// Windows every path that crosses this port is UTF-8: ExecutablePath, the
// names ListSubfolders returns, UserSettingsFolder, UserLibraryFolder, and every path argument
// (the implementation converts to UTF-16 for the system's -W calls). The one
// exception is the relative name given to ResolvePath: it comes from an ini
// file, whose text is bytes in the system's ANSI code page, and ResolvePath
// converts it to UTF-8 before joining it to the folder. The content of files
// is bytes on both systems and is never converted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vellum {

// The temporary file ReplaceContent writes first, beside its target, is named
// ".TARGET.vellum-new-XXXXXX" (six letters or digits): a name no user would
// pick, so that what a killed write left behind is told from the user's own
// files ("Vellum.ini.backup") by its name alone.
inline constexpr std::string_view kTemporaryMark = ".vellum-new-";
inline constexpr std::size_t kTemporaryUniqueLength = 6;

inline std::string TemporaryPrefix(std::string_view target_name) {
  std::string prefix(1, '.');
  prefix.append(target_name);
  prefix.append(kTemporaryMark);
  return prefix;
}

// Six letters or digits for a temporary file's name, from any number: a
// different one at each call with the time, the process and a counter in it.
// The system's exclusive create makes the name unique, so it need not be random.
inline std::string TemporaryUnique(std::uint64_t seed) {
  static constexpr char kLetters[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::string unique;
  for (std::size_t i = 0; i < kTemporaryUniqueLength; ++i) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    unique += kLetters[(seed >> 33) % (sizeof kLetters - 1)];
  }
  return unique;
}

// True when name is one of the temporary files of a write to target_name.
inline bool IsTemporaryOf(std::string_view name, std::string_view target_name) {
  const std::string prefix = TemporaryPrefix(target_name);
  if (name.size() != prefix.size() + kTemporaryUniqueLength ||
      name.substr(0, prefix.size()) != prefix)
    return false;
  for (const char c : name.substr(prefix.size())) {
    const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!plain) return false;
  }
  return true;
}

struct FolderEntry {
  std::string name;
  bool hidden = false;  // hidden attribute; on Linux a name starting with "."
  bool system = false;  // system attribute (Windows only)
};

struct ReadResult {
  enum class Status { kOk, kMissing, kUnreadable };
  Status status = Status::kMissing;
  std::string content;
  std::string error_text;  // the system's text for kUnreadable
};

struct WriteResult {
  bool ok = false;
  std::string error_text;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The platform's folder separator, and the line ending of new text files.
  virtual char Separator() const = 0;
  virtual std::string_view NativeLineEnding() const = 0;

  // Full path of the running executable.
  virtual std::string ExecutablePath() const = 0;

  // The sub-folders of folder (a path ending in a separator), "." and ".."
  // left out; plain files are not listed.
  virtual std::vector<FolderEntry> ListSubfolders(const std::string& folder) const = 0;

  // True when a file (not a folder) exists at path.
  virtual bool IsFile(const std::string& path) const = 0;

  // Reads the whole file. A file that does not exist is kMissing; one that
  // exists but cannot be read is kUnreadable with the system's error text.
  virtual ReadResult ReadWholeFile(const std::string& path) const = 0;

  // Replaces the file's content as one step: the new content is written to a
  // temporary file beside it, flushed to disk and renamed over the old file,
  // so a crash or a full disk never leaves a half-written file behind.
  virtual WriteResult ReplaceContent(const std::string& path, std::string_view content) const = 0;

  // True when ReplaceContent(path) may be used: the folder really takes a new
  // file (found out by creating and removing one, since permission bits say
  // nothing of read-only mounts and too little for an administrator), and the
  // file, if it exists, is not read-only. A read-only file is never replaced,
  // even where the folder would let a rename go over it.
  virtual bool CanReplace(const std::string& path) const = 0;

  // This user's own folder for Vellum's settings, ending in a separator
  // (%APPDATA%\Vellum\, $XDG_CONFIG_HOME/vellum/); it need not exist yet.
  // Empty when the system names no such place.
  virtual std::string UserSettingsFolder() const = 0;

  // This user's own folder for libraries, ending in a separator
  // (%LOCALAPPDATA%\Vellum\, $XDG_DATA_HOME/vellum/): where vellum-import
  // writes data folders by default. It need not exist. Empty when the system
  // names no such place.
  virtual std::string UserLibraryFolder() const = 0;

  // Creates folder (a path ending in a separator) and any missing parents.
  // True when it exists as a folder afterwards.
  virtual bool CreateFolders(const std::string& folder) const = 0;

  // Removes a folder and everything in it: first renamed aside (so that what
  // a failure halfway leaves is no longer found as a library), then deleted.
  // True when the folder is gone.
  virtual bool RemoveFolder(const std::string& folder) const = 0;

  // A file named in a catalogue, relative to folder: on Windows the name as
  // written (read in the ANSI code page, given back in UTF-8); on Linux "\"
  // is read as "/", and a name that does not exist as written is looked up
  // ignoring case, as Windows would find it.
  virtual std::string ResolvePath(const std::string& folder, std::string_view relative) const = 0;
};

}  // namespace vellum
