// An in-memory file system with Windows conventions, for catalogue tests.
//
// Folders exist only as listed in `folders`. Writing follows the real
// systems: a file can only be made in a folder that exists and takes new
// files, and the rename that replaces a file goes over it even when the file
// itself is read-only (as on Linux), so a test sees it when such a file is
// overwritten.
#pragma once

#include <iterator>
#include <map>
#include <set>
#include <string>

#include "core/file_system.h"

namespace vellum::testing {

class FakeFileSystem final : public FileSystem {
 public:
  std::string exe_path = "C:\\Program\\Vellum.exe";
  std::map<std::string, std::string> files;       // path -> content
  std::map<std::string, std::string> unreadable;  // path -> error text
  std::vector<FolderEntry> subfolders;            // of the exe folder
  // The user's library folder ("" when the system names none) and its
  // sub-folders.
  std::string user_library_folder;
  std::vector<FolderEntry> library_subfolders;
  int removals = 0;
  std::set<std::string> folders = {"C:\\",
                                   "C:\\Program\\",
                                   "C:\\Users\\",
                                   "C:\\Users\\me\\",
                                   "C:\\Users\\me\\AppData\\",
                                   "C:\\Users\\me\\AppData\\Roaming\\"};
  std::set<std::string> read_only_folders;  // exist, but take no new file
  std::set<std::string> read_only_files;
  std::string user_settings_folder = "C:\\Users\\me\\AppData\\Roaming\\Vellum\\";
  bool fail_writes = false;
  int writes = 0;

  static std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('\\', path.size() - 2);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  }
  bool TakesNewFiles(const std::string& folder) const {
    return folders.count(folder) != 0 && read_only_folders.count(folder) == 0;
  }

  char Separator() const override { return '\\'; }
  std::string_view NativeLineEnding() const override { return "\r\n"; }
  std::string ExecutablePath() const override { return exe_path; }
  std::vector<FolderEntry> ListSubfolders(const std::string& folder) const override {
    if (!user_library_folder.empty() && folder == user_library_folder) return library_subfolders;
    return subfolders;
  }
  bool IsFile(const std::string& path) const override {
    return files.count(path) != 0 || unreadable.count(path) != 0;
  }
  ReadResult ReadWholeFile(const std::string& path) const override {
    if (auto it = unreadable.find(path); it != unreadable.end()) {
      return {ReadResult::Status::kUnreadable, {}, it->second};
    }
    if (auto it = files.find(path); it != files.end()) {
      return {ReadResult::Status::kOk, it->second, {}};
    }
    return {};
  }
  WriteResult ReplaceContent(const std::string& path, std::string_view content) const override {
    auto* self = const_cast<FakeFileSystem*>(this);
    ++self->writes;
    if (fail_writes) return {false, "Disk full"};
    if (!TakesNewFiles(FolderOf(path))) return {false, "Access is denied"};
    self->files[path] = std::string(content);
    return {true, {}};
  }
  bool CanReplace(const std::string& path) const override {
    return TakesNewFiles(FolderOf(path)) && read_only_files.count(path) == 0;
  }
  std::string UserSettingsFolder() const override { return user_settings_folder; }
  std::string UserLibraryFolder() const override { return user_library_folder; }
  bool CreateFolders(const std::string& folder) const override {
    auto* self = const_cast<FakeFileSystem*>(this);
    for (std::size_t end = folder.find('\\'); end != std::string::npos;
         end = folder.find('\\', end + 1)) {
      const std::string part = folder.substr(0, end + 1);
      if (folders.count(part) != 0) continue;
      if (!TakesNewFiles(FolderOf(part))) return false;
      self->folders.insert(part);
    }
    return folders.count(folder) != 0;
  }
  bool RemoveFolder(const std::string& folder) const override {
    auto* self = const_cast<FakeFileSystem*>(this);
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != '\\') prefix += '\\';
    if (!TakesNewFiles(FolderOf(prefix.substr(0, prefix.size() - 1)))) return false;
    for (auto it = self->files.begin(); it != self->files.end();)
      it = it->first.rfind(prefix, 0) == 0 ? self->files.erase(it) : std::next(it);
    for (auto it = self->folders.begin(); it != self->folders.end();)
      it = it->rfind(prefix, 0) == 0 ? self->folders.erase(it) : std::next(it);
    auto& listed =
        prefix.rfind(user_library_folder, 0) == 0 ? self->library_subfolders : self->subfolders;
    for (auto it = listed.begin(); it != listed.end();) {
      const std::size_t start = prefix.rfind('\\', prefix.size() - 2) + 1;
      it = it->name == prefix.substr(start, prefix.size() - 1 - start) ? listed.erase(it)
                                                                       : std::next(it);
    }
    ++self->removals;
    return true;
  }
  std::string ResolvePath(const std::string& folder, std::string_view relative) const override {
    return folder + std::string(relative);
  }
};

}  // namespace vellum::testing
