#include "tools/import/output_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>

namespace vellum::import {
namespace {

std::string SystemError(int error) {
  return std::strerror(error);
}

std::string StagingPrefix(const std::string& final_name) {
  return "." + final_name + ".part-";
}

// Where Commit moves an old library while the new one takes its place: a name
// of its own, so that no clean-up of staging folders can take it for one.
std::string AsidePrefix(const std::string& final_name) {
  return "." + final_name + ".previous-";
}

// The process id in a name made of prefix, the id, "-", six letters or
// digits and tail (as mkdtemp makes them); 0 when the name is not so made.
long RunOf(std::string_view name, std::string_view prefix, std::string_view tail) {
  if (name.substr(0, prefix.size()) != prefix || name.size() < prefix.size() + tail.size() ||
      name.substr(name.size() - tail.size()) != tail)
    return 0;
  const std::string_view run =
      name.substr(prefix.size(), name.size() - prefix.size() - tail.size());
  const std::size_t dash = run.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash > 9 || run.size() != dash + 7) return 0;
  long pid = 0;
  for (const char c : run.substr(0, dash)) {
    if (c < '0' || c > '9') return 0;
    pid = pid * 10 + (c - '0');
  }
  for (const char c : run.substr(dash + 1)) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return 0;
  }
  return pid;
}

// A process that has ended (not one that is running, or not ours to ask).
bool Ended(long pid) {
  return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
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
      final_name_(final_name),
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
    // ".NAME.previous-PID-XXXXXX", from this run's staging name: should the
    // process die before the next rename, the next run puts it back.
    old = parent_ + AsidePrefix(final_name_) +
          path_.substr(parent_.size() + StagingPrefix(final_name_).size());
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

std::vector<std::string> RecoverEarlierRuns(const std::string& parent,
                                            const std::string& final_name) {
  const std::string folder = parent.empty() || parent.back() == '/' ? parent : parent + "/";
  std::vector<std::string> said;
  std::vector<std::string> asides;
  {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return said;
    const std::string staging = StagingPrefix(final_name);
    while (const dirent* entry = ::readdir(dir.get())) {
      const std::string name = entry->d_name;
      if (Ended(RunOf(name, staging, ""))) {
        RemoveTree(folder + name);
      } else if (Ended(RunOf(name, AsidePrefix(final_name), "")) ||
                 Ended(RunOf(name, staging, ".old"))) {  // the name earlier versions gave it
        asides.push_back(name);
      }
    }
  }
  // An old library is put back where no new one stands; where one does, the
  // run that moved it aside got as far as renaming the new one into place.
  std::sort(asides.begin(), asides.end());
  const std::string target = folder + final_name;
  for (const std::string& name : asides) {
    if (!Exists(target)) {
      if (::rename((folder + name).c_str(), target.c_str()) == 0) {
        SyncFolder(folder);
        said.push_back("put back " + target + ", which an interrupted import had moved aside");
      } else {
        said.push_back("cannot put back " + folder + name + " as " + target + ": " +
                       SystemError(errno) + "; it is kept");
      }
    } else {
      RemoveTree(folder + name);
    }
  }
  return said;
}

}  // namespace vellum::import
