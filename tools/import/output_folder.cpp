#include "tools/import/output_folder.h"

#ifdef _WIN32
#include <windows.h>

#include <random>

#include "platform/wide_text_win.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace vellum::import {
namespace {

// Paths are UTF-8 on both systems; Windows takes them as UTF-16.
#ifdef _WIN32
std::filesystem::path FsPath(const std::string& path) {
  return std::filesystem::path(Utf8ToWide(path));
}
std::string NameOf(const std::filesystem::path& path) {
  return WideToUtf8(path.filename().wstring());
}
std::string LastError() {
  return std::system_category().message(static_cast<int>(::GetLastError()));
}
#else
std::filesystem::path FsPath(const std::string& path) {
  return std::filesystem::path(path);
}
std::string NameOf(const std::filesystem::path& path) {
  return path.filename().string();
}
std::string LastError() {
  return std::strerror(errno);
}
#endif

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
#ifdef _WIN32
  if (pid <= 0) return false;
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no such id
  const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  ::CloseHandle(process);
  return ended;
#else
  return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
#endif
}

// A folder's path ready for a name to be added.
std::string WithSeparator(const std::string& folder) {
#ifdef _WIN32
  constexpr char kSeparator = '\\';
  if (!folder.empty() && folder.back() == '/') return folder;
#else
  constexpr char kSeparator = '/';
#endif
  return folder.empty() || folder.back() == kSeparator ? folder : folder + kSeparator;
}

long ThisRun() {
#ifdef _WIN32
  return static_cast<long>(::GetCurrentProcessId());
#else
  return static_cast<long>(::getpid());
#endif
}

// Renames a file or folder; never over an existing folder.
bool Rename(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return ::MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(), 0) != 0;
#else
  return ::rename(from.c_str(), to.c_str()) == 0;
#endif
}

// Creates folder and its missing parents, 0755 like any folder of documents.
bool MakeFolders(const std::string& folder, std::string& error) {
  std::error_code code;
  std::filesystem::create_directories(FsPath(folder), code);
  if (code) {
    error = "cannot create " + folder + ": " + code.message();
    return false;
  }
  return true;
}

// Flushes a folder's entries (new names, renames) to disk. NTFS journals
// its renames itself, and Windows offers no flush of a folder.
void SyncFolder([[maybe_unused]] const std::string& folder) {
#ifndef _WIN32
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
#endif
}

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(FsPath(path), ignored);
}

// Makes a new folder named pattern with its trailing "XXXXXX" made unique;
// false (errno or the last error set) when none can be made.
bool MakeUniqueFolder(std::string& pattern) {
#ifdef _WIN32
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device seed;
  std::mt19937 pick(seed());
  std::uniform_int_distribution<std::size_t> letter(0, sizeof kLetters - 2);
  const std::size_t tail = pattern.size() - 6;
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (std::size_t i = tail; i < pattern.size(); ++i)
      pattern[i] = kLetters[letter(pick)];
    if (::CreateDirectoryW(Utf8ToWide(pattern).c_str(), nullptr) != 0) return true;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
#else
  return ::mkdtemp(pattern.data()) != nullptr;
#endif
}

// Writes a new file (never over one) and flushes it to disk; "" or why not.
std::string WriteNewFile(const std::string& file, std::string_view content) {
#ifdef _WIN32
  HANDLE handle = ::CreateFileW(Utf8ToWide(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  std::string error;
  while (!content.empty() && error.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 30));
    DWORD written = 0;
    if (::WriteFile(handle, content.data(), chunk, &written, nullptr) == 0 || written == 0)
      error = LastError();
    else
      content.remove_prefix(written);
  }
  if (error.empty() && ::FlushFileBuffers(handle) == 0) error = LastError();
  if (::CloseHandle(handle) == 0 && error.empty()) error = LastError();
  return error;
#else
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return LastError();
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
  return error == 0 ? std::string() : std::strerror(error);
#endif
}

}  // namespace

bool Exists(const std::string& path) {
  std::error_code code;
  return std::filesystem::symlink_status(FsPath(path), code).type() !=
             std::filesystem::file_type::not_found &&
         !code;
}

StagingFolder::StagingFolder(const std::string& parent, const std::string& final_name)
    : parent_(WithSeparator(parent)), final_name_(final_name), target_(parent_ + final_name) {
  if (!MakeFolders(parent_, error_)) return;
  std::string pattern = parent_ + StagingPrefix(final_name) + std::to_string(ThisRun()) + "-XXXXXX";
  if (!MakeUniqueFolder(pattern)) {
    error_ = "cannot create a folder in " + parent_ + ": " + LastError();
    return;
  }
  path_ = pattern;
}

StagingFolder::~StagingFolder() {
  if (!path_.empty() && !committed_) RemoveTree(path_);
}

bool StagingFolder::Write(const std::string& name, std::string_view content) {
  const std::string file = path_ + "/" + name;
  const std::string error = WriteNewFile(file, content);
  if (!error.empty()) {
    error_ = "cannot write " + file + ": " + error;
    return false;
  }
  return true;
}

bool StagingFolder::Commit(bool replace) {
#ifndef _WIN32
  // The staging folder was made private by mkdtemp; the library is for
  // reading like any other folder of documents.
  if (::chmod(path_.c_str(), 0755) != 0) {
    error_ = "cannot set the permissions of " + path_ + ": " + LastError();
    return false;
  }
#endif
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
    if (!Rename(target_, old)) {
      error_ = "cannot move the old " + target_ + " aside: " + LastError();
      return false;
    }
  }
  if (!Rename(path_, target_)) {
    error_ = "cannot rename " + path_ + " to " + target_ + ": " + LastError();
    if (!old.empty()) (void)Rename(old, target_);
    return false;
  }
  committed_ = true;
  SyncFolder(parent_);
  if (!old.empty()) RemoveTree(old);
  return true;
}

std::vector<std::string> RecoverEarlierRuns(const std::string& parent,
                                            const std::string& final_name) {
  const std::string folder = WithSeparator(parent);
  std::vector<std::string> said;
  std::vector<std::string> asides;
  {
    std::error_code code;
    std::filesystem::directory_iterator entry(FsPath(folder.empty() ? "." : folder), code);
    if (code) return said;
    const std::string staging = StagingPrefix(final_name);
    for (; !code && entry != std::filesystem::directory_iterator(); entry.increment(code)) {
      const std::string name = NameOf(entry->path());
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
      if (Rename(folder + name, target)) {
        SyncFolder(folder);
        said.push_back("put back " + target + ", which an interrupted import had moved aside");
      } else {
        said.push_back("cannot put back " + folder + name + " as " + target + ": " + LastError() +
                       "; it is kept");
      }
    } else {
      RemoveTree(folder + name);
    }
  }
  return said;
}

}  // namespace vellum::import
