// The Linux viewer's link to other Bible programs (BibleSync): the portable
// link, driven by the GLib main loop. A datagram is taken in as soon as it
// arrives, from a watch on the socket; a tick once a second sends beacons
// and forgets programs gone silent.
#pragma once

#include <glib.h>

#include <functional>
#include <optional>
#include <string>

#include "core/location.h"
#include "core/ports.h"
#include "host/biblesync_link.h"

namespace vellum {

class GlibSyncLoop final : public host::SyncEventLoop {
 public:
  GlibSyncLoop() = default;
  GlibSyncLoop(const GlibSyncLoop&) = delete;
  GlibSyncLoop& operator=(const GlibSyncLoop&) = delete;
  ~GlibSyncLoop() override { Stop(); }

  std::optional<std::string> Start(std::uintptr_t socket, std::function<void()> on_readable,
                                   std::function<void()> on_tick) override;
  void Stop() override;
  bool Watching() const override { return watch_ != 0; }

 private:
  static gboolean OnReadable(gint fd, GIOCondition condition, gpointer self);
  static gboolean OnTick(gpointer self);

  std::function<void()> on_readable_;
  std::function<void()> on_tick_;
  guint watch_ = 0;
  guint tick_ = 0;
};

class GlibSyncLink {
 public:
  // on_location receives each place another program went to. With
  // VELLUM_TRACE set, every event is told on standard error.
  // on_notice receives a word for the title bar.
  GlibSyncLink(std::function<void(const TbcvRec&)> on_location,
               std::function<void(const std::string&)> on_notice);
  GlibSyncLink(const GlibSyncLink&) = delete;
  GlibSyncLink& operator=(const GlibSyncLink&) = delete;

  SyncLinkPort& Port() { return link_; }

 private:
  GlibSyncLoop loop_;
  host::BibleSyncLink link_;  // declared last: leaves before the loop goes
};

}  // namespace vellum
