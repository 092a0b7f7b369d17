// The running system's file services and locale rules, one implementation per
// platform (file suffix _posix or _win, chosen by the build).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/file_system.h"
#include "core/text.h"

namespace vellum {

class SystemFileSystem final : public FileSystem {
 public:
  char Separator() const override;
  std::string_view NativeLineEnding() const override;
  std::string ExecutablePath() const override;
  std::vector<FolderEntry> ListSubfolders(const std::string& folder) const override;
  bool IsFile(const std::string& path) const override;
  ReadResult ReadWholeFile(const std::string& path) const override;
  WriteResult ReplaceContent(const std::string& path, std::string_view content) const override;
  bool CanReplace(const std::string& path) const override;
  std::string UserSettingsFolder() const override;
  std::string UserLibraryFolder() const override;
  bool CreateFolders(const std::string& folder) const override;
  bool RemoveFolder(const std::string& folder) const override;
  std::string ResolvePath(const std::string& folder, std::string_view relative) const override;
};

// Upper-casing and ordering ignoring case as the user's locale does them.
class LocaleTextRules final : public TextRules {
 public:
  std::string Upper(std::string_view text) const override;
  int CompareIgnoringCase(std::string_view a, std::string_view b) const override;
};

}  // namespace vellum
