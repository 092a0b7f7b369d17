// Timers, the message pump and the host link of the Linux front end.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "core/ports.h"
#include "host/x11_link.h"

namespace vellum {

// GLib timeouts; each tick is handed to on_tick.
class GlibTimers final : public TimerPort {
 public:
  explicit GlibTimers(std::function<void(TimerId)> on_tick) : on_tick_(std::move(on_tick)) {}
  GlibTimers(const GlibTimers&) = delete;
  GlibTimers& operator=(const GlibTimers&) = delete;
  ~GlibTimers() override;
  void Start(TimerId id, int interval_ms) override;
  void Stop(TimerId id) override;

 private:
  struct Tick {
    GlibTimers* timers;
    TimerId id;
  };
  static gboolean OnTick(gpointer data);

  std::function<void(TimerId)> on_tick_;
  std::array<guint, kTimerCount> sources_{};
  std::array<Tick, kTimerCount> ticks_{};
};

class GlibPump final : public MessagePump {
 public:
  void ProcessMessages(PumpMode mode) override;
  std::uint64_t NowMs() override;
};

// Requests go out on a connection of the link's own, so that waiting for the
// host to take one reads nothing of the toolkit's events.
class X11HostLink final : public HostLinkPort {
 public:
  X11HostLink();
  X11HostLink(const X11HostLink&) = delete;
  X11HostLink& operator=(const X11HostLink&) = delete;
  ~X11HostLink() override;

  void SetOwnWindow(host::XWindow window) { own_window_ = window; }
  bool FindHostWindow() override;
  std::optional<ScreenRect> HostWindowRect() override;
  void SendRequest(std::string_view text) override;

 private:
  host::XDisplay* display_ = nullptr;
  host::XWindow own_window_ = 0;
  std::optional<host::XWindow> host_window_;
};

}  // namespace vellum
