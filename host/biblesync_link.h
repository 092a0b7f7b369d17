// Membership of the BibleSync conversation: personal mode (we follow and are
// followed) with the programs on this machine, acting on each packet as it
// arrives; in reach of other computers, it also follows the programs there
// the reader ticked, and tells them no more than that it is present. The
// interfaces are looked at once a second: when they change (a network card
// plugged in, an address renewed, a VPN up or down) the group is joined
// again on the new ones.
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
  // Whether a Start holds.
  virtual bool Watching() const = 0;
};

class BibleSyncLink final : public SyncLinkPort {
 public:
  using Trace = std::function<void(const std::string&)>;

  // How long other computers may stay silent before the reader is told that
  // a firewall may keep them out.
  static constexpr std::uint64_t kSilenceNoticeMs = 30'000;

  // on_location receives each place another program went to; on_notice a
  // word for the title bar; trace, when set, one line per event.
  BibleSyncLink(biblesync::Identity identity, SyncEventLoop& loop,
                std::function<void(const TbcvRec&)> on_location,
                std::function<void(const std::string&)> on_notice, Trace trace);
  BibleSyncLink(const BibleSyncLink&) = delete;
  BibleSyncLink& operator=(const BibleSyncLink&) = delete;
  ~BibleSyncLink() override;

  std::optional<std::string> SetActive(SyncReach reach, const std::string& passphrase) override;
  void SetFollowing(const SyncFollowing& following) override;
  std::vector<HeardProgram> ProgramsHeard() override;
  std::optional<TbcvRec> SendRequest(std::string_view request) override;
  bool Joined() const { return socket_ != nullptr; }

  // The event loop's calls.
  void OnReadable();
  void OnTick();

 private:
  std::optional<std::string> Join(const std::string& passphrase);
  // Opens the socket and watches it: at joining, and again when the
  // network changed under it.
  std::optional<std::string> OpenSocket();
  void Leave();
  // Joins again when the interfaces are not those the socket joined on.
  void FollowNetworkChanges();
  // Hands an event on; arrival_ns, where known, is when its datagram arrived.
  void Deliver(const SyncEvent& event, std::optional<std::int64_t> arrival_ns = std::nullopt);
  void Say(const std::string& line) const;
  std::uint64_t NowMs() const;

  biblesync::Identity identity_;
  SyncEventLoop& loop_;
  std::function<void(const TbcvRec&)> on_location_;
  std::function<void(const std::string&)> on_notice_;
  Trace trace_;
  mutable TraceLimiter trace_limiter_;  // Say is const: what it writes is not the link's state
  // One UUID for the life of the process, as the protocol asks.
  biblesync::Uuid uuid_;
  SyncReceiver receiver_;
  std::optional<biblesync::Conversation> conversation_;
  std::unique_ptr<MulticastSocket> socket_;
  std::uint64_t joins_ = 0;  // which membership a datagram being read belongs to
  SyncReach reach_ = SyncReach::kOff;
  SyncFollowing following_;
  // When another computer was last heard from (or the network joined), and
  // whether the reader was told of its silence.
  std::uint64_t network_heard_ms_ = 0;
  bool silence_told_ = false;
};

// A version 4 (random) UUID.
biblesync::Uuid RandomUuid();

}  // namespace vellum::host
