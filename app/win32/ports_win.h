// Timers, the message pump and the host link of the Windows front end.
#pragma once

#include <windows.h>

#include <functional>

#include "core/ports.h"

namespace vellum {

// Window timers of one window; their WM_TIMER ids are TimerTimerId().
class Win32Timers final : public TimerPort {
 public:
  void SetWindow(HWND window) { window_ = window; }
  void Start(TimerId id, int interval_ms) override;
  void Stop(TimerId id) override;
  // The WM_TIMER id of a timer, and back (nothing for other ids).
  static UINT_PTR TimerIdOf(TimerId id) { return static_cast<UINT_PTR>(id) + 1; }
  static bool FromTimerId(UINT_PTR timer, TimerId* id);

 private:
  HWND window_ = nullptr;
};

class Win32Pump final : public MessagePump {
 public:
  // Sees every message before it is dispatched, in the page wait's pump as
  // in the main loop; true when it has dealt with the message.
  using Filter = std::function<bool(MSG& msg)>;
  void SetFilter(Filter filter) { filter_ = std::move(filter); }
  // Translates and dispatches one message unless the filter takes it.
  void Deliver(MSG& msg);

  void ProcessMessages(PumpMode mode) override;
  std::uint64_t NowMs() override { return GetTickCount64(); }

 private:
  Filter filter_;
};

// A window's visible bounds: on Windows 10 and 11 the resize borders are
// invisible but inside the window rectangle, so DWM's extended frame bounds
// are what the user sees; where DWM does not answer (older systems, Wine),
// the window rectangle.
bool VisibleBounds(HWND window, RECT* bounds);

// The window's DPI: GetDpiForWindow where the system has it (Windows 10
// 1607 and later), else the screen's.
int WindowDpi(HWND window);

class Win32HostLink final : public HostLinkPort {
 public:
  void SetOwnWindow(HWND window) { own_window_ = window; }
  bool FindHostWindow() override;
  std::optional<ScreenRect> HostWindowRect() override;
  void SendRequest(std::string_view text) override;

 private:
  HWND own_window_ = nullptr;
  HWND host_window_ = nullptr;
};

}  // namespace vellum
