// A console program run by the viewer (vellum-import): its standard output
// read line by line on a thread of its own, its standard error into a file,
// and the window told by a posted message when lines or the end arrive. The
// window takes the lines from here; nothing is owned by a message, so that
// none is lost or leaked when the window goes first.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vellum::win32 {

// One argument quoted for a command line as CommandLineToArgvW and the C
// runtime read it back.
std::wstring QuoteArgument(const std::wstring& argument);

class ChildProcessWin {
 public:
  // Starts program with arguments (UTF-8); errors_path (UTF-16) receives its
  // standard error, nothing when empty. With stop_option, the program is
  // given that option and the number of an inherited event, which Interrupt
  // sets. notify is posted to window with wParam 0 when lines wait and 1 when
  // the program has ended. nullptr, and error set, when it could not start.
  static std::unique_ptr<ChildProcessWin> Start(const std::wstring& program,
                                                std::vector<std::string> arguments,
                                                const char* stop_option,
                                                const std::wstring& errors_path, HWND window,
                                                UINT notify, std::string& error);
  ChildProcessWin(const ChildProcessWin&) = delete;
  ChildProcessWin& operator=(const ChildProcessWin&) = delete;
  // Ends a program still running (asked first, then made to) and waits for
  // the reading thread.
  ~ChildProcessWin();

  // The lines read since the last call, without their line ends.
  std::vector<std::string> TakeLines();
  // The exit code once the program has ended and all its output is read.
  std::optional<int> ExitCode();
  // Asks the program to stop (sets its event): it cleans up and ends by
  // itself. False when it could not be asked.
  bool Interrupt();

 private:
  ChildProcessWin() = default;
  void Read();

  HANDLE process_ = nullptr;
  HANDLE output_ = nullptr;  // our end of its standard output
  HANDLE stop_ = nullptr;    // the event it stops at; nullptr: none
  HWND window_ = nullptr;
  UINT notify_ = 0;
  std::thread reader_;
  std::mutex mutex_;
  std::deque<std::string> lines_;
  std::optional<int> exit_code_;
};

}  // namespace vellum::win32
