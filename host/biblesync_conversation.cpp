#include "host/biblesync_conversation.h"

#include <algorithm>
#include <utility>

namespace vellum::host::biblesync {
namespace {

// Our passphrase comes from the settings file; one longer than this would
// leave no room in a packet.
constexpr std::size_t kMaxPassphrase = 256;
// Beacons are checked for about once a second: one due within half a second
// goes now, so that a late tick never stretches the gap to eleven seconds.
constexpr std::uint64_t kBeaconSlackMs = 500;

// At most `limit` bytes, never ending inside a UTF-8 sequence.
std::string Clipped(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return std::string(text);
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
    --cut;
  return std::string(text.substr(0, cut));
}

std::string_view TypeName(PacketType type) {
  switch (type) {
    case PacketType::kAnnounce:
      return "announce";
    case PacketType::kSync:
      return "navigation";
    case PacketType::kBeacon:
      return "beacon";
    case PacketType::kChat:
      return "chat";
  }
  return "packet";
}

SyncEvent Event(SyncEvent::Kind kind, std::string speaker, std::string info) {
  SyncEvent event;
  event.kind = kind;
  event.speaker = std::move(speaker);
  event.info = std::move(info);
  return event;
}

// A part of a program's key: see ProgramKey.
std::string KeyPart(const std::optional<std::string>& field) {
  std::string part = Clipped(field.value_or(std::string()), 64);
  for (char& c : part) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127 || c == '/' || c == '|') c = '_';
  }
  const std::size_t first = part.find_first_not_of(' ');
  if (first == std::string::npos) return "?";
  return part.substr(first, part.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string ProgramKey(const PacketFields& fields) {
  std::string key = KeyPart(fields.app_name);
  key += '/';
  key += KeyPart(fields.app_user);
  key += '/';
  key += KeyPart(fields.app_device);
  return key;
}

std::string ProgramLabel(const PacketFields& fields) {
  std::string label = KeyPart(fields.app_name);
  label += " (";
  label += KeyPart(fields.app_user);
  label += ", ";
  label += KeyPart(fields.app_device);
  label += ')';
  return label;
}

std::string SenderText(const PacketFields& fields) {
  std::string text = fields.app_name.value_or("an unnamed program");
  if (fields.app_version && !fields.app_version->empty()) text += " " + *fields.app_version;
  if (fields.app_user && !fields.app_user->empty()) text += ", " + *fields.app_user;
  return text;
}

Conversation::Conversation(const Identity& identity, const Uuid& own, std::string_view passphrase)
    : identity_{Clipped(identity.application, kMaxIdentityText),
                Clipped(identity.version, kMaxIdentityText),
                Clipped(identity.user, kMaxIdentityText), Clipped(identity.os, kMaxIdentityText),
                Clipped(identity.device, kMaxIdentityText)},
      own_(own),
      passphrase_(passphrase.empty() ? std::string(kDefaultPassphrase)
                                     : Clipped(passphrase, kMaxPassphrase)) {}

// Every field the protocol defines for presence is filled in: some programs
// fail on a packet that lacks one.
Packet Conversation::Stamp(PacketType type) const {
  Packet packet;
  packet.type = type;
  packet.sender = own_;
  PacketFields& f = packet.fields;
  f.app_name = identity_.application;
  f.app_version = identity_.version;
  f.app_uuid = UuidText(own_);
  f.app_os = identity_.os;
  f.app_device = identity_.device;
  f.app_user = identity_.user;
  f.passphrase = passphrase_;
  return packet;
}

std::string Conversation::Beacon() const {
  return BuildPacket(Stamp(PacketType::kBeacon)).value_or(std::string());
}

std::string Conversation::Announce() const {
  return BuildPacket(Stamp(PacketType::kAnnounce)).value_or(std::string());
}

std::optional<std::string> Conversation::Navigation(std::string_view bible,
                                                    std::string_view verse) const {
  Packet packet = Stamp(PacketType::kSync);
  PacketFields& f = packet.fields;
  f.bible = std::string(bible);
  f.domain = std::string(kVerseDomain);
  f.group = std::string(1, '1');  // no particular window or tab
  f.alt_verse = std::string();
  f.verse = std::string(verse);
  return BuildPacket(packet);
}

Conversation::Speaker* Conversation::Find(const Uuid& uuid) {
  const auto found = std::find_if(speakers_.begin(), speakers_.end(),
                                  [&](const Speaker& s) { return s.uuid == uuid; });
  return found == speakers_.end() ? nullptr : &*found;
}

Conversation::Speaker* Conversation::Remember(const Uuid& uuid, std::string_view source,
                                              std::uint64_t now_ms) {
  if (speakers_.size() >= kMaxSpeakers) {
    auto oldest = speakers_.end();
    for (auto it = speakers_.begin(); it != speakers_.end(); ++it) {
      if (!it->followed && (oldest == speakers_.end() || it->last_heard_ms < oldest->last_heard_ms))
        oldest = it;
    }
    if (oldest == speakers_.end()) return nullptr;
    speakers_.erase(oldest);
  }
  speakers_.push_back(Speaker{uuid, std::string(source), now_ms, false, true, {}, {}});
  return &speakers_.back();
}

void Conversation::SetFollowing(bool other_computers, SyncFollowing following) {
  other_computers_ = other_computers;
  following_ = std::move(following);
  if (other_computers_) return;
  // Nothing from elsewhere is kept once the network is not heard.
  speakers_.erase(std::remove_if(speakers_.begin(), speakers_.end(),
                                 [](const Speaker& s) { return !s.this_machine; }),
                  speakers_.end());
}

bool Conversation::Followed(const std::string& program) const {
  return following_.every_program ||
         std::find(following_.programs.begin(), following_.programs.end(), program) !=
             following_.programs.end();
}

std::vector<HeardProgram> Conversation::ProgramsHeard() const {
  std::vector<HeardProgram> heard;
  for (const Speaker& s : speakers_) {
    if (s.this_machine || std::any_of(heard.begin(), heard.end(),
                                      [&](const HeardProgram& h) { return h.key == s.program; }))
      continue;
    heard.push_back({s.program, s.label, Followed(s.program)});
  }
  return heard;
}

std::vector<SyncEvent> Conversation::Take(std::string_view datagram, std::string_view source,
                                          std::uint64_t now_ms, bool from_this_machine) {
  std::vector<SyncEvent> events;
  // A socket that hears only this machine never hands one in; should one
  // come anyway, it is not read.
  if (!from_this_machine && !other_computers_) {
    events.push_back(Event(SyncEvent::Kind::kForeign, std::string(), std::string(source)));
    return events;
  }
  const ParsedPacket parsed = ParsePacket(datagram);
  if (parsed.error != PacketError::kNone) {
    events.push_back(
        Event(SyncEvent::Kind::kError, std::string(),
              std::string(PacketErrorText(parsed.error)) + ", from " + std::string(source)));
    return events;
  }
  const Packet& packet = parsed.packet;
  // Ours, looped back to us.
  if (packet.sender == own_) return events;

  const PacketFields& f = packet.fields;
  const std::string key = UuidText(packet.sender);
  const std::string who = SenderText(f) + " @ " + std::string(source);
  Speaker* known = Find(packet.sender);
  // A program keeps its address; another one using its UUID is an impostor,
  // unless both are this machine's: the same program, reached another way.
  if (known != nullptr && known->address != source && !from_this_machine) {
    events.push_back(Event(SyncEvent::Kind::kError, key,
                           std::string(TypeName(packet.type)) + " from " + std::string(source) +
                               " under the UUID of a program at " + known->address));
    return events;
  }
  if (f.passphrase != passphrase_) {
    events.push_back(
        Event(SyncEvent::Kind::kMismatch, key,
              std::string(TypeName(packet.type)) + " from " + who + " with another passphrase"));
    return events;
  }

  if (packet.type == PacketType::kBeacon || packet.type == PacketType::kSync) {
    if (known != nullptr) {
      known->last_heard_ms = now_ms;
    } else {
      known = Remember(packet.sender, source, now_ms);
      if (known != nullptr && !from_this_machine) {
        known->this_machine = false;
        known->program = ProgramKey(f);
        known->label = ProgramLabel(f);
      }
      events.push_back(Event(SyncEvent::Kind::kNewSpeaker, key,
                             std::string(TypeName(packet.type)) + ": " + who));
    }
  }
  // A program elsewhere leads us only when the reader ticked it.
  if (packet.type == PacketType::kSync && !from_this_machine && !Followed(ProgramKey(f))) {
    events.push_back(Event(SyncEvent::Kind::kNotFollowed, key, who));
    return events;
  }
  if (known != nullptr && packet.type == PacketType::kSync) known->followed = true;
  switch (packet.type) {
    case PacketType::kSync: {
      SyncEvent navigation = Event(SyncEvent::Kind::kNavigation, key, who);
      navigation.bible = f.bible.value_or(std::string());
      navigation.reference = f.verse.value_or(std::string());
      navigation.domain = f.domain.value_or(std::string());
      events.push_back(std::move(navigation));
      break;
    }
    case PacketType::kAnnounce:
      events.push_back(Event(SyncEvent::Kind::kAnnounce, key, who));
      break;
    case PacketType::kChat:
      events.push_back(Event(SyncEvent::Kind::kChat, key, who));
      break;
    case PacketType::kBeacon:
      break;
  }
  return events;
}

std::vector<SyncEvent> Conversation::Age(std::uint64_t now_ms) {
  std::vector<SyncEvent> events;
  for (auto it = speakers_.begin(); it != speakers_.end();) {
    if (now_ms >= it->last_heard_ms && now_ms - it->last_heard_ms > kSpeakerTimeoutMs) {
      events.push_back(Event(SyncEvent::Kind::kDeadSpeaker, UuidText(it->uuid), it->address));
      it = speakers_.erase(it);
    } else {
      ++it;
    }
  }
  return events;
}

bool Conversation::BeaconDue(std::uint64_t now_ms) const {
  return now_ms + kBeaconSlackMs >= next_beacon_ms_;
}

}  // namespace vellum::host::biblesync
