// Membership of the BibleSync conversation: personal mode (we follow and are
// followed), private to this machine, acting on each packet as it arrives.
// Portable: the platform's event loop watches the socket and ticks once a
// second (SyncEventLoop); everything else happens here, on that loop's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/location.h"
#include "core/ports.h"
#include "host/biblesync_conversation.h"
#include "host/multicast_socket.h"
#include "host/sync_events.h"

namespace vellum::host {

// What the link needs of the platform's event loop (a GLib main loop, a
// Windows message loop): calls on its own thread, never from inside one of
// the link's calls.
class SyncEventLoop {
 public:
  static constexpr unsigned kTickMs = 1000;

  virtual ~SyncEventLoop() = default;
  // Calls on_readable whenever the socket has something waiting, and on_tick
  // about every kTickMs, until Stop. nullopt when watching, else why not.
  virtual std::optional<std::string> Start(std::uintptr_t socket, std::function<void()> on_readable,
                                           std::function<void()> on_tick) = 0;
  virtual void Stop() = 0;
};

class BibleSyncLink final : public SyncLinkPort {
 public:
  using Trace = std::function<void(const std::string&)>;

  // on_location receives each place another program went to; trace, when
  // set, one line per event.
  BibleSyncLink(biblesync::Identity identity, SyncEventLoop& loop,
                std::function<void(const TbcvRec&)> on_location, Trace trace);
  BibleSyncLink(const BibleSyncLink&) = delete;
  BibleSyncLink& operator=(const BibleSyncLink&) = delete;
  ~BibleSyncLink() override;

  std::optional<std::string> SetActive(bool on, const std::string& passphrase) override;
  std::optional<TbcvRec> SendRequest(std::string_view request) override;
  bool Joined() const { return socket_ != nullptr; }

  // The event loop's calls.
  void OnReadable();
  void OnTick();

 private:
  std::optional<std::string> Join(const std::string& passphrase);
  void Leave();
  // Hands an event on; arrival_ns, where known, is when its datagram arrived.
  void Deliver(const SyncEvent& event, std::optional<std::int64_t> arrival_ns = std::nullopt);
  void Say(const std::string& line) const;
  std::uint64_t NowMs() const;

  biblesync::Identity identity_;
  SyncEventLoop& loop_;
  std::function<void(const TbcvRec&)> on_location_;
  Trace trace_;
  mutable TraceLimiter trace_limiter_;  // Say is const: what it writes is not the link's state
  // One UUID for the life of the process, as the protocol asks.
  biblesync::Uuid uuid_;
  SyncReceiver receiver_;
  std::optional<biblesync::Conversation> conversation_;
  std::unique_ptr<MulticastSocket> socket_;
  std::uint64_t joins_ = 0;  // which membership a datagram being read belongs to
};

// A version 4 (random) UUID.
biblesync::Uuid RandomUuid();

}  // namespace vellum::host
