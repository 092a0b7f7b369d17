// BibleSync datagrams as anyone on this machine or the local network may
// send them: a script of datagrams, each with a sender address and a time
// step, read by the packet layer and the conversation (in reach of other
// computers, following one program there), and the events told in the trace.
//
// Input: records of [source byte][time step byte][16-bit length][datagram];
// the source byte's high bit: from another computer.
// Invariants: a packet read without error is written again no longer than it
// came and reads back the same (carriage returns aside); no datagram brings
// more than two events, and a navigation only with our passphrase and from
// another UUID, and from another computer only from the program ticked; the
// table of programs never outgrows its bound; the programs heard fit one line
// of the settings; trace lines are single printable lines.
#include <string>

#include "host/biblesync_conversation.h"
#include "host/biblesync_packet.h"
#include "host/sync_events.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using namespace vellum::host;
using namespace vellum::host::biblesync;

const Uuid kOurs = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x47, 0x80,
                    0x90, 0xa0, 0xb0, 0xc0, 0xd0, 0xe0, 0xf0, 0x01};

std::string WithoutCarriageReturns(const std::optional<std::string>& value) {
  std::string out;
  for (const char c : value.value_or(std::string())) {
    if (c != '\r') out += c;
  }
  return out;
}

void CheckRoundTrip(std::string_view datagram, const Packet& packet) {
  const std::optional<std::string> again = BuildPacket(packet);
  VELLUM_FUZZ_CHECK(again.has_value());
  VELLUM_FUZZ_CHECK(again->size() <= datagram.size());
  const ParsedPacket back = ParsePacket(*again);
  VELLUM_FUZZ_CHECK(back.error == PacketError::kNone);
  VELLUM_FUZZ_CHECK(back.packet.type == packet.type && back.packet.sender == packet.sender &&
                    back.packet.version == packet.version);
  const PacketFields& a = packet.fields;
  const PacketFields& b = back.packet.fields;
  for (const auto member :
       {&PacketFields::app_name, &PacketFields::app_version, &PacketFields::app_uuid,
        &PacketFields::app_os, &PacketFields::app_device, &PacketFields::app_user,
        &PacketFields::passphrase, &PacketFields::bible, &PacketFields::domain,
        &PacketFields::group, &PacketFields::alt_verse, &PacketFields::verse,
        &PacketFields::chat}) {
    VELLUM_FUZZ_CHECK((a.*member).has_value() == (b.*member).has_value());
    VELLUM_FUZZ_CHECK(WithoutCarriageReturns(a.*member) == WithoutCarriageReturns(b.*member));
    // Nothing read can end a line early.
    VELLUM_FUZZ_CHECK((a.*member).value_or("").find_first_of(std::string("\n\0", 2)) ==
                      std::string::npos);
  }
}

void CheckTrace(const std::string& line) {
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    VELLUM_FUZZ_CHECK(byte >= 32 && byte != 127);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vellum::fuzz::ByteReader in(data, size);
  Conversation talk(Identity{"Vellum", "0.1", "fuzz", "Linux", "x86_64"}, kOurs, "");
  const std::string ticked = "a/b/c";
  talk.SetFollowing(true, vellum::SyncFollowing{false, {ticked}});
  SyncReceiver receiver;
  std::uint64_t now = 0;
  while (!in.Empty()) {
    const std::uint8_t source_byte = in.Byte();
    const bool here = (source_byte & 0x80) == 0;
    const std::string source = (here ? "10.0.0." : "192.168.1.") + std::to_string(source_byte % 4);
    now += std::uint64_t{in.Byte()} * 500;
    const std::string datagram = in.LongText();

    const ParsedPacket parsed = ParsePacket(datagram);
    if (parsed.error == PacketError::kNone) CheckRoundTrip(datagram, parsed.packet);

    const std::vector<SyncEvent> events = talk.Take(datagram, source, now, here);
    VELLUM_FUZZ_CHECK(events.size() <= 2);
    VELLUM_FUZZ_CHECK(talk.SpeakerCount() <= kMaxSpeakers);
    for (const SyncEvent& event : events) {
      if (event.kind == SyncEvent::Kind::kNavigation) {
        VELLUM_FUZZ_CHECK(parsed.error == PacketError::kNone);
        VELLUM_FUZZ_CHECK(parsed.packet.sender != kOurs);
        VELLUM_FUZZ_CHECK(parsed.packet.fields.passphrase == kDefaultPassphrase);
        VELLUM_FUZZ_CHECK(here || ProgramKey(parsed.packet.fields) == ticked);
      }
      CheckTrace(receiver.Take(event).trace);
    }
    for (const SyncEvent& event : talk.Age(now))
      CheckTrace(receiver.Take(event).trace);
    for (const vellum::HeardProgram& program : talk.ProgramsHeard()) {
      CheckTrace(program.key);
      CheckTrace(program.label);
      VELLUM_FUZZ_CHECK(program.key.find('|') == std::string::npos);
      VELLUM_FUZZ_CHECK(program.key.size() <= 3 * 64 + 2);
      VELLUM_FUZZ_CHECK(program.followed == (program.key == ticked));
    }
  }
  return 0;
}
