#include "tools/import/output_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

namespace vellum::import {
namespace {

std::string SystemError(int error) {
  return std::strerror(error);
}

std::string StagingPrefix(const std::string& final_name) {
  return "." + final_name + ".part-";
}

// Creates folder and its missing parents, 0755 like any folder of documents.
bool MakeFolders(const std::string& folder, std::string& error) {
  std::error_code code;
  std::filesystem::create_directories(folder, code);
  if (code) {
    error = "cannot create " + folder + ": " + code.message();
    return false;
  }
  return true;
}

// Flushes a folder's entries (new names, renames) to disk.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

}  // namespace

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

StagingFolder::StagingFolder(const std::string& parent, const std::string& final_name)
    : parent_(parent.empty() || parent.back() == '/' ? parent : parent + "/"),
      target_(parent_ + final_name) {
  if (!MakeFolders(parent_, error_)) return;
  std::string pattern =
      parent_ + StagingPrefix(final_name) + std::to_string(::getpid()) + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    error_ = "cannot create a folder in " + parent_ + ": " + SystemError(errno);
    return;
  }
  path_ = pattern;
}

StagingFolder::~StagingFolder() {
  if (!path_.empty() && !committed_) RemoveTree(path_);
}

bool StagingFolder::Write(const std::string& name, std::string_view content) {
  const std::string file = path_ + "/" + name;
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    error_ = "cannot write " + file + ": " + SystemError(errno);
    return false;
  }
  int error = 0;
  while (!content.empty() && error == 0) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0) {
      if (errno != EINTR) error = errno;
      continue;
    }
    content.remove_prefix(static_cast<std::size_t>(n));
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    error_ = "cannot write " + file + ": " + SystemError(error);
    return false;
  }
  return true;
}

bool StagingFolder::Commit(bool replace) {
  // The staging folder was made private by mkdtemp; the library is for
  // reading like any other folder of documents.
  if (::chmod(path_.c_str(), 0755) != 0) {
    error_ = "cannot set the permissions of " + path_ + ": " + SystemError(errno);
    return false;
  }
  SyncFolder(path_);
  std::string old;
  if (Exists(target_)) {
    if (!replace) {
      error_ = target_ + " already exists (--force replaces it)";
      return false;
    }
    old = path_ + ".old";
    if (::rename(target_.c_str(), old.c_str()) != 0) {
      error_ = "cannot move the old " + target_ + " aside: " + SystemError(errno);
      return false;
    }
  }
  if (::rename(path_.c_str(), target_.c_str()) != 0) {
    error_ = "cannot rename " + path_ + " to " + target_ + ": " + SystemError(errno);
    if (!old.empty()) (void)::rename(old.c_str(), target_.c_str());
    return false;
  }
  committed_ = true;
  SyncFolder(parent_);
  if (!old.empty()) RemoveTree(old);
  return true;
}

void RemoveAbandonedStaging(const std::string& parent, const std::string& final_name) {
  const std::string folder = parent.empty() || parent.back() == '/' ? parent : parent + "/";
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return;
  const std::string prefix = StagingPrefix(final_name);
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name.rfind(prefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    // Still running (or not ours to ask): leave it.
    if (pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    RemoveTree(folder + name);
  }
}

}  // namespace vellum::import
