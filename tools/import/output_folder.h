// Writing a data folder whole or not at all. The files go into a hidden
// staging folder beside the target; only when all are written and flushed is
// it renamed into place, so the viewer never sees half a library (the
// staging folder's name starts with "." and does not end in ".htm"). A
// staging folder that is not committed removes itself.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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
  // put back should the second fail (or by the next run, should this one
  // die in between: see RecoverEarlierRuns).
  bool Commit(bool replace);

 private:
  std::string parent_;
  std::string final_name_;
  std::string target_;
  std::string path_;
  std::string error_;
  bool committed_ = false;
};

// True when parent/name exists (as anything).
bool Exists(const std::string& path);

// Cleans up after earlier runs for final_name in parent whose process is gone
// (killed before it could clean up): their staging folders are removed, and
// an old library one of them had moved aside is put back where no library
// stands, else removed, since the new one took its place. Returns a line for
// the user about each library put back (or that could not be).
std::vector<std::string> RecoverEarlierRuns(const std::string& parent,
                                            const std::string& final_name);

}  // namespace vellum::import
