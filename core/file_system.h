// The file and folder services the viewer needs, as a port: each platform
// supplies its own (app/platform), tests may supply fakes.
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

#include <string>
#include <string_view>
#include <vector>

namespace vellum {

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

  // A file named in a catalogue, relative to folder: on Windows the name as
  // written (read in the ANSI code page, given back in UTF-8); on Linux "\"
  // is read as "/", and a name that does not exist as written is looked up
  // ignoring case, as Windows would find it.
  virtual std::string ResolvePath(const std::string& folder, std::string_view relative) const = 0;
};

}  // namespace vellum
