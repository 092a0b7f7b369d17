// The Linux viewer's link to other Bible programs: libbiblesync, polled from
// the GLib main loop while the user follows them.
#pragma once

#include <glib.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/location.h"
#include "core/ports.h"
#include "host/biblesync_link.h"
#include "host/sync_events.h"

namespace vellum {

// A GLib timeout that is removed when its owner goes, however it goes.
class GlibTimeout {
 public:
  GlibTimeout() = default;
  GlibTimeout(const GlibTimeout&) = delete;
  GlibTimeout& operator=(const GlibTimeout&) = delete;
  ~GlibTimeout() { Stop(); }
  void Start(guint interval_ms, GSourceFunc function, gpointer data);
  void Stop();
  // The source removed itself (its function returned G_SOURCE_REMOVE).
  void Forget() { id_ = 0; }
  bool Running() const { return id_ != 0; }

 private:
  guint id_ = 0;
};

class GlibSyncLink final : public SyncLinkPort {
 public:
  // on_location receives each place another program went to.
  explicit GlibSyncLink(std::function<void(const TbcvRec&)> on_location);
  GlibSyncLink(const GlibSyncLink&) = delete;
  GlibSyncLink& operator=(const GlibSyncLink&) = delete;
  ~GlibSyncLink() override = default;

  std::optional<std::string> SetActive(bool on, const std::string& passphrase) override;
  std::optional<TbcvRec> SendRequest(std::string_view request) override;

 private:
  static gboolean OnPoll(gpointer self);
  void OnEvent(const host::SyncEvent& event);
  void Trace(const std::string& line) const;

  std::function<void(const TbcvRec&)> on_location_;
  host::SyncReceiver receiver_;
  host::BibleSyncLink link_;
  GlibTimeout poll_;  // declared last: removed before the link goes
  bool trace_ = false;
};

}  // namespace vellum
