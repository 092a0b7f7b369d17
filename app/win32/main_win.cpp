// Vellum for Windows: plain Win32 and the WebBrowser control.
#include <ole2.h>
#include <shellapi.h>
#include <windows.h>

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/platform/wide_text_win.h"
#include "app/win32/viewer_window_win.h"
#include "host/protocol.h"
#include "vellum_version.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "Usage: vellum [--help | --version]\r\n"
    "Shows book pages beside a host reading program, which tells it the book,\r\n"
    "chapter and verse to show (vellum-host.exe plays such a host).\r\n"
    "\r\n"
    "  --help     show this text\r\n"
    "  --version  show the version\r\n"
    "\r\n"
    "Exit codes: 0 the window was closed; 1 start-up failed; 2 the command line is\r\n"
    "wrong.\r\n";

struct LocalFreer {
  void operator()(wchar_t** args) const { LocalFree(args); }
};
struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};

bool WriteText(HANDLE handle, const std::string& text) {
  DWORD written = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

// A program of the Windows subsystem has no console of its own. Its text goes
// to standard output (or error) when whoever started it redirected that, else
// to the console of the command prompt it was started from, else into a
// message box.
void Say(const std::string& text, bool error) {
  if (WriteText(GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE), text)) return;
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    const std::unique_ptr<void, HandleCloser> console(CreateFileW(
        L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    const bool shown = console.get() != INVALID_HANDLE_VALUE && WriteText(console.get(), text);
    FreeConsole();
    if (shown) return;
  }
  MessageBoxA(nullptr, text.c_str(), std::string(vellum::host::kViewerTitle).c_str(),
              MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

void Fail(const char* what) {
  MessageBoxA(nullptr, what, std::string(vellum::host::kViewerTitle).c_str(), MB_OK | MB_ICONERROR);
}

// The command line's answer when it is more than a plain start: the exit
// code of --help, --version or a wrong command line.
std::optional<int> AnswerCommandLine() {
  int count = 0;
  const std::unique_ptr<wchar_t*, LocalFreer> args(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!args) {
    Say("vellum: cannot read the command line\r\n", true);
    return kExitFailed;
  }
  if (count <= 1) return std::nullopt;
  const std::wstring_view first = args.get()[1];
  const bool help = first == L"--help" || first == L"-h" || first == L"/?";
  const bool version = first == L"--version";
  if (count == 2 && help) {
    Say(kUsage, false);
    return 0;
  }
  if (count == 2 && version) {
    Say(std::string("vellum ") + vellum::kVersion + "\r\n", false);
    return 0;
  }
  // Each option stands alone: what follows one is as wrong as an unknown one.
  const std::wstring_view bad = help || version ? args.get()[2] : first;
  Say("vellum: unexpected argument \"" + vellum::WideToUtf8(bad) + "\"\r\n\r\n" + kUsage, true);
  return kExitUsage;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (const std::optional<int> answered = AnswerCommandLine()) return *answered;
  // OLE comes first and goes last: the browser control lives in between.
  if (FAILED(OleInitialize(nullptr))) {
    Fail("OLE cannot be initialised.");
    return kExitFailed;
  }
  int code = kExitFailed;
  try {
    vellum::win32::ViewerWindowWin window(instance);
    code = window.Run();
  } catch (const std::exception& error) {
    Fail(error.what());
  } catch (...) {
    Fail("Unexpected failure.");
  }
  OleUninitialize();
  return code;
}
