// Writing a data folder whole or not at all. The files go into a hidden
// staging folder beside the target; only when all are written and flushed is
// it renamed into place, so the viewer never sees half a library (the
// staging folder's name starts with "." and does not end in ".htm"). A
// staging folder that is not committed removes itself.
#pragma once

#include <string>
#include <string_view>

namespace vellum::import {

class StagingFolder {
 public:
  // Makes the staging folder for parent/final_name (parent is created when
  // missing). On failure, valid() is false and error says why.
  StagingFolder(const std::string& parent, const std::string& final_name);
  ~StagingFolder();
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;

  bool valid() const { return !path_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& target() const { return target_; }

  // Writes one file into the staging folder.
  bool Write(const std::string& name, std::string_view content);

  // Moves the staging folder to the target. An existing target is replaced
  // only when replace is set, and then in two renames with the old folder
  // put back should the second fail.
  bool Commit(bool replace);

 private:
  std::string parent_;
  std::string target_;
  std::string path_;
  std::string error_;
  bool committed_ = false;
};

// True when parent/name exists (as anything).
bool Exists(const std::string& path);

// Removes staging folders of earlier runs for final_name in parent whose
// process is gone (killed before it could clean up).
void RemoveAbandonedStaging(const std::string& parent, const std::string& final_name);

}  // namespace vellum::import
