#include "host/biblesync_packet.h"

namespace vellum::host::biblesync {
namespace {

// The header's fields by offset. Multi-byte numbers are in network order.
constexpr std::size_t kVersionAt = 4;
constexpr std::size_t kTypeAt = 5;
constexpr std::size_t kCountAt = 6;  // packets in the series, then this one's index
constexpr std::size_t kUuidAt = 16;

using FieldMember = std::optional<std::string> PacketFields::*;

struct FieldName {
  std::string_view name;
  FieldMember member;
};

// In the order other programs write them.
constexpr FieldName kFields[] = {
    {"app.name", &PacketFields::app_name},
    {"app.version", &PacketFields::app_version},
    {"app.inst.uuid", &PacketFields::app_uuid},
    {"app.os", &PacketFields::app_os},
    {"app.device", &PacketFields::app_device},
    {"app.user", &PacketFields::app_user},
    {"msg.sync.passPhrase", &PacketFields::passphrase},
    {"msg.sync.bibleAbbrev", &PacketFields::bible},
    {"msg.sync.domain", &PacketFields::domain},
    {"msg.sync.group", &PacketFields::group},
    {"msg.sync.altVerse", &PacketFields::alt_verse},
    {"msg.sync.verse", &PacketFields::verse},
    {"msg.chat", &PacketFields::chat},
};

std::uint8_t Byte(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes[at]);
}

// A single packet, not part of a series. Programs write the count and index
// as one byte each ("01 00 00 00"); the protocol's description has them as
// 16-bit numbers, in network order "00 01 00 00". Both mean the same.
bool IsSinglePacket(std::string_view header) {
  const std::uint8_t a = Byte(header, kCountAt);
  const std::uint8_t b = Byte(header, kCountAt + 1);
  const bool one = (a == 1 && b == 0) || (a == 0 && b == 1);
  return one && Byte(header, kCountAt + 2) == 0 && Byte(header, kCountAt + 3) == 0;
}

void ReadBody(std::string_view body, PacketFields& fields) {
  // Nothing after a NUL byte is text.
  body = body.substr(0, body.find('\0'));
  std::size_t start = 0;
  while (start < body.size()) {
    const std::size_t end = body.find('\n', start);
    if (end == std::string_view::npos) break;  // cut off: not a whole line
    std::string_view line = body.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0) continue;
    const std::string_view name = line.substr(0, equals);
    for (const FieldName& field : kFields) {
      std::optional<std::string>& value = fields.*field.member;
      if (field.name == name && !value) value = std::string(line.substr(equals + 1));
    }
  }
}

void AppendLine(std::string& out, std::string_view name, std::string_view value) {
  out += name;
  out += '=';
  for (const char c : value) {
    if (c != '\n' && c != '\r' && c != '\0') out += c;
  }
  out += '\n';
}

}  // namespace

std::string UuidText(const Uuid& uuid) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < uuid.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[uuid[i] >> 4];
    text += kHex[uuid[i] & 0xF];
  }
  return text;
}

std::string_view PacketErrorText(PacketError error) {
  switch (error) {
    case PacketError::kNone:
      return "no error";
    case PacketError::kTooShort:
      return "shorter than a header";
    case PacketError::kTooLong:
      return "longer than a packet may be";
    case PacketError::kBadMagic:
      return "bad magic";
    case PacketError::kBadVersion:
      return "unknown protocol version";
    case PacketError::kBadType:
      return "unknown message type";
    case PacketError::kBadCount:
      return "part of a packet series";
  }
  return "unknown error";
}

ParsedPacket ParsePacket(std::string_view datagram) {
  ParsedPacket parsed;
  if (datagram.size() < kHeaderSize) {
    parsed.error = PacketError::kTooShort;
    return parsed;
  }
  if (datagram.size() > kMaxPacketSize) {
    parsed.error = PacketError::kTooLong;
    return parsed;
  }
  std::uint32_t magic = 0;
  for (std::size_t i = 0; i < 4; ++i)
    magic = (magic << 8) | Byte(datagram, i);
  const std::uint8_t version = Byte(datagram, kVersionAt);
  const std::uint8_t type = Byte(datagram, kTypeAt);
  if (magic != kMagic) {
    parsed.error = PacketError::kBadMagic;
  } else if (version < kOldestVersion || version > kProtocolVersion) {
    parsed.error = PacketError::kBadVersion;
  } else if (type < static_cast<std::uint8_t>(PacketType::kAnnounce) ||
             type > static_cast<std::uint8_t>(PacketType::kChat)) {
    parsed.error = PacketError::kBadType;
  } else if (!IsSinglePacket(datagram)) {
    parsed.error = PacketError::kBadCount;
  }
  if (parsed.error != PacketError::kNone) return parsed;

  parsed.packet.type = static_cast<PacketType>(type);
  parsed.packet.version = version;
  for (std::size_t i = 0; i < parsed.packet.sender.size(); ++i)
    parsed.packet.sender[i] = Byte(datagram, kUuidAt + i);
  ReadBody(datagram.substr(kHeaderSize), parsed.packet.fields);
  return parsed;
}

std::optional<std::string> BuildPacket(const Packet& packet) {
  std::string out(kHeaderSize, '\0');
  for (std::size_t i = 0; i < 4; ++i)
    out[i] = static_cast<char>((kMagic >> (8 * (3 - i))) & 0xFF);
  out[kVersionAt] = static_cast<char>(packet.version);
  out[kTypeAt] = static_cast<char>(packet.type);
  out[kCountAt] = 1;  // one packet, index 0
  for (std::size_t i = 0; i < packet.sender.size(); ++i)
    out[kUuidAt + i] = static_cast<char>(packet.sender[i]);
  for (const FieldName& field : kFields) {
    if (const std::optional<std::string>& value = packet.fields.*field.member)
      AppendLine(out, field.name, *value);
  }
  if (out.size() > kMaxPacketSize) return std::nullopt;
  return out;
}

}  // namespace vellum::host::biblesync
