#include "app/gtk/ports_gtk.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <exception>

#include "core/guarded.h"
#include "host/protocol.h"

namespace vellum {

GlibTimers::~GlibTimers() {
  for (guint& source : sources_) {
    if (source != 0) g_source_remove(source);
    source = 0;
  }
}

void GlibTimers::Start(TimerId id, int interval_ms) {
  const auto i = static_cast<std::size_t>(id);
  if (sources_[i] != 0) g_source_remove(sources_[i]);
  ticks_[i] = {this, id};
  sources_[i] = g_timeout_add(static_cast<guint>(interval_ms), OnTick, &ticks_[i]);
}

void GlibTimers::Stop(TimerId id) {
  const auto i = static_cast<std::size_t>(id);
  if (sources_[i] != 0) g_source_remove(sources_[i]);
  sources_[i] = 0;
}

gboolean GlibTimers::OnTick(gpointer data) {
  const Tick* tick = static_cast<Tick*>(data);
  Guarded([&] { tick->timers->on_tick_(tick->id); });
  return G_SOURCE_CONTINUE;
}

namespace {

// A timeout that wakes the main loop once after a short while; removed when
// it goes out of scope without having fired, however the scope is left, so
// it never writes to a flag that is gone.
class WakeUp {
 public:
  explicit WakeUp(guint ms) : id_(g_timeout_add(ms, Fire, &fired_)) {}
  WakeUp(const WakeUp&) = delete;
  WakeUp& operator=(const WakeUp&) = delete;
  ~WakeUp() {
    if (!fired_ && id_ != 0) g_source_remove(id_);
  }

 private:
  static gboolean Fire(gpointer flag) {
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
  }
  bool fired_ = false;
  guint id_;
};

}  // namespace

void GlibPump::ProcessMessages(PumpMode mode) {
  if (mode == PumpMode::kWait) {
    // Wake up after a short while even when nothing happens.
    const WakeUp wake(10);
    g_main_context_iteration(nullptr, TRUE);
  }
  for (int i = 0; i < 1000 && g_main_context_iteration(nullptr, FALSE); ++i) {
  }
}

std::uint64_t GlibPump::NowMs() {
  return static_cast<std::uint64_t>(g_get_monotonic_time() / 1000);
}

X11HostLink::X11HostLink() : display_(XOpenDisplay(nullptr)) {
  if (display_ == nullptr) std::fprintf(stderr, "vellum: no X connection for the host link\n");
}

X11HostLink::~X11HostLink() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

bool X11HostLink::FindHostWindow() {
  host_window_ = display_ != nullptr ? host::FindHostWindow(display_) : std::nullopt;
  return host_window_.has_value();
}

std::optional<ScreenRect> X11HostLink::HostWindowRect() {
  if (display_ == nullptr || !host_window_) return std::nullopt;
  return host::FrameRect(display_, *host_window_);
}

void X11HostLink::SendRequest(std::string_view text) {
  if (display_ == nullptr || !host_window_) return;
  host::SendMessage(
      display_, *host_window_,
      {host::kRequest, static_cast<std::uint32_t>(own_window_), host::RequestPayload(text)},
      host::kRequestTimeoutMs);
}

}  // namespace vellum
