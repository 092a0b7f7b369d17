// Vellum for Windows: plain Win32 and the WebBrowser control.
#include <ole2.h>
#include <shellapi.h>
#include <windows.h>

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/win32/viewer_window_win.h"
#include "core/libraries.h"
#include "host/protocol.h"
#include "platform/platform.h"
#include "platform/wide_text_win.h"
#include "vellum_version.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "Usage: vellum [--biblesync] [--library NAME] | --help | --version\r\n"
    "Shows book pages beside a host reading program, which tells it the book,\r\n"
    "chapter and verse to show (vellum-host.exe plays such a host).\r\n"
    "\r\n"
    "  --biblesync  follow other Bible programs on this computer (BibleSync)\r\n"
    "               for this run, whatever the settings say\r\n"
    "  --library NAME\r\n"
    "               show this library for this run: its folder's name without\r\n"
    "               \".htm\", or its ShortName (case ignored)\r\n"
    "  --help       show this text\r\n"
    "  --version    show the version\r\n"
    "\r\n"
    "Exit codes: 0 the window was closed; 1 start-up failed; 2 the command line is\r\n"
    "wrong (an unknown library among it: the libraries found are listed).\r\n";

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

// What the command line asks for: an answer of its own (the exit code of
// --help, --version or a wrong command line), or a start with its options.
struct CommandLine {
  std::optional<int> answered;
  vellum::StartOptions options;
};

CommandLine ReadCommandLine() {
  CommandLine line;
  int count = 0;
  const std::unique_ptr<wchar_t*, LocalFreer> args(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!args) {
    Say("vellum: cannot read the command line\r\n", true);
    line.answered = kExitFailed;
    return line;
  }
  if (count <= 1) return line;
  const std::wstring_view first = args.get()[1];
  const bool help = first == L"--help" || first == L"-h" || first == L"/?";
  const bool version = first == L"--version";
  if (count == 2 && help) {
    Say(kUsage, false);
    line.answered = 0;
    return line;
  }
  if (count == 2 && version) {
    Say(std::string("vellum ") + vellum::kVersion + "\r\n", false);
    line.answered = 0;
    return line;
  }
  // --help and --version stand alone; --biblesync and --library go together.
  for (int i = 1; i < count; ++i) {
    const std::wstring_view arg = args.get()[i];
    if (arg == L"--biblesync") {
      line.options.follow_sync = true;
      continue;
    }
    if (arg == L"--library" && i + 1 < count) {
      // Folder names are UTF-8 here, ShortNames ANSI text: either may match.
      const std::wstring_view name = args.get()[++i];
      const vellum::SystemFileSystem fs;
      const vellum::LocaleTextRules rules;
      const auto libraries = vellum::InstalledLibraries(fs, rules);
      line.options.library = vellum::WideToUtf8(name);
      if (!vellum::FindLibraryNamed(libraries, line.options.library, rules))
        line.options.library = vellum::WideToAnsi(name);
      const std::string unknown =
          vellum::UnknownLibraryText("vellum", line.options.library, libraries, rules);
      if (!unknown.empty()) {
        Say(vellum::WideToUtf8(vellum::DisplayTextToWide(unknown)), true);
        line.answered = kExitUsage;
        return line;
      }
      continue;
    }
    Say("vellum: unexpected argument \"" + vellum::WideToUtf8(arg) + "\"\r\n\r\n" + kUsage, true);
    line.answered = kExitUsage;
    return line;
  }
  return line;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const CommandLine line = ReadCommandLine();
  if (line.answered) return *line.answered;
  // OLE comes first and goes last: the browser control lives in between.
  if (FAILED(OleInitialize(nullptr))) {
    Fail("OLE cannot be initialised.");
    return kExitFailed;
  }
  int code = kExitFailed;
  try {
    vellum::win32::ViewerWindowWin window(instance, line.options);
    code = window.Run();
  } catch (const std::exception& error) {
    Fail(error.what());
  } catch (...) {
    Fail("Unexpected failure.");
  }
  OleUninitialize();
  return code;
}
