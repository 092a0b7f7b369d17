// The running system's services for Linux: POSIX files and folders, and the
// C library's locale for case and order.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace vellum {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

struct MallocFree {
  void operator()(char* text) const { std::free(text); }
};

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Closing can report a late write error, so callers that write check it.
  bool Close() {
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }

 private:
  int fd_;
};

std::string ErrorText(int error) {
  return std::strerror(error);
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string AddSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

char FoldAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// The entry of folder whose name matches name ignoring case; "" when none.
std::string FindIgnoringCase(const std::string& folder, std::string_view name) {
  DirHandle dir(::opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) return {};
  while (const dirent* entry = ::readdir(dir.get())) {
    if (SameNameIgnoringCase(entry->d_name, name)) return entry->d_name;
  }
  return {};
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// What a symbolic link points to, so that a replacement goes there and not
// over the link itself; the path as it is when it names nothing (yet).
std::string RealTarget(const std::string& path) {
  const std::unique_ptr<char, MallocFree> real(::realpath(path.c_str(), nullptr));
  return real ? std::string(real.get()) : path;
}

// The temporary file a replacement writes first: beside the target, so the
// final rename never crosses file systems, under a name of our own.
std::string TempPattern(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string name = target.substr(slash == std::string::npos ? 0 : slash + 1);
  return folder + TemporaryPrefix(name) + std::string(kTemporaryUniqueLength, 'X');
}

// A new temporary file for a write to target, under our own name, created
// with the mode a new file gets (0666 less the umask, applied by the system:
// the umask is the whole process's, never to be changed while other threads
// run). -1 with errno set when none can be made.
int OpenTemporary(const std::string& target, std::string& path) {
  static std::atomic<std::uint64_t> counter{0};
  const std::string pattern = TempPattern(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::uint64_t seed = (static_cast<std::uint64_t>(::getpid()) << 40) ^
                               static_cast<std::uint64_t>(::time(nullptr)) ^
                               (++counter * 0x9E3779B97F4A7C15ULL);
    path = pattern.substr(0, pattern.size() - kTemporaryUniqueLength) + TemporaryUnique(seed);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// A write that was killed between making its temporary file and renaming it
// leaves that file behind. Those older than a minute are such remains (a
// write takes milliseconds; one of another running copy is younger). Only
// our own names are looked at: the user's files beside the target stay.
void RemoveStaleTemporaries(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string name = target.substr(slash == std::string::npos ? 0 : slash + 1);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return;
  const time_t now = ::time(nullptr);
  while (const dirent* entry = ::readdir(dir.get())) {
    if (!IsTemporaryOf(entry->d_name, name)) continue;
    const std::string path = folder + entry->d_name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && now - st.st_mtime > 60)
      (void)::unlink(path.c_str());
  }
}

// The user's home folder: $HOME, else the password database's entry.
std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  for (;;) {
    passwd entry{};
    passwd* found = nullptr;
    const int error = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') {
      return {};
    }
    return found->pw_dir;
  }
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

char SystemFileSystem::Separator() const {
  return '/';
}

std::string_view SystemFileSystem::NativeLineEnding() const {
  return "\n";
}

std::string SystemFileSystem::ExecutablePath() const {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::vector<FolderEntry> SystemFileSystem::ListSubfolders(const std::string& folder) const {
  std::vector<FolderEntry> folders;
  DirHandle dir(::opendir(folder.c_str()));
  if (!dir) return folders;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::stat((folder + name).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    folders.push_back({name, name.front() == '.', false});
  }
  return folders;
}

bool SystemFileSystem::IsFile(const std::string& path) const {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

ReadResult SystemFileSystem::ReadWholeFile(const std::string& path) const {
  ReadResult result;
  // Without blocking: a FIFO or a device in the file's place must not hold
  // up the start.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.Valid()) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) return result;
    result.status = ReadResult::Status::kUnreadable;
    result.error_text = ErrorText(error);
    return result;
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    result.status = ReadResult::Status::kUnreadable;
    result.error_text = S_ISDIR(st.st_mode) ? ErrorText(EISDIR) : "Not a regular file";
    return result;
  }
  char chunk[8192];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      result.status = ReadResult::Status::kUnreadable;
      result.error_text = ErrorText(errno);
      result.content.clear();
      return result;
    }
    result.content.append(chunk, static_cast<std::size_t>(n));
  }
  result.status = ReadResult::Status::kOk;
  return result;
}

WriteResult SystemFileSystem::ReplaceContent(const std::string& path,
                                             std::string_view content) const {
  const std::string target = RealTarget(path);
  RemoveStaleTemporaries(target);
  std::string temp;
  Fd fd(OpenTemporary(target, temp));
  if (!fd.Valid()) return {false, ErrorText(errno)};

  // Keep the old file's permissions (a new file has its own already); a
  // failure here is not worth losing the write.
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) (void)::fchmod(fd.Get(), old.st_mode & 07777);

  int error = 0;
  if (!WriteAll(fd.Get(), content) || ::fsync(fd.Get()) != 0) error = errno;
  if (!fd.Close() && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    return {false, ErrorText(error)};
  }
  return {true, {}};
}

bool SystemFileSystem::CanReplace(const std::string& path) const {
  const std::string target = RealTarget(path);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return false;
    // A file nobody may write is meant to stay as it is, even for root,
    // whom the system would let write it anyway.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    // Opening it for writing (which changes nothing) is the system's own
    // answer: read-only mounts, immutable files and access lists included.
    Fd file(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file.Valid()) return false;
  } else if (errno != ENOENT) {
    return false;
  }
  // The folder must take the temporary file ReplaceContent would make there;
  // making one is the only test that holds for root and read-only mounts.
  std::string probe;
  Fd fd(OpenTemporary(target, probe));
  if (!fd.Valid()) return false;
  const bool closed = fd.Close();
  return ::unlink(probe.c_str()) == 0 && closed;
}

namespace {

// $VARIABLE, or ~/FALLBACK when it is unset or relative (the XDG base
// directory rules ignore a relative one), with "vellum/" appended; empty
// without a home folder.
std::string VellumFolderIn(const char* variable, const char* fallback) {
  std::string base;
  if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
    base = value;
  } else {
    const std::string home = HomeFolder();
    if (home.empty()) return {};
    base = AddSlash(home) + fallback;
  }
  return AddSlash(base) + "vellum/";
}

}  // namespace

std::string SystemFileSystem::UserSettingsFolder() const {
  return VellumFolderIn("XDG_CONFIG_HOME", ".config");
}

std::string SystemFileSystem::UserLibraryFolder() const {
  return VellumFolderIn("XDG_DATA_HOME", ".local/share");
}

bool SystemFileSystem::CreateFolders(const std::string& folder) const {
  if (folder.empty()) return false;
  // Folders made here hold one user's settings: 0700, as the XDG rules ask.
  for (std::size_t end = folder.find('/', 1); end != std::string::npos;
       end = folder.find('/', end + 1)) {
    const std::string part = folder.substr(0, end);
    if (::mkdir(part.c_str(), 0700) != 0 && !IsFolder(part)) return false;
  }
  if (folder.back() != '/' && ::mkdir(folder.c_str(), 0700) != 0 && !IsFolder(folder)) {
    return false;
  }
  return IsFolder(folder);
}

std::string SystemFileSystem::ResolvePath(const std::string& folder,
                                          std::string_view relative) const {
  std::string rel(relative);
  for (char& c : rel) {
    if (c == '\\') c = '/';
  }
  const std::string as_written = folder + rel;
  if (Exists(as_written)) return as_written;

  std::string resolved = folder;
  std::size_t start = 0;
  while (start <= rel.size()) {
    std::size_t end = rel.find('/', start);
    if (end == std::string::npos) end = rel.size();
    const std::string part = rel.substr(start, end - start);
    if (!part.empty()) {
      if (!resolved.empty() && resolved.back() != '/') resolved += '/';
      if (Exists(resolved + part)) {
        resolved += part;
      } else {
        const std::string found = FindIgnoringCase(resolved, part);
        if (found.empty()) return as_written;
        resolved += found;
      }
    }
    start = end + 1;
  }
  return resolved;
}

// Locale rules.
namespace {

// Text of files and records is UTF-8 when valid, else Windows-1252; compare
// it as the characters it shows, upper-cased by the locale.
std::wstring UpperWide(std::string_view text) {
  std::wstring wide;
  for (char32_t c : DecodeDisplayText(text)) {
    wide.push_back(static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c))));
  }
  return wide;
}

}  // namespace

std::string LocaleTextRules::Upper(std::string_view text) const {
  std::u32string upper;
  for (wchar_t c : UpperWide(text))
    upper.push_back(static_cast<char32_t>(c));
  return EncodeUtf8(upper);
}

int LocaleTextRules::CompareIgnoringCase(std::string_view a, std::string_view b) const {
  const std::wstring ua = UpperWide(a);
  const std::wstring ub = UpperWide(b);
  const int order = std::wcscoll(ua.c_str(), ub.c_str());
  if (order != 0) return order < 0 ? -1 : 1;
  // Equal for the locale but not the same characters: order them stably.
  const int raw = ua.compare(ub);
  return raw < 0 ? -1 : (raw > 0 ? 1 : 0);
}

}  // namespace vellum
