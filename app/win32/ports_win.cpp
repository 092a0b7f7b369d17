#include "app/win32/ports_win.h"

#include <dwmapi.h>

#include <cstdio>

#include "core/guarded.h"
#include "host/win32_link.h"

namespace vellum {

void Win32Timers::Start(TimerId id, int interval_ms) {
  if (window_ == nullptr) return;
  if (SetTimer(window_, TimerIdOf(id), static_cast<UINT>(interval_ms), nullptr) == 0)
    std::fprintf(stderr, "vellum: cannot start a timer (error %lu)\n", GetLastError());
}

void Win32Timers::Stop(TimerId id) {
  if (window_ != nullptr) KillTimer(window_, TimerIdOf(id));
}

bool Win32Timers::FromTimerId(UINT_PTR timer, TimerId* id) {
  if (timer < 1 || timer > static_cast<UINT_PTR>(kTimerCount)) return false;
  *id = static_cast<TimerId>(timer - 1);
  return true;
}

void Win32Pump::ProcessMessages(PumpMode mode) {
  // Waiting is bounded, so the page wait looks at the page again soon.
  if (mode == PumpMode::kWait)
    MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  MSG msg;
  for (int i = 0; i < 1000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (msg.message == WM_QUIT) {
      // The outer loop ends the program; leave the request for it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    Deliver(msg);
  }
}

void Win32Pump::Deliver(MSG& msg) {
  // The filter acts for the window procedures it stands before: nothing may
  // leave it into the system's dispatch.
  bool taken = false;
  if (filter_ && Guarded([&] { taken = filter_(msg); }) && taken) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

int WindowDpi(HWND window) {
  using DpiForWindow = UINT(WINAPI*)(HWND);
  static const auto dpi_for_window = [] {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    FARPROC found = user32 != nullptr ? GetProcAddress(user32, "GetDpiForWindow") : nullptr;
    return reinterpret_cast<DpiForWindow>(reinterpret_cast<void (*)()>(found));
  }();
  if (dpi_for_window != nullptr && window != nullptr) {
    const UINT dpi = dpi_for_window(window);
    if (dpi != 0) return static_cast<int>(dpi);
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

bool VisibleBounds(HWND window, RECT* bounds) {
  if (SUCCEEDED(
          DwmGetWindowAttribute(window, DWMWA_EXTENDED_FRAME_BOUNDS, bounds, sizeof *bounds)) &&
      bounds->right > bounds->left)
    return true;
  return GetWindowRect(window, bounds) != FALSE;
}

bool Win32HostLink::FindHostWindow() {
  host_window_ = host::FindHostWindow();
  return host_window_ != nullptr;
}

std::optional<ScreenRect> Win32HostLink::HostWindowRect() {
  RECT rect{};
  // Docking is to what the user sees of the host, not its invisible borders.
  if (host_window_ == nullptr || !IsWindow(host_window_) || !VisibleBounds(host_window_, &rect))
    return std::nullopt;
  return ScreenRect{rect.left, rect.top, rect.right, rect.bottom};
}

void Win32HostLink::SendRequest(std::string_view text) {
  if (host_window_ == nullptr) return;
  host::SendCopyData(host_window_, own_window_, host::kRequest, host::RequestPayload(text),
                     host::kRequestTimeoutMs);
}

}  // namespace vellum
