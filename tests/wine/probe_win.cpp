// vellum-probe: prints, as one JSON object, what a test can see of the
// running viewer from outside: its window, the owner, the title-bar controls,
// the browser control's windows and any open pop-up menu.
//   vellum-probe                          the viewer (exit code 3 when there is none)
//   vellum-probe burst CODE:CH:V ...      show-location messages back to back
//   vellum-probe answer-time CODE:CH:V    one show-location message; prints how long the viewer
//                                         took to take it, in milliseconds
//   vellum-probe restore                  restores the application from the taskbar
//   vellum-probe activate                 activates the taskbar entry, as a click on it does
//   vellum-probe watch-visible MS         samples the viewer's visible style for MS milliseconds
//                                         and prints how often it was seen without it
//   vellum-probe end-session              asks the viewer whether the session may end, then tells
//                                         it that it ends (as a logoff does), and prints the answer
//   vellum-probe colour-set-change        tells the viewer, as Windows does, that the apps'
//                                         colour mode may have changed
//   vellum-probe copydata                 sends an empty message of an unused code and prints
//                                         what the viewer's window procedure returned
//   vellum-probe stand-in CLASS TITLE MS  another program's window of the viewer's class: shown
//                                         for MS milliseconds (no viewer needed), then prints
//                                         whether anyone asked it to close
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>

#include "app/win32/layout_win.h"
#include "host/win32_link.h"
#include "tools/host_cli.h"

namespace {

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// Asked of the window itself: GetWindowText reads another process's edit
// field as it was made, never what was typed into it since. Read as UTF-16
// and written as JSON escapes, so every character comes through as it is.
// UTF-16 text as a JSON string, every character as it is.
std::string WideJson(const wchar_t* text) {
  std::string out = "\"";
  for (const wchar_t* c = text; *c != L'\0'; ++c) {
    if (*c == L'"' || *c == L'\\') {
      out += '\\';
      out += static_cast<char>(*c);
    } else if (*c < 0x20 || *c >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(*c));
      out += escaped;
    } else {
      out += static_cast<char>(*c);
    }
  }
  return out + "\"";
}

std::string TextOf(HWND window) {
  wchar_t text[512] = {};
  DWORD_PTR copied = 0;
  if (SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text),
                          SMTO_NORMAL | SMTO_ABORTIFHUNG, 2000, &copied) == 0)
    text[0] = L'\0';
  text[511] = L'\0';
  return WideJson(text);
}

std::string Rect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  char text[96];
  std::snprintf(text, sizeof text, "[%ld, %ld, %ld, %ld]", r.left, r.top, r.right, r.bottom);
  return text;
}

std::string Flag(bool value) {
  return value ? "true" : "false";
}

std::string Describe(HWND window) {
  const int id = GetDlgCtrlID(window);
  const char* name = vellum::win32::ControlName(id);
  return "{\"name\": " + Quote(name != nullptr ? name : "") +
         ", \"class\": " + Quote(ClassOf(window)) + ", \"text\": " + TextOf(window) +
         ", \"rect\": " + Rect(window) + ", \"visible\": " + Flag(IsWindowVisible(window)) +
         ", \"enabled\": " + Flag(IsWindowEnabled(window)) + "}";
}

BOOL CALLBACK AddChild(HWND child, LPARAM data) {
  auto* list = reinterpret_cast<std::string*>(data);
  if (!list->empty()) *list += ",\n  ";
  *list += Describe(child);
  return TRUE;
}

// Pop-up menus are top-level windows of the system class "#32768".
BOOL CALLBACK AddMenu(HWND window, LPARAM data) {
  if (ClassOf(window) != "#32768" || !IsWindowVisible(window)) return TRUE;
  auto* list = reinterpret_cast<std::string*>(data);
  if (!list->empty()) *list += ", ";
  *list += Rect(window);
  return TRUE;
}

// A list box's items, each with whether it is selected (ticked).
std::string ListItems(HWND list) {
  DWORD_PTR count = 0;
  if (SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 2000, &count) == 0) return "[]";
  std::string items;
  for (WPARAM i = 0; i < static_cast<WPARAM>(count) && i < 500; ++i) {
    wchar_t text[1024] = {};
    DWORD_PTR length = 0;
    DWORD_PTR selected = 0;
    SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_NORMAL, 2000, &length);
    if (length < 1024)
      SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 2000,
                          &length);
    SendMessageTimeoutW(list, LB_GETSEL, i, 0, SMTO_NORMAL, 2000, &selected);
    if (!items.empty()) items += ", ";
    items += "{\"text\": " + WideJson(text) +
             ", \"selected\": " + Flag(static_cast<LONG_PTR>(selected) > 0) + "}";
  }
  return "[" + items + "]";
}

BOOL CALLBACK AddDialogControl(HWND child, LPARAM data) {
  auto* list = reinterpret_cast<std::string*>(data);
  if (!list->empty()) *list += ",\n  ";
  *list += "{\"id\": " + std::to_string(GetDlgCtrlID(child)) +
           ", \"class\": " + Quote(ClassOf(child)) + ", \"text\": " + TextOf(child) +
           ", \"rect\": " + Rect(child) + ", \"visible\": " + Flag(IsWindowVisible(child)) +
           ", \"enabled\": " + Flag(IsWindowEnabled(child));
  if (ClassOf(child) == "ListBox") *list += ", \"items\": " + ListItems(child);
  *list += "}";
  return TRUE;
}

// One of the viewer's dialogs, found by its title: its controls, their
// texts and states, and the control with the keys.
int DialogReport(HWND viewer, const char* title) {
  HWND dialog = FindWindowA("#32770", title);
  DWORD viewer_process = 0;
  DWORD dialog_process = 0;
  GetWindowThreadProcessId(viewer, &viewer_process);
  const DWORD thread = dialog != nullptr ? GetWindowThreadProcessId(dialog, &dialog_process) : 0;
  if (dialog == nullptr || dialog_process != viewer_process) {
    std::printf("{}\n");
    return 3;
  }
  std::string controls;
  EnumChildWindows(dialog, AddDialogControl, reinterpret_cast<LPARAM>(&controls));
  GUITHREADINFO keys{};
  keys.cbSize = sizeof keys;
  const int focus = GetGUIThreadInfo(thread, &keys) && keys.hwndFocus != nullptr
                        ? GetDlgCtrlID(keys.hwndFocus)
                        : -1;
  std::printf("{\"visible\": %s, \"rect\": %s, \"focus_id\": %d,\n \"controls\": [\n  %s]}\n",
              Flag(IsWindowVisible(dialog)).c_str(), Rect(dialog).c_str(), focus, controls.c_str());
  return 0;
}

// Sends each CODE:CHAPTER:VERSE as a show-location message, as fast as the
// viewer takes them: quicker than the host tool, which is one process each.
int Burst(HWND viewer, int count, char** items) {
  for (int i = 0; i < count; ++i) {
    const std::string item = items[i];
    const std::size_t first = item.find(':');
    const std::size_t second = item.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) return 2;
    // The record is built as vellum-host's show builds it.
    const auto parsed = vellum::tools::ParseHostCommand(
        {"show", std::string_view(item).substr(0, first),
         std::string_view(item).substr(first + 1, second - first - 1),
         std::string_view(item).substr(second + 1)});
    const auto* show =
        parsed.command ? std::get_if<vellum::tools::SendCommand>(&*parsed.command) : nullptr;
    if (show == nullptr) return 2;
    if (vellum::host::SendCopyData(viewer, nullptr, show->code, show->payload, 2000) !=
        vellum::host::SendStatus::kTaken)
      return 4;
  }
  return 0;
}

bool g_asked_to_close = false;

// A window of another program that happens to use the viewer's class name.
int StandIn(const char* window_class, const char* title, DWORD ms) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = [](HWND window, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
    if (message == WM_CLOSE) {
      g_asked_to_close = true;
      return 0;  // it stays: the test tells what was asked
    }
    return DefWindowProcA(window, message, wparam, lparam);
  };
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = window_class;
  if (RegisterClassA(&wc) == 0) return 5;
  HWND window = CreateWindowExA(0, window_class, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                                300, 200, nullptr, nullptr, wc.hInstance, nullptr);
  if (window == nullptr) return 5;
  std::printf("{\"shown\": true}\n");
  std::fflush(stdout);
  const ULONGLONG end = GetTickCount64() + ms;
  MSG msg{};
  while (GetTickCount64() < end) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  std::printf("{\"asked_to_close\": %s}\n", g_asked_to_close ? "true" : "false");
  DestroyWindow(window);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string_view(argv[1]) == "stand-in")
    return StandIn(argv[2], argv[3], static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)));
  HWND viewer = vellum::host::FindViewerWindow();
  if (viewer == nullptr) {
    std::printf("{}\n");
    return 3;
  }
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "burst") return Burst(viewer, argc - 2, argv + 2);
  if (command == "dialog" && argc == 3) return DialogReport(viewer, argv[2]);
  if (command == "answer-time" && argc == 3) {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER start{};
    LARGE_INTEGER end{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const int result = Burst(viewer, 1, argv + 2);
    QueryPerformanceCounter(&end);
    if (result != 0) return result;
    std::printf("{\"answer_ms\": %.2f}\n", static_cast<double>(end.QuadPart - start.QuadPart) *
                                               1000.0 / static_cast<double>(frequency.QuadPart));
    return 0;
  }
  if (command == "copydata") {
    COPYDATASTRUCT data{};
    data.dwData = 99;  // no code of the protocol: the viewer takes it and does nothing
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(viewer, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL,
                            5000, &result) == 0)
      return 4;
    std::printf("{\"copydata_result\": %llu}\n", static_cast<unsigned long long>(result));
    return 0;
  }
  if (command == "watch-visible" && argc > 2) {
    const ULONGLONG end = GetTickCount64() + std::strtoull(argv[2], nullptr, 10);
    unsigned long samples = 0;
    unsigned long invisible = 0;
    while (GetTickCount64() < end && IsWindow(viewer)) {
      ++samples;
      if ((GetWindowLongA(viewer, GWL_STYLE) & WS_VISIBLE) == 0) ++invisible;
    }
    std::printf("{\"samples\": %lu, \"invisible\": %lu}\n", samples, invisible);
    return 0;
  }
  if (command == "end-session") {
    DWORD_PTR query = 0;
    DWORD_PTR ended = 0;
    if (SendMessageTimeoutA(viewer, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000,
                            &query) == 0 ||
        SendMessageTimeoutA(viewer, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000,
                            &ended) == 0)
      return 4;
    std::printf("{\"query\": %llu}\n", static_cast<unsigned long long>(query));
    return 0;
  }
  if (command == "colour-set-change") {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(viewer, WM_SETTINGCHANGE, 0,
                               reinterpret_cast<LPARAM>(L"ImmersiveColorSet"), SMTO_NORMAL, 5000,
                               &result) != 0
               ? 0
               : 4;
  }
  if (command == "activate") return SetForegroundWindow(GetWindow(viewer, GW_OWNER)) ? 0 : 1;
  if (command == "restore") {
    return PostMessageA(GetWindow(viewer, GW_OWNER), WM_SYSCOMMAND, SC_RESTORE, 0) ? 0 : 1;
  }
  HWND owner = GetWindow(viewer, GW_OWNER);
  RECT client{};
  GetClientRect(viewer, &client);
  POINT origin{0, 0};
  ClientToScreen(viewer, &origin);
  std::string children;
  EnumChildWindows(viewer, AddChild, reinterpret_cast<LPARAM>(&children));
  std::string menus;
  EnumWindows(AddMenu, reinterpret_cast<LPARAM>(&menus));
  // The window with the keyboard focus in the viewer's thread.
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  const bool has_focus = GetGUIThreadInfo(GetWindowThreadProcessId(viewer, nullptr), &thread) &&
                         thread.hwndFocus != nullptr;
  const std::string focus = has_focus ? ClassOf(thread.hwndFocus) : "";
  const char* focus_name =
      has_focus ? vellum::win32::ControlName(GetDlgCtrlID(thread.hwndFocus)) : nullptr;
  std::printf(
      "{\"class\": %s, \"text\": %s, \"style\": %lu, \"exstyle\": %lu, \"rect\": %s,\n"
      " \"client_origin\": [%ld, %ld], \"client_size\": [%ld, %ld],\n"
      " \"visible\": %s, \"iconic\": %s, \"foreground\": %s,\n"
      " \"owner\": {\"class\": %s, \"visible\": %s, \"iconic\": %s},\n"
      " \"focus\": %s, \"focus_name\": %s, \"menus\": [%s],\n \"children\": [\n  %s]}\n",
      Quote(ClassOf(viewer)).c_str(), TextOf(viewer).c_str(),
      static_cast<unsigned long>(GetWindowLongA(viewer, GWL_STYLE)),
      static_cast<unsigned long>(GetWindowLongA(viewer, GWL_EXSTYLE)), Rect(viewer).c_str(),
      origin.x, origin.y, client.right, client.bottom, Flag(IsWindowVisible(viewer)).c_str(),
      Flag(IsIconic(viewer)).c_str(), Flag(GetForegroundWindow() == viewer).c_str(),
      Quote(owner != nullptr ? ClassOf(owner) : "").c_str(),
      Flag(owner != nullptr && IsWindowVisible(owner)).c_str(),
      Flag(owner != nullptr && IsIconic(owner)).c_str(), Quote(focus).c_str(),
      Quote(focus_name != nullptr ? focus_name : "").c_str(), menus.c_str(), children.c_str());
  return 0;
}
