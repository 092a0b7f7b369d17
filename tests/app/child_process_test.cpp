// The Windows viewer's child processes: arguments quoted so that the program
// reads back exactly what was meant, and a program's lines and exit code
// taken from its own thread. Run under Wine.
#include "app/win32/child_process_win.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace vellum::win32 {
namespace {

TEST(ChildProcesses, ArgumentsReadBackAsMeant) {
  const std::vector<std::wstring> arguments = {
      L"plain",
      L"two words",
      L"",
      L"tab\there",
      L"a \"quoted\" word",
      L"C:\\Program Files\\Vellum\\",  // a backslash before the closing quote
      L"C:\\plain\\path",              // backslashes left alone
      L"back\\\\\"slashes",            // backslashes before a quote
      L"\\\\server\\share\\x.zip",
      L"\u00fcnic\u00f6de \u2627",
  };
  std::wstring line = L"vellum-import.exe";
  for (const std::wstring& argument : arguments)
    line += L" " + QuoteArgument(argument);
  int count = 0;
  wchar_t** read = CommandLineToArgvW(line.c_str(), &count);
  ASSERT_NE(read, nullptr);
  std::vector<std::wstring> back(read + 1, read + count);
  LocalFree(read);
  EXPECT_EQ(back, arguments);
}

// Messages to a window of no class of ours: a message-only window.
HWND MessageWindow() {
  return CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

TEST(ChildProcesses, LinesAndExitCodeComeBack) {
  HWND window = MessageWindow();
  ASSERT_NE(window, nullptr);
  wchar_t system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
  std::string error;
  auto child = ChildProcessWin::Start(cmd, {"/c", "echo one& echo two& exit 3"}, nullptr, L"",
                                      window, WM_APP, error);
  ASSERT_NE(child, nullptr) << error;
  std::vector<std::string> lines;
  std::optional<int> code;
  MSG msg{};
  const ULONGLONG deadline = GetTickCount64() + 60000;
  while (!code && GetTickCount64() < deadline) {
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0) continue;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message != WM_APP) continue;
      for (std::string& line : child->TakeLines())
        lines.push_back(line);
      code = child->ExitCode();
    }
  }
  EXPECT_EQ(code, 3);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 3), "one");
  EXPECT_EQ(lines[1], "two");
  EXPECT_FALSE(child->Interrupt()) << "no stop event was asked for";

  EXPECT_EQ(ChildProcessWin::Start(L"C:\\no\\such.exe", {}, nullptr, L"", window, WM_APP, error),
            nullptr);
  EXPECT_NE(error.find("cannot start"), std::string::npos) << error;
  DestroyWindow(window);
}

}  // namespace
}  // namespace vellum::win32
