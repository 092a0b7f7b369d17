#include "host/biblesync_link.h"

#include <exception>
#include <utility>

#include "core/guarded.h"
#include "core/scoped_value.h"
#include "host/private_multicast.h"

// The library's header defines macros named "_" and "min" and opens the std
// namespace: it comes last, in this file alone.
#include <biblesync.hh>
#undef min
#undef _

namespace vellum::host {
namespace {

// The link whose call into the library is under way: the library's events
// reach a plain function with no room for a context, and only during a call.
BibleSyncLink* g_calling = nullptr;

SyncEvent::Kind KindOf(char command) {
  switch (command) {
    case 'N':
      return SyncEvent::Kind::kNavigation;
    case 'A':
      return SyncEvent::Kind::kAnnounce;
    case 'S':
      return SyncEvent::Kind::kNewSpeaker;
    case 'D':
      return SyncEvent::Kind::kDeadSpeaker;
    case 'M':
      return SyncEvent::Kind::kMismatch;
    case 'C':
      return SyncEvent::Kind::kChat;
    case 'E':
      return SyncEvent::Kind::kError;
    default:
      return SyncEvent::Kind::kOther;
  }
}

std::string TransmitError(BibleSync_xmit_status status) {
  switch (status) {
    case BSP_XMIT_OK:
      return {};
    case BSP_XMIT_FAILED:
      return "the packet could not be sent";
    case BSP_XMIT_NO_SOCKET:
      return "no socket";
    case BSP_XMIT_BAD_TYPE:
      return "bad packet type";
    case BSP_XMIT_NO_AUDIENCE_XMIT:
      return "an audience does not send";
    case BSP_XMIT_RECEIVING:
      return "busy receiving";
    default:
      return "unknown failure";
  }
}

}  // namespace

BibleSyncLink::BibleSyncLink(std::string application, std::string version, std::string user,
                             Handler handler)
    : application_(std::move(application)),
      version_(std::move(version)),
      user_(std::move(user)),
      handler_(std::move(handler)) {}

BibleSyncLink::~BibleSyncLink() {
  Guarded([&] { Leave(); });
}

std::optional<std::string> BibleSyncLink::Join(const std::string& passphrase) {
  // The library is C++ and may throw (out of memory, a string it cannot
  // make): that is a failed join, never the viewer's end.
  try {
    return JoinOrThrow(passphrase);
  } catch (const std::exception& error) {
    joined_ = false;
    return std::string("BibleSync could not be started: ") + error.what();
  }
}

std::optional<std::string> BibleSyncLink::JoinOrThrow(const std::string& passphrase) {
  if (joined_) Leave();
  if (!library_) {
    library_ = std::make_unique<BibleSync>(application_, version_, user_);
    // An empty passphrase asks the library to keep the one it has, which
    // may be an earlier join's: the protocol's own is the one it starts with.
    default_passphrase_ = library_->getPassphrase();
    // Polled once a second, the beacon goes out every ten seconds.
    library_->setBeaconCount(10);
  }
  last_error_.clear();
  BibleSync_mode mode = BSP_MODE_DISABLE;
  {
    const ScopedValue<BibleSyncLink*> calling(g_calling, this);
    const PrivateMulticastScope private_sockets;
    mode = library_->setMode(BSP_MODE_PERSONAL, &OnEvent,
                             passphrase.empty() ? default_passphrase_ : passphrase);
  }
  if (mode != BSP_MODE_PERSONAL) {
    const std::string reason =
        last_error_.empty() ? "the network could not be set up" : last_error_;
    Leave();
    return "BibleSync could not be started: " + reason;
  }
  joined_ = true;
  // The library's own private setting as well, should it ever open another socket.
  if (!library_->setPrivate(true)) {
    Leave();
    return "BibleSync could not be started: its packets could not be kept on this machine";
  }
  return std::nullopt;
}

void BibleSyncLink::Leave() {
  if (!library_ || library_->getMode() == BSP_MODE_DISABLE) {
    joined_ = false;
    return;
  }
  const ScopedValue<BibleSyncLink*> calling(g_calling, this);
  library_->setMode(BSP_MODE_DISABLE);
  joined_ = false;
}

bool BibleSyncLink::Poll() {
  if (!joined_) return false;
  const ScopedValue<BibleSyncLink*> calling(g_calling, this);
  const PrivateMulticastScope private_sockets;
  return BibleSync::Receive(library_.get()) != FALSE;
}

std::optional<std::string> BibleSyncLink::Transmit(const std::string& bible,
                                                   const std::string& reference) {
  if (!joined_) return "BibleSync is off";
  const ScopedValue<BibleSyncLink*> calling(g_calling, this);
  const PrivateMulticastScope private_sockets;
  try {
    const BibleSync_xmit_status status = library_->Transmit(bible, reference);
    if (status == BSP_XMIT_OK) return std::nullopt;
    return TransmitError(status);
  } catch (const std::exception& error) {
    return error.what();
  }
}

void BibleSyncLink::OnEvent(char command, std::string speaker, std::string bible,
                            std::string reference, std::string, std::string, std::string domain,
                            std::string info, std::string) {
  if (g_calling == nullptr) return;
  // Nothing may go back into the library by an exception.
  Guarded([&] {
    SyncEvent event;
    event.kind = KindOf(command);
    event.speaker = std::move(speaker);
    event.bible = std::move(bible);
    event.reference = std::move(reference);
    event.domain = std::move(domain);
    event.info = std::move(info);
    g_calling->Deliver(event);
  });
}

void BibleSyncLink::Deliver(const SyncEvent& event) {
  if (event.kind == SyncEvent::Kind::kError) last_error_ = event.info;
  if (handler_) handler_(event);
}

}  // namespace vellum::host
