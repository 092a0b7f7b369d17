#include "app/win32/child_process_win.h"

#include <cstdint>
#include <cstdio>

#include "core/guarded.h"
#include "platform/wide_text_win.h"

namespace vellum::win32 {
namespace {

constexpr DWORD kStopWaitMs = 10000;  // for a program asked to stop, before it is made to

// A handle closed when it goes out of scope.
struct Handle {
  HANDLE value = nullptr;
  Handle() = default;
  explicit Handle(HANDLE h) : value(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (value != nullptr) CloseHandle(value);
  }
  HANDLE Release() {
    HANDLE h = value;
    value = nullptr;
    return h;
  }
};

std::string LastErrorText() {
  wchar_t* text = nullptr;
  const DWORD error = GetLastError();
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string said = text != nullptr ? WideToUtf8(text) : "error " + std::to_string(error);
  if (text != nullptr) LocalFree(text);
  while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == '.'))
    said.pop_back();
  return said;
}

}  // namespace

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
    return argument;
  // Backslashes are plain unless they stand before a quote: there they are
  // doubled, and the quote escaped.
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');  // before the closing quote
  quoted += L'"';
  return quoted;
}

std::unique_ptr<ChildProcessWin> ChildProcessWin::Start(
    const std::wstring& program, std::vector<std::string> arguments, const char* stop_option,
    const std::wstring& errors_path, HWND window, UINT notify, std::string& error) {
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  Handle stop;
  if (stop_option != nullptr) {
    stop.value = CreateEventW(&inherited, TRUE, FALSE, nullptr);
    if (stop.value == nullptr) {
      error = "cannot make an event: " + LastErrorText();
      return nullptr;
    }
    arguments.push_back(stop_option);
    arguments.push_back(std::to_string(reinterpret_cast<std::uintptr_t>(stop.value)));
  }
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherited, 0)) {
    error = "cannot make a pipe: " + LastErrorText();
    return nullptr;
  }
  Handle ours(read_end);
  Handle theirs(write_end);
  // Only the child's end is inherited.
  if (!SetHandleInformation(ours.value, HANDLE_FLAG_INHERIT, 0)) {
    error = "cannot keep the pipe: " + LastErrorText();
    return nullptr;
  }
  Handle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                           OPEN_EXISTING, 0, nullptr));
  Handle errors(CreateFileW(errors_path.empty() ? L"NUL" : errors_path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                            errors_path.empty() ? OPEN_EXISTING : CREATE_ALWAYS,
                            FILE_ATTRIBUTE_TEMPORARY, nullptr));
  if (input.value == nullptr || errors.value == nullptr) {
    error = "cannot open the program's input or error file: " + LastErrorText();
    return nullptr;
  }
  std::wstring command_line = QuoteArgument(program);
  for (const std::string& argument : arguments)
    command_line += L" " + QuoteArgument(Utf8ToWide(argument));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.value;
  startup.hStdOutput = theirs.value;
  startup.hStdError = errors.value;
  PROCESS_INFORMATION started{};
  // A console program, without a console window of its own.
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started)) {
    error = "cannot start " + WideToUtf8(program) + ": " + LastErrorText();
    return nullptr;
  }
  CloseHandle(started.hThread);
  std::unique_ptr<ChildProcessWin> child(new ChildProcessWin);
  child->process_ = started.hProcess;
  child->stop_ = stop.Release();
  child->output_ = ours.Release();
  child->window_ = window;
  child->notify_ = notify;
  // Our copy of its end goes now: the pipe ends when the child's does.
  CloseHandle(theirs.Release());
  child->reader_ = std::thread([raw = child.get()] { raw->Read(); });
  return child;
}

ChildProcessWin::~ChildProcessWin() {
  if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    if (!Interrupt() || WaitForSingleObject(process_, kStopWaitMs) != WAIT_OBJECT_0)
      TerminateProcess(process_, 1);
  }
  if (reader_.joinable()) reader_.join();
  CloseHandle(output_);
  CloseHandle(process_);
  if (stop_ != nullptr) CloseHandle(stop_);
}

void ChildProcessWin::Read() {
  std::string pending;
  char chunk[4096];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(output_, chunk, sizeof chunk, &n, nullptr) || n == 0) break;
    std::vector<std::string> complete;
    pending.append(chunk, n);
    std::size_t start = 0;
    for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
      std::string line = pending.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      complete.push_back(std::move(line));
    }
    pending.erase(0, start);
    if (complete.empty()) continue;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      for (std::string& line : complete)
        lines_.push_back(std::move(line));
    }
    PostMessageW(window_, notify_, 0, 0);
  }
  WaitForSingleObject(process_, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process_, &code);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!pending.empty()) lines_.push_back(pending);
    exit_code_ = static_cast<int>(code);
  }
  PostMessageW(window_, notify_, 1, 0);
}

std::vector<std::string> ChildProcessWin::TakeLines() {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> taken(std::make_move_iterator(lines_.begin()),
                                 std::make_move_iterator(lines_.end()));
  lines_.clear();
  return taken;
}

std::optional<int> ChildProcessWin::ExitCode() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return lines_.empty() ? exit_code_ : std::nullopt;
}

bool ChildProcessWin::Interrupt() {
  return stop_ != nullptr && SetEvent(stop_) != FALSE;
}

}  // namespace vellum::win32
