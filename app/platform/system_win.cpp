// The running system's services for Windows: Win32 files and folders, and the
// system's ANSI code page rules for case and order.
#include <windows.h>

#include <algorithm>
#include <memory>

#include "app/platform/platform.h"

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

FileHandle MakeFileHandle(HANDLE handle) {
  return FileHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// The system's text for an error code, without the trailing line break and
// full stop that FormatMessage adds.
std::string ErrorText(DWORD error) {
  char* buffer = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n != 0 && buffer != nullptr ? std::string(buffer, n)
                                                 : "System error " + std::to_string(error);
  if (buffer != nullptr) LocalFree(buffer);
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

}  // namespace

char SystemFileSystem::Separator() const {
  return '\\';
}

std::string_view SystemFileSystem::NativeLineEnding() const {
  return "\r\n";
}

std::string SystemFileSystem::ExecutablePath() const {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::vector<FolderEntry> SystemFileSystem::ListSubfolders(const std::string& folder) const {
  std::vector<FolderEntry> folders;
  WIN32_FIND_DATAA data{};
  FindHandle find(FindFirstFileA((folder + "*").c_str(), &data));
  if (find.get() == INVALID_HANDLE_VALUE) return folders;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
    folders.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0,
                       (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0});
  } while (FindNextFileA(find.get(), &data));
  return folders;
}

bool SystemFileSystem::IsFile(const std::string& path) const {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

ReadResult SystemFileSystem::ReadWholeFile(const std::string& path) const {
  ReadResult result;
  FileHandle file =
      MakeFileHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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
  const std::size_t slash = path.find_last_of("\\/:");
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  char temp[MAX_PATH + 1] = {};
  if (GetTempFileNameA(folder.c_str(), "vel", 0, temp) == 0) {
    return {false, ErrorText(GetLastError())};
  }
  DWORD error = 0;
  {
    FileHandle file = MakeFileHandle(CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      error = GetLastError();
    } else if (!WriteAll(file.get(), content) || !FlushFileBuffers(file.get())) {
      error = GetLastError();
    } else if (!CloseHandle(file.release())) {
      error = GetLastError();
    }
  }
  if (error == 0 &&
      !MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
  }
  if (error != 0) {
    DeleteFileA(temp);
    return {false, ErrorText(error)};
  }
  return {true, {}};
}

std::string SystemFileSystem::ResolvePath(const std::string& folder,
                                          std::string_view relative) const {
  return folder + std::string(relative);
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
