// vellum-check --bounds: starts the viewer beside it twice, closes it each
// time as a host does, and says where its settings put the window after each
// close. A window that opens where it was left gives the same bounds twice;
// one that drifts a little at every start (its invisible frame measured
// wrong) does not.
#include "tools/check_bounds_win.h"

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>

#include "core/catalogue.h"
#include "core/ini_file.h"
#include "host/protocol.h"
#include "host/win32_link.h"
#include "platform/platform.h"
#include "platform/wide_text_win.h"

namespace vellum {
namespace {

constexpr DWORD kStartLimitMs = 30'000;

struct SavedBounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const SavedBounds&) const = default;
};

struct ProcessHandles {
  PROCESS_INFORMATION info{};
  ~ProcessHandles() {
    if (info.hThread != nullptr) CloseHandle(info.hThread);
    if (info.hProcess != nullptr) CloseHandle(info.hProcess);
  }
};

std::string FolderOfThisProgram() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::wstring folder(path, length);
  folder.erase(folder.find_last_of(L"\\/") + 1);
  return WideToUtf8(folder);
}

// One start and close of the viewer; the bounds its settings then hold, or
// why there are none.
std::optional<SavedBounds> StartAndClose(const std::string& folder, std::string& why,
                                         bool minimize_first = false) {
  const std::wstring viewer = Utf8ToWide(folder + "vellum.exe");
  std::wstring command = L"\"" + viewer + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ProcessHandles process;
  if (!CreateProcessW(viewer.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process.info)) {
    why = "cannot start vellum.exe (error " + std::to_string(GetLastError()) + ")";
    return std::nullopt;
  }
  const ULONGLONG deadline = GetTickCount64() + kStartLimitMs;
  HWND window = nullptr;
  while (GetTickCount64() < deadline) {
    window = host::FindViewerWindow();
    if (window != nullptr && IsWindowVisible(window)) break;
    window = nullptr;
    if (WaitForSingleObject(process.info.hProcess, 100) == WAIT_OBJECT_0) break;
  }
  if (window == nullptr) {
    TerminateProcess(process.info.hProcess, 1);
    why = "the viewer's window did not appear";
    return std::nullopt;
  }
  // Minimised ("_" or the host's own command), the window is hidden: what
  // is saved at the close must be where it stood, not what a hidden window
  // measures.
  if (minimize_first) {
    if (host::SendCopyData(window, nullptr, host::kMinimize, {}, 5000) !=
        host::SendStatus::kTaken) {
      TerminateProcess(process.info.hProcess, 1);
      why = "the viewer did not take the minimise";
      return std::nullopt;
    }
    const ULONGLONG hidden_by = GetTickCount64() + kStartLimitMs;
    while (IsWindowVisible(window) && GetTickCount64() < hidden_by)
      Sleep(50);
  }
  // Shown, it stands where its settings put it: the close comes after that
  // through its message loop.
  if (host::SendCopyData(window, nullptr, host::kClose, {}, 5000) != host::SendStatus::kTaken ||
      WaitForSingleObject(process.info.hProcess, kStartLimitMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.info.hProcess, 1);
    why = "the viewer did not close when asked";
    return std::nullopt;
  }
  const SystemFileSystem files;
  const ReadResult read = files.ReadWholeFile(SettingsReadPath(files, folder));
  if (read.status != ReadResult::Status::kOk) {
    why = "no settings after the close";
    return std::nullopt;
  }
  const IniFile ini = IniFile::Parse(read.content);
  return SavedBounds{ini.ReadInteger("Form1", "left", -1), ini.ReadInteger("Form1", "top", -1),
                     ini.ReadInteger("Form1", "width", -1), ini.ReadInteger("Form1", "height", -1)};
}

std::string Text(const SavedBounds& b) {
  return std::to_string(b.left) + ", " + std::to_string(b.top) + ", " + std::to_string(b.width) +
         " x " + std::to_string(b.height);
}

}  // namespace

int CheckBounds() {
  const std::string folder = FolderOfThisProgram();
  std::string why;
  const std::optional<SavedBounds> first = StartAndClose(folder, why);
  const std::optional<SavedBounds> second = first ? StartAndClose(folder, why) : std::nullopt;
  const std::optional<SavedBounds> third = second ? StartAndClose(folder, why, true) : std::nullopt;
  if (!first || !second || !third) {
    std::printf("FAIL window bounds: %s\n0 passed, 1 failed\n", why.c_str());
    return 1;
  }
  const bool kept = *first == *second;
  const bool kept_minimized = *first == *third;
  std::printf(
      "%s window bounds: after a start and close %s; after another %s\n"
      "%s window bounds when minimised: %s\n%d passed, %d failed\n",
      kept ? "ok  " : "FAIL", Text(*first).c_str(),
      kept ? "the same" : ("moved to " + Text(*second)).c_str(), kept_minimized ? "ok  " : "FAIL",
      kept_minimized ? "the same after a minimise and close"
                     : ("saved as " + Text(*third) + " after a minimise").c_str(),
      (kept ? 1 : 0) + (kept_minimized ? 1 : 0), (kept ? 0 : 1) + (kept_minimized ? 0 : 1));
  return kept && kept_minimized ? 0 : 1;
}

}  // namespace vellum
