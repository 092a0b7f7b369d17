#include "app/gtk/biblesync_gtk.h"

#include <cstdio>
#include <utility>

#include "core/guarded.h"
#include "host/osis.h"
#include "vellum_version.h"

namespace vellum {

void GlibTimeout::Start(guint interval_ms, GSourceFunc function, gpointer data) {
  Stop();
  id_ = g_timeout_add(interval_ms, function, data);
}

void GlibTimeout::Stop() {
  if (id_ != 0) g_source_remove(id_);
  id_ = 0;
}

GlibSyncLink::GlibSyncLink(std::function<void(const TbcvRec&)> on_location)
    : on_location_(std::move(on_location)),
      link_("Vellum", kVersion, g_get_user_name(),
            [this](const host::SyncEvent& event) { OnEvent(event); }),
      trace_(g_getenv("VELLUM_TRACE") != nullptr) {}

std::optional<std::string> GlibSyncLink::SetActive(bool on, const std::string& passphrase) {
  if (!on) {
    poll_.Stop();
    if (link_.Joined()) {
      link_.Leave();
      Trace("left");
    }
    return std::nullopt;
  }
  if (std::optional<std::string> error = link_.Join(passphrase)) {
    poll_.Stop();
    Trace("could not join: " + *error);
    return error;
  }
  poll_.Start(host::BibleSyncLink::kPollIntervalMs, OnPoll, this);
  Trace("joined in personal mode, private to this machine");
  return std::nullopt;
}

std::optional<TbcvRec> GlibSyncLink::SendRequest(std::string_view request) {
  if (!link_.Joined()) return std::nullopt;
  const std::optional<host::SyncRequest> asked = host::RequestToReference(request);
  if (!asked) {
    Trace("request " + host::TraceText(request) + " names no place other programs know; not sent");
    return std::nullopt;
  }
  if (const std::optional<std::string> error =
          link_.Transmit(receiver_.BibleToSend(), asked->reference)) {
    Trace("sending " + asked->reference + " failed: " + *error);
    return std::nullopt;
  }
  Trace("sent " + asked->reference + " (" + receiver_.BibleToSend() + ")");
  return asked->location;
}

gboolean GlibSyncLink::OnPoll(gpointer data) {
  auto* self = static_cast<GlibSyncLink*>(data);
  bool keep = false;
  Guarded([&] { keep = self->link_.Poll(); });
  if (keep) return G_SOURCE_CONTINUE;
  self->poll_.Forget();
  return G_SOURCE_REMOVE;
}

void GlibSyncLink::OnEvent(const host::SyncEvent& event) {
  const host::SyncOutcome outcome = receiver_.Take(event);
  Trace(outcome.trace);
  if (outcome.location && on_location_) on_location_(*outcome.location);
}

void GlibSyncLink::Trace(const std::string& line) const {
  if (!trace_) return;
  std::fprintf(stderr, "vellum: biblesync: %s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace vellum
