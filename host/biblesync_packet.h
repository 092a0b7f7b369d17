// BibleSync packets, built and read without trusting a byte of them.
//
// A packet is one UDP datagram of at most 1280 bytes: a 32-byte header (magic,
// protocol version, message type, packet count and index, the sender's
// instance UUID) and a body of "name=value" lines, each ending in a newline.
// Every body field is optional to the reader: what a packet lacks is simply
// absent, unknown names are ignored, and nothing in a packet can make the
// reader allocate more than the packet's own size.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vellum::host::biblesync {

inline constexpr std::uint32_t kMagic = 0x409CAF11;
inline constexpr std::uint8_t kProtocolVersion = 3;  // the one we send
inline constexpr std::uint8_t kOldestVersion = 2;    // still understood
inline constexpr std::size_t kHeaderSize = 32;
inline constexpr std::size_t kMaxPacketSize = 1280;
inline constexpr std::size_t kMaxBodySize = kMaxPacketSize - kHeaderSize;

inline constexpr char kGroupAddress[] = "239.225.27.227";
inline constexpr std::uint16_t kPort = 22272;
// The passphrase of programs whose user never chose one.
inline constexpr std::string_view kDefaultPassphrase = "BibleSync";
inline constexpr std::string_view kVerseDomain = "BIBLE-VERSE";

enum class PacketType : std::uint8_t {
  kAnnounce = 1,  // a program joined
  kSync = 2,      // a program went somewhere (a navigation)
  kBeacon = 3,    // a program that sends navigations is still there
  kChat = 4,      // a message for people
};

using Uuid = std::array<std::uint8_t, 16>;

// The UUID as text, "00112233-4455-6677-8899-aabbccddeeff".
std::string UuidText(const Uuid& uuid);

// The body's fields. Absent ones are nullopt; present ones may be empty
// ("msg.sync.altVerse=" is common).
struct PacketFields {
  std::optional<std::string> app_name;     // app.name
  std::optional<std::string> app_version;  // app.version
  std::optional<std::string> app_uuid;     // app.inst.uuid, the header's UUID as text
  std::optional<std::string> app_os;       // app.os
  std::optional<std::string> app_device;   // app.device
  std::optional<std::string> app_user;     // app.user
  std::optional<std::string> passphrase;   // msg.sync.passPhrase
  std::optional<std::string> bible;        // msg.sync.bibleAbbrev
  std::optional<std::string> domain;       // msg.sync.domain
  std::optional<std::string> group;        // msg.sync.group
  std::optional<std::string> alt_verse;    // msg.sync.altVerse
  std::optional<std::string> verse;        // msg.sync.verse
  std::optional<std::string> chat;         // msg.chat
};

struct Packet {
  PacketType type = PacketType::kAnnounce;
  std::uint8_t version = kProtocolVersion;
  Uuid sender{};
  PacketFields fields;
};

enum class PacketError {
  kNone,
  kTooShort,    // shorter than the header
  kTooLong,     // longer than any packet may be
  kBadMagic,    // not a BibleSync packet
  kBadVersion,  // a protocol version we do not speak
  kBadType,     // a message type the protocol does not define
  kBadCount,    // part of a packet series, which the protocol does not use
};

// The error in words for the trace ("bad magic").
std::string_view PacketErrorText(PacketError error);

struct ParsedPacket {
  PacketError error = PacketError::kNone;
  Packet packet;  // meaningful only without an error
};

// Reads a datagram. Body lines without "=", with an empty name, or not ended
// by a newline are skipped; the body ends at its first NUL byte; a trailing
// carriage return is not part of a value; of a name given twice, the first
// counts.
ParsedPacket ParsePacket(std::string_view datagram);

// The datagram for a packet: every present field as one line, in the order
// other programs write them. Newlines, carriage returns and NUL bytes in a
// value are left out, since they would end it early. nullopt when the body
// does not fit into one packet.
std::optional<std::string> BuildPacket(const Packet& packet);

}  // namespace vellum::host::biblesync
