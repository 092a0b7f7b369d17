// Our part in the BibleSync conversation, in personal mode (we follow and are
// followed), without a socket or a clock of its own: the caller hands in each
// datagram with its sender's address and the time, and sends the packets it
// is given. That keeps every rule here testable and fuzzable.
//
// Every program on this machine is followed at once: a navigation is taken
// as soon as its passphrase matches, from a program heard before or not (the
// sender is then remembered). Programs on other computers are heard only when
// the reader chose so, and followed only when ticked (or every program heard
// is); we never lead them. Programs are remembered by their instance UUID
// for as long as they are heard from (beacons come every ten seconds; thirty
// seconds of silence and a program is taken for gone), at most kMaxSpeakers
// of them, so that a stream of made-up UUIDs cannot grow the table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports.h"
#include "host/biblesync_packet.h"
#include "host/sync_events.h"

namespace vellum::host::biblesync {

inline constexpr std::uint64_t kBeaconIntervalMs = 10'000;
inline constexpr std::uint64_t kSpeakerTimeoutMs = 30'000;
inline constexpr std::size_t kMaxSpeakers = 64;
// How long any text about us (user, device...) may be in a packet.
inline constexpr std::size_t kMaxIdentityText = 96;

// Who we are, as the other programs are told.
struct Identity {
  std::string application;
  std::string version;
  std::string user;
  std::string os;
  std::string device;
};

class Conversation {
 public:
  // passphrase empty: the protocol's own.
  Conversation(const Identity& identity, const Uuid& own, std::string_view passphrase);

  // The packets we send; nullopt only when the navigation's text is too long
  // for one packet.
  std::string Beacon() const;
  std::string Announce() const;
  std::optional<std::string> Navigation(std::string_view bible, std::string_view verse) const;

  // What a datagram from another program means: nothing (our own, or a
  // program's presence refreshed), or up to two events (a new speaker, then
  // its navigation). Programs on this machine share its addresses, so one
  // of them heard from another of its addresses is the same program; from
  // elsewhere, its UUID from another address is an impostor's.
  std::vector<SyncEvent> Take(std::string_view datagram, std::string_view source,
                              std::uint64_t now_ms, bool from_this_machine = true);

  // Programs silent for too long, forgotten now: one event each.
  std::vector<SyncEvent> Age(std::uint64_t now_ms);

  // Whether our beacon is due at now_ms (checked about once a second), and
  // that one went out.
  bool BeaconDue(std::uint64_t now_ms) const;
  void BeaconSent(std::uint64_t now_ms) { next_beacon_ms_ = now_ms + kBeaconIntervalMs; }

  // Whether datagrams from other computers are taken at all, and which of
  // those programs are followed.
  void SetFollowing(bool other_computers, SyncFollowing following);
  // The programs heard on other computers, once per key, for the menu.
  std::vector<HeardProgram> ProgramsHeard() const;

  std::size_t SpeakerCount() const { return speakers_.size(); }
  const std::string& Passphrase() const { return passphrase_; }

 private:
  struct Speaker {
    Uuid uuid;
    std::string address;  // where it was first heard from
    std::uint64_t last_heard_ms;
    bool followed = false;  // it navigated: never pushed out by strangers
    bool this_machine = true;
    std::string program;  // ProgramKey, for a program on another computer
    std::string label;    // ProgramLabel
  };
  bool Followed(const std::string& program) const;

  Packet Stamp(PacketType type) const;
  Speaker* Find(const Uuid& uuid);
  // Remembers a new speaker, making room by forgetting the one silent
  // longest among those that never navigated: made-up beacons cannot push
  // out a program that is followed. With no such room, it is not kept.
  Speaker* Remember(const Uuid& uuid, std::string_view source, std::uint64_t now_ms);

  Identity identity_;
  Uuid own_;
  std::string passphrase_;
  std::vector<Speaker> speakers_;
  bool other_computers_ = false;
  SyncFollowing following_;
  std::uint64_t next_beacon_ms_ = 0;
};

// A description of a packet's sender for the trace: "Xiphos 4.2.1, anna".
std::string SenderText(const PacketFields& fields);
// A program on another computer as the settings keep it, by its name, user
// and device ("Xiphos/anna/laptop"): each part at most 64 bytes, with "/",
// "|" and control characters made "_", so that a list of keys joined by "|"
// fits one line of an ini file. The UUID is not part of it: a program takes
// a new one each time it starts.
std::string ProgramKey(const PacketFields& fields);
// The same for the reader: "Xiphos (anna, laptop)".
std::string ProgramLabel(const PacketFields& fields);

}  // namespace vellum::host::biblesync
