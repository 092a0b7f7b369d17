// An in-memory file system with Windows conventions, for catalogue tests.
#pragma once

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
  bool fail_writes = false;
  int writes = 0;

  char Separator() const override { return '\\'; }
  std::string_view NativeLineEnding() const override { return "\r\n"; }
  std::string ExecutablePath() const override { return exe_path; }
  std::vector<FolderEntry> ListSubfolders(const std::string&) const override { return subfolders; }
  bool IsFile(const std::string& path) const override { return files.count(path) != 0; }
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
    self->files[path] = std::string(content);
    return {true, {}};
  }
  std::string ResolvePath(const std::string& folder, std::string_view relative) const override {
    return folder + std::string(relative);
  }
};

}  // namespace vellum::testing
