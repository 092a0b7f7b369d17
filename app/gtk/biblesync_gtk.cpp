#include "app/gtk/biblesync_gtk.h"

#include <glib-unix.h>
#include <sys/utsname.h>

#include <cstdio>
#include <utility>

#include "core/guarded.h"
#include "vellum_version.h"

namespace vellum {
namespace {

// Who we are to the other programs: the user as "Real Name (login)", as
// other programs on Linux tell themselves.
host::biblesync::Identity ThisProgram() {
  host::biblesync::Identity identity;
  identity.application = "Vellum";
  identity.version = kVersion;
  const std::string login = g_get_user_name();
  const std::string real = g_get_real_name();
  identity.user = real.empty() || real == "Unknown" ? login : real + " (" + login + ")";
  identity.os = "Linux";
  utsname system{};
  identity.device = uname(&system) == 0 ? system.machine : "unknown";
  return identity;
}

void TraceLine(const std::string& line) {
  std::fprintf(stderr, "vellum: biblesync: %s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace

std::optional<std::string> GlibSyncLoop::Start(std::uintptr_t socket,
                                               std::function<void()> on_readable,
                                               std::function<void()> on_tick) {
  Stop();
  on_readable_ = std::move(on_readable);
  on_tick_ = std::move(on_tick);
  watch_ =
      g_unix_fd_add(static_cast<gint>(socket),
                    static_cast<GIOCondition>(G_IO_IN | G_IO_ERR | G_IO_HUP), OnReadable, this);
  tick_ = g_timeout_add(kTickMs, OnTick, this);
  if (watch_ == 0 || tick_ == 0) {
    Stop();
    return "the socket could not be watched";
  }
  return std::nullopt;
}

void GlibSyncLoop::Stop() {
  if (watch_ != 0) g_source_remove(watch_);
  if (tick_ != 0) g_source_remove(tick_);
  watch_ = 0;
  tick_ = 0;
}

gboolean GlibSyncLoop::OnReadable(gint, GIOCondition, gpointer data) {
  // A copy: the link may stop the watch from inside (leaving), or start
  // another. The source then goes by g_source_remove, and G_SOURCE_CONTINUE
  // is harmless.
  const std::function<void()> callback = static_cast<GlibSyncLoop*>(data)->on_readable_;
  Guarded([&] { callback(); });
  return G_SOURCE_CONTINUE;
}

gboolean GlibSyncLoop::OnTick(gpointer data) {
  const std::function<void()> callback = static_cast<GlibSyncLoop*>(data)->on_tick_;
  Guarded([&] { callback(); });
  return G_SOURCE_CONTINUE;
}

GlibSyncLink::GlibSyncLink(std::function<void(const TbcvRec&)> on_location,
                           std::function<void(const std::string&)> on_notice)
    : link_(ThisProgram(), loop_, std::move(on_location), std::move(on_notice),
            g_getenv("VELLUM_TRACE") != nullptr ? host::BibleSyncLink::Trace(TraceLine)
                                                : host::BibleSyncLink::Trace()) {}

}  // namespace vellum
