// The running system's services for Windows: Win32 files and folders through
// the wide-character calls, and the system's ANSI code page rules for case
// and order.
//
// Paths cross the FileSystem port as UTF-8 and are converted to UTF-16 only
// here, so a program folder whose name the ANSI code page cannot spell is
// still found. Names read from ini files are ANSI text (see ResolvePath).
#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cwctype>
#include <memory>
#include <string_view>

#include "platform/platform.h"
#include "platform/wide_text_win.h"

namespace vellum {
namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) CloseHandle(handle);
  }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

struct FindCloser {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
  }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

struct LocalFreer {
  void operator()(wchar_t* text) const { LocalFree(text); }
};
struct CoTaskMemFreer {
  void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};

FileHandle MakeFileHandle(HANDLE handle) {
  return FileHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// The system's text for an error code, in UTF-8, without the trailing line
// break and full stop that FormatMessage adds.
std::string ErrorText(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const std::unique_ptr<wchar_t, LocalFreer> owned(buffer);
  std::string text = n != 0 && buffer != nullptr ? WideToUtf8(std::wstring_view(buffer, n)) : "";
  if (text.empty()) text = "System error " + std::to_string(error);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 32 || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

bool WriteAll(HANDLE file, std::string_view content) {
  while (!content.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, content.data(), chunk, &written, nullptr) || written == 0) return false;
    content.remove_prefix(written);
  }
  return true;
}

// The folder part of a path, with its separator; "." when it has none.
std::wstring FolderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/:");
  return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash + 1);
}

// The name part of a path.
std::wstring NameOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/:");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FolderBase(const std::wstring& path) {
  const std::wstring folder = FolderOf(path);
  return folder == L"." ? std::wstring(L".\\") : folder;
}

// A write killed between making its temporary file and the rename leaves
// that file behind. Those older than a minute are such remains: a write takes
// milliseconds, and one of another running copy is younger. Only our own
// names are looked at: the user's files beside the target stay.
void RemoveStaleTemporaries(const std::wstring& target) {
  const std::wstring base = FolderBase(target);
  const std::string name = WideToUtf8(NameOf(target));
  WIN32_FIND_DATAW data{};
  FindHandle find(FindFirstFileW((base + Utf8ToWide(TemporaryPrefix(name)) + L"*").c_str(), &data));
  if (find.get() == INVALID_HANDLE_VALUE) return;
  FILETIME now_time{};
  GetSystemTimeAsFileTime(&now_time);
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  constexpr unsigned long long kMinute = 60ULL * 10'000'000ULL;  // in 100 ns
  do {
    if (!IsTemporaryOf(WideToUtf8(data.cFileName), name) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      continue;
    if (ticks(now_time) - ticks(data.ftLastWriteTime) > kMinute)
      DeleteFileW((base + data.cFileName).c_str());
  } while (FindNextFileW(find.get(), &data));
}

struct Temporary {
  std::wstring path;
  FileHandle file;
};

// A new, empty temporary file for a write to target, beside it under a name
// of our own (made here, since GetTempFileName's "velXXXX.tmp" is a name a
// user might pick); no file, with the system's error, when none can be made.
Temporary MakeTemporaryFor(const std::wstring& target, DWORD& error) {
  static std::atomic<std::uint64_t> counter{0};
  const std::string prefix = TemporaryPrefix(WideToUtf8(NameOf(target)));
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::uint64_t seed = (static_cast<std::uint64_t>(GetCurrentProcessId()) << 40) ^
                               GetTickCount64() ^ (++counter * 0x9E3779B97F4A7C15ULL);
    Temporary made{FolderBase(target) + Utf8ToWide(prefix + TemporaryUnique(seed)), nullptr};
    made.file = MakeFileHandle(CreateFileW(made.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (made.file) return made;
    error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return Temporary{};
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// "C:\..." or "\\server\share\...": a place that does not depend on the
// current folder or drive.
bool IsFullPath(std::wstring_view path) {
  const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  if (path.size() >= 3 && path[1] == L':' && separator(path[2])) return true;
  return path.size() >= 3 && separator(path[0]) && separator(path[1]);
}

// Where the folders of a full path start: after "C:\" or "\\server\share\".
std::size_t RootLength(std::wstring_view path) {
  if (path.size() >= 3 && path[1] == L':') return 3;
  if (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/')) {
    std::size_t pos = 2;
    for (int part = 0; part < 2 && pos != std::wstring_view::npos; ++part) {
      pos = path.find_first_of(L"\\/", pos);
      if (pos != std::wstring_view::npos) ++pos;
    }
    return pos == std::wstring_view::npos ? path.size() : pos;
  }
  return 0;
}

// Renames the finished temporary file over the target. A virus scanner or
// an indexer may hold one of the two open for a moment after it was written,
// which the rename sees as a refusal; those are tried again a few times
// before the write counts as failed.
DWORD MoveOver(const wchar_t* from, const wchar_t* to) {
  constexpr int kTries = 5;
  constexpr DWORD kPauseMs = 75;
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    const DWORD error = GetLastError();
    if (attempt == kTries || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
      return error;
    }
    Sleep(kPauseMs);
  }
}

// A folder from the environment, only when it names a full path: a relative
// one would move with the current folder.
std::wstring FullPathFromEnvironment(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  if (length == 0 || length >= size) return {};
  value.resize(length);
  return IsFullPath(value) ? value : std::wstring();
}

}  // namespace

char SystemFileSystem::Separator() const {
  return '\\';
}

std::string_view SystemFileSystem::NativeLineEnding() const {
  return "\r\n";
}

std::string SystemFileSystem::ExecutablePath() const {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return WideToUtf8(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::vector<FolderEntry> SystemFileSystem::ListSubfolders(const std::string& folder) const {
  std::vector<FolderEntry> folders;
  WIN32_FIND_DATAW data{};
  FindHandle find(FindFirstFileW(Utf8ToWide(folder + "*").c_str(), &data));
  if (find.get() == INVALID_HANDLE_VALUE) return folders;
  do {
    const std::wstring_view name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
    folders.push_back({WideToUtf8(name), (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0,
                       (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0});
  } while (FindNextFileW(find.get(), &data));
  return folders;
}

bool SystemFileSystem::IsFile(const std::string& path) const {
  const DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

ReadResult SystemFileSystem::ReadWholeFile(const std::string& path) const {
  ReadResult result;
  FileHandle file = MakeFileHandle(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return result;
    result.status = ReadResult::Status::kUnreadable;
    result.error_text = ErrorText(error);
    return result;
  }
  char chunk[8192];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(file.get(), chunk, sizeof chunk, &n, nullptr)) {
      result.status = ReadResult::Status::kUnreadable;
      result.error_text = ErrorText(GetLastError());
      result.content.clear();
      return result;
    }
    if (n == 0) break;
    result.content.append(chunk, n);
  }
  result.status = ReadResult::Status::kOk;
  return result;
}

WriteResult SystemFileSystem::ReplaceContent(const std::string& path,
                                             std::string_view content) const {
  const std::wstring target = Utf8ToWide(path);
  RemoveStaleTemporaries(target);
  DWORD error = 0;
  Temporary temporary = MakeTemporaryFor(target, error);
  if (!temporary.file) return {false, ErrorText(error)};
  const wchar_t* temp = temporary.path.c_str();
  if (!WriteAll(temporary.file.get(), content) || !FlushFileBuffers(temporary.file.get())) {
    error = GetLastError();
  } else if (!CloseHandle(temporary.file.release())) {
    error = GetLastError();
  }
  temporary.file.reset();
  if (error == 0) error = MoveOver(temp, target.c_str());
  if (error != 0) {
    // Nothing more can be done about a leftover that will not go.
    (void)DeleteFileW(temp);
    return {false, ErrorText(error)};
  }
  return {true, {}};
}

bool SystemFileSystem::CanReplace(const std::string& path) const {
  const std::wstring target = Utf8ToWide(path);
  if (target.empty()) return false;
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) return false;
    // Opening it for writing changes nothing and asks the system itself. A
    // file someone holds open at the moment is not read-only: the write's
    // rename waits for it.
    const FileHandle file = MakeFileHandle(CreateFileW(
        target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && GetLastError() != ERROR_SHARING_VIOLATION) return false;
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
    return false;
  }
  // The folder must take the temporary file ReplaceContent would make there.
  // Making one is the only sound test: under Program Files the folder's
  // permissions are not the whole story.
  DWORD error = 0;
  Temporary probe = MakeTemporaryFor(target, error);
  if (!probe.file) return false;
  probe.file.reset();
  return DeleteFileW(probe.path.c_str()) != 0;
}

namespace {

// The shell's known folder (else the environment's variable) with "Vellum\"
// appended, in UTF-8; empty when neither names a full path.
std::string VellumFolderIn(REFKNOWNFOLDERID id, const wchar_t* variable) {
  std::wstring base;
  wchar_t* known = nullptr;
  const HRESULT result = SHGetKnownFolderPath(id, 0, nullptr, &known);
  // The buffer is the caller's to free whether or not the call succeeded.
  const std::unique_ptr<wchar_t, CoTaskMemFreer> owned(known);
  if (SUCCEEDED(result) && known != nullptr && IsFullPath(known)) {
    base = known;
  } else {
    // Without the shell's answer the environment's is the next best.
    base = FullPathFromEnvironment(variable);
  }
  if (base.empty()) return {};
  if (base.back() != L'\\' && base.back() != L'/') base += L'\\';
  const std::string folder = WideToUtf8(base);
  return folder.empty() ? folder : folder + "Vellum\\";
}

}  // namespace

std::string SystemFileSystem::UserSettingsFolder() const {
  return VellumFolderIn(FOLDERID_RoamingAppData, L"APPDATA");
}

std::string SystemFileSystem::UserLibraryFolder() const {
  // Libraries are big and belong to this machine: the local, not the roaming,
  // application data.
  return VellumFolderIn(FOLDERID_LocalAppData, L"LOCALAPPDATA");
}

bool SystemFileSystem::CreateFolders(const std::string& folder) const {
  const std::wstring wide = Utf8ToWide(folder);
  if (wide.empty()) return false;
  for (std::size_t end = wide.find_first_of(L"\\/", RootLength(wide)); end != std::wstring::npos;
       end = wide.find_first_of(L"\\/", end + 1)) {
    const std::wstring part = wide.substr(0, end);
    if (!CreateDirectoryW(part.c_str(), nullptr) && !IsFolder(part)) return false;
  }
  if (!IsFolder(wide) && !CreateDirectoryW(wide.c_str(), nullptr)) return false;
  return IsFolder(wide);
}

std::string SystemFileSystem::ResolvePath(const std::string& folder,
                                          std::string_view relative) const {
  // The name comes from an ini file, whose text is ANSI; the folder is UTF-8.
  return folder + WideToUtf8(AnsiToWide(relative));
}

// Locale rules.

std::string LocaleTextRules::Upper(std::string_view text) const {
  std::string upper(text);
  if (!upper.empty()) CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
  return upper;
}

int LocaleTextRules::CompareIgnoringCase(std::string_view a, std::string_view b) const {
  const int order =
      CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                     b.data(), static_cast<int>(b.size()));
  if (order == 0) return AsciiTextRules().CompareIgnoringCase(a, b);  // call failed
  return order - CSTR_EQUAL;
}

}  // namespace vellum
