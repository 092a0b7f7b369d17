// Membership of the BibleSync conversation through libbiblesync: personal
// mode (we both follow and are followed), kept private to this machine (see
// host/private_multicast.h). Only the Linux viewer links it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "host/sync_events.h"

class BibleSync;  // libbiblesync's

namespace vellum::host {

class BibleSyncLink {
 public:
  using Handler = std::function<void(const SyncEvent&)>;

  // The library wants to be polled once a second: it sends its beacon every
  // tenth poll, and other programs count on one every ten seconds.
  static constexpr int kPollIntervalMs = 1000;

  // The library wants one object per process, and its events reach a plain
  // function: make one link per process.
  BibleSyncLink(std::string application, std::string version, std::string user, Handler handler);
  BibleSyncLink(const BibleSyncLink&) = delete;
  BibleSyncLink& operator=(const BibleSyncLink&) = delete;
  ~BibleSyncLink();

  // Joins with the passphrase (empty: the protocol's own). nullopt when
  // joined; else what went wrong, in words for the user.
  std::optional<std::string> Join(const std::string& passphrase);
  void Leave();
  bool Joined() const { return joined_; }

  // Takes in every packet waiting and hands each event to the handler;
  // false when not joined (polling may stop).
  bool Poll();

  // Sends a navigation; nullopt when sent, else why not.
  std::optional<std::string> Transmit(const std::string& bible, const std::string& reference);

 private:
  std::optional<std::string> JoinOrThrow(const std::string& passphrase);
  static void OnEvent(char command, std::string speaker, std::string bible, std::string reference,
                      std::string alt, std::string group, std::string domain, std::string info,
                      std::string dump);
  void Deliver(const SyncEvent& event);

  std::string application_;
  std::string version_;
  std::string user_;
  Handler handler_;
  std::unique_ptr<BibleSync> library_;
  std::string default_passphrase_;
  std::string last_error_;  // of the 'E' events during the call under way
  bool joined_ = false;
};

}  // namespace vellum::host
