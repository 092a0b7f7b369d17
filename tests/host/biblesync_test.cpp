// BibleSync without a network: packets read and written, the conversation's
// rules (whom we follow, for how long, who is an impostor), and which
// senders count as this machine.
#include <gtest/gtest.h>

#include "host/biblesync_conversation.h"
#include "host/biblesync_packet.h"
#include "host/multicast_socket.h"

namespace vellum::host::biblesync {
namespace {

using Kind = SyncEvent::Kind;

const Uuid kTheirs = {0xd3, 0xe0, 0xcd, 0x47, 0xf4, 0xf0, 0x4c, 0xeb,
                      0xa4, 0xc1, 0x34, 0xa7, 0xd9, 0x80, 0x43, 0xb0};
const Uuid kOurs = {1, 2, 3, 4, 5, 6, 0x47, 8, 0x89, 10, 11, 12, 13, 14, 15, 16};

// A header as libbiblesync writes it: magic in network order, one byte each
// for the packet count and index.
std::string Header(std::uint8_t type, std::uint8_t version = 3,
                   std::string count = {"\x01\0\0\0", 4}, const Uuid& uuid = kTheirs) {
  std::string header = std::string("\x40\x9c\xaf\x11", 4) + static_cast<char>(version) +
                       static_cast<char>(type) + count + std::string(6, '\0');
  return header + std::string(uuid.begin(), uuid.end());
}

// The beacon a libbiblesync program sent in a capture, body and all.
const std::string kPresence =
    "app.name=vellum-sync-speaker\napp.version=1\n"
    "app.inst.uuid=d3e0cd47-f4f0-4ceb-a4c1-34a7d98043b0\napp.os=Linux\n"
    "app.device=x86_64: Linux @ vm\napp.user=speaker\nmsg.sync.passPhrase=BibleSync\n";
const std::string kNavigation = kPresence +
                                "msg.sync.bibleAbbrev=WEB\nmsg.sync.domain=BIBLE-VERSE\n"
                                "msg.sync.group=1\nmsg.sync.altVerse=\nmsg.sync.verse=John.3.16\n";

TEST(BibleSyncPacket, WhatIsDroppedBeforeTheBodyIsRead) {
  struct Case {
    const char* what;
    std::string datagram;
    PacketError error;
  } cases[] = {
      {"a captured beacon", Header(3) + kPresence, PacketError::kNone},
      {"a captured navigation", Header(2) + kNavigation, PacketError::kNone},
      {"a header alone", Header(1), PacketError::kNone},
      {"the largest packet", Header(4) + std::string(kMaxBodySize, 'x'), PacketError::kNone},
      {"one byte more", Header(4) + std::string(kMaxBodySize + 1, 'x'), PacketError::kTooLong},
      {"a cut header", Header(2).substr(0, 31), PacketError::kTooShort},
      {"nothing", "", PacketError::kTooShort},
      {"junk", "no BibleSync packet at all, but long enough to be one\n", PacketError::kBadMagic},
      {"the magic backwards", std::string("\x11\xaf\x9c\x40", 4) + Header(2).substr(4),
       PacketError::kBadMagic},
      {"protocol version 2", Header(2, 2) + kNavigation, PacketError::kNone},
      {"protocol version 1", Header(2, 1), PacketError::kBadVersion},
      {"protocol version 4", Header(2, 4), PacketError::kBadVersion},
      {"message type 0", Header(0), PacketError::kBadType},
      {"message type 5", Header(5), PacketError::kBadType},
      {"count and index as 16-bit numbers", Header(2, 3, {"\0\x01\0\0", 4}), PacketError::kNone},
      {"two packets", Header(2, 3, {"\x02\0\0\0", 4}), PacketError::kBadCount},
      {"the second packet", Header(2, 3, {"\x01\0\x01\0", 4}), PacketError::kBadCount},
      {"no packets", Header(2, 3, {"\0\0\0\0", 4}), PacketError::kBadCount},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ParsedPacket parsed = ParsePacket(c.datagram);
    EXPECT_EQ(parsed.error, c.error) << PacketErrorText(parsed.error);
  }
}

TEST(BibleSyncPacket, TheBodyTakesWhatIsWholeAndIgnoresTheRest) {
  struct Case {
    const char* what;
    std::string body;
    std::optional<std::string> verse;
    std::optional<std::string> bible;
  } cases[] = {
      {"a navigation", kNavigation, "John.3.16", "WEB"},
      {"presence only: every field optional", kPresence, std::nullopt, std::nullopt},
      {"an empty body", "", std::nullopt, std::nullopt},
      {"a last line cut off", "msg.sync.bibleAbbrev=KJV\nmsg.sync.verse=John.3.1", std::nullopt,
       "KJV"},
      {"a NUL ends the body", std::string("msg.sync.verse=Gen.1.1\n\0msg.sync.bibleAbbrev=X\n", 47),
       "Gen.1.1", std::nullopt},
      {"a NUL inside a value", std::string("msg.sync.verse=Gen.1.1\0junk\n", 28), std::nullopt,
       std::nullopt},
      {"carriage returns", "msg.sync.verse=Rom.14.4\r\nmsg.sync.bibleAbbrev=NET\r\n", "Rom.14.4",
       "NET"},
      {"the first of two", "msg.sync.verse=Gen.1.1\nmsg.sync.verse=Rev.1.1\n", "Gen.1.1",
       std::nullopt},
      {"lines without a name", "=John.3.16\nmsg.sync.verse\n\n\n", std::nullopt, std::nullopt},
      {"unknown and near names", "msg.sync.verses=x\nMSG.SYNC.VERSE=y\nx.y=z\n", std::nullopt,
       std::nullopt},
      {"an empty value", "msg.sync.verse=\n", "", std::nullopt},
      {"an equals sign in a value", "msg.sync.verse=a=b\n", "a=b", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ParsedPacket parsed = ParsePacket(Header(2) + c.body);
    ASSERT_EQ(parsed.error, PacketError::kNone);
    EXPECT_EQ(parsed.packet.fields.verse, c.verse);
    EXPECT_EQ(parsed.packet.fields.bible, c.bible);
    EXPECT_EQ(parsed.packet.sender, kTheirs);
  }
}

TEST(BibleSyncPacket, WrittenAsOtherProgramsWriteThemAndReadBackAlike) {
  Packet packet;
  packet.type = PacketType::kSync;
  packet.sender = kTheirs;
  packet.fields.app_name = "Vellum";
  packet.fields.app_user = "anna\nmsg.sync.verse=Gen.1.1";  // a newline cannot forge a line
  packet.fields.passphrase = "BibleSync";
  packet.fields.alt_verse = "";
  packet.fields.verse = "John.3.16";
  const std::optional<std::string> built = BuildPacket(packet);
  ASSERT_TRUE(built);
  EXPECT_EQ(built->substr(0, kHeaderSize), Header(2));
  EXPECT_EQ(built->substr(kHeaderSize),
            "app.name=Vellum\napp.user=annamsg.sync.verse=Gen.1.1\nmsg.sync.passPhrase=BibleSync\n"
            "msg.sync.altVerse=\nmsg.sync.verse=John.3.16\n");
  const ParsedPacket back = ParsePacket(*built);
  ASSERT_EQ(back.error, PacketError::kNone);
  EXPECT_EQ(back.packet.fields.verse, "John.3.16");
  EXPECT_EQ(back.packet.fields.alt_verse, "");
  EXPECT_FALSE(back.packet.fields.bible);

  packet.fields.chat = std::string(kMaxBodySize, 'x');
  EXPECT_FALSE(BuildPacket(packet)) << "more than one packet holds";
  EXPECT_EQ(UuidText(kTheirs), "d3e0cd47-f4f0-4ceb-a4c1-34a7d98043b0");
}

class BibleSyncConversation : public ::testing::Test {
 protected:
  static Identity Us() { return Identity{"Vellum", "0.1.0", "Anna (anna)", "Linux", "x86_64"}; }
  std::vector<SyncEvent> Hear(const std::string& datagram, std::uint64_t now = 1000,
                              const char* from = "10.0.0.2") {
    return talk.Take(datagram, from, now);
  }
  static std::vector<Kind> Kinds(const std::vector<SyncEvent>& events) {
    std::vector<Kind> kinds;
    for (const SyncEvent& e : events)
      kinds.push_back(e.kind);
    return kinds;
  }
  static std::string From(const Uuid& uuid, std::uint8_t type, const std::string& body) {
    return Header(type, 3, {"\x01\0\0\0", 4}, uuid) + body;
  }

  Conversation talk{Us(), kOurs, ""};
};

TEST_F(BibleSyncConversation, WhatEachPacketBringsAbout) {
  std::string other_phrase = kNavigation;
  other_phrase.replace(other_phrase.find("=BibleSync"), 10, "=study");
  std::string no_phrase = kNavigation;
  no_phrase.erase(no_phrase.find("msg.sync.passPhrase"), 30);
  struct Case {
    const char* what;
    std::string datagram;
    std::vector<Kind> events;
  } cases[] = {
      {"a navigation from a program never heard",
       Header(2) + kNavigation,
       {Kind::kNewSpeaker, Kind::kNavigation}},
      {"a beacon from a new program", Header(3) + kPresence, {Kind::kNewSpeaker}},
      {"a beacon without version or device",
       Header(3) + "app.name=x\napp.user=y\nmsg.sync.passPhrase=BibleSync\n",
       {Kind::kNewSpeaker}},
      {"an announcement", Header(1) + kPresence, {Kind::kAnnounce}},
      {"a chat", Header(4) + kPresence + "msg.chat=hello\n", {Kind::kChat}},
      {"another passphrase", Header(2) + other_phrase, {Kind::kMismatch}},
      {"no passphrase at all", Header(2) + no_phrase, {Kind::kMismatch}},
      {"no body at all", Header(2), {Kind::kMismatch}},
      {"our own, looped back", From(kOurs, 2, kNavigation), {}},
      {"a malformed packet", Header(9) + kNavigation, {Kind::kError}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Conversation fresh(Us(), kOurs, "");
    EXPECT_EQ(Kinds(fresh.Take(c.datagram, "10.0.0.2", 1000)), c.events);
  }
  const std::vector<SyncEvent> events = Hear(Header(2) + kNavigation);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].speaker, "d3e0cd47-f4f0-4ceb-a4c1-34a7d98043b0");
  EXPECT_EQ(events[1].bible, "WEB");
  EXPECT_EQ(events[1].reference, "John.3.16");
  EXPECT_EQ(events[1].domain, "BIBLE-VERSE");
  EXPECT_EQ(events[1].info, "vellum-sync-speaker 1, speaker @ 10.0.0.2");
}

TEST_F(BibleSyncConversation, EveryProgramIsFollowedAndRememberedUntilItFallsSilent) {
  EXPECT_EQ(Kinds(Hear(Header(3) + kPresence, 0)), std::vector<Kind>{Kind::kNewSpeaker});
  EXPECT_TRUE(Hear(Header(3) + kPresence, 10'000).empty()) << "known: its presence refreshed";
  EXPECT_EQ(Kinds(Hear(Header(2) + kNavigation, 12'000)), std::vector<Kind>{Kind::kNavigation});
  const Uuid second = {9, 9, 9, 9, 9, 9, 0x49, 9, 0x89, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(Kinds(Hear(From(second, 2, kNavigation), 13'000)),
            (std::vector<Kind>{Kind::kNewSpeaker, Kind::kNavigation}))
      << "a second program, followed at once";
  EXPECT_EQ(talk.SpeakerCount(), 2u);

  EXPECT_TRUE(talk.Age(42'000).empty()) << "30 s after the last navigation, not more";
  const std::vector<SyncEvent> gone = talk.Age(42'001);
  ASSERT_EQ(Kinds(gone), std::vector<Kind>{Kind::kDeadSpeaker});
  EXPECT_EQ(gone[0].speaker, UuidText(kTheirs));
  EXPECT_EQ(Kinds(talk.Age(43'001)), std::vector<Kind>{Kind::kDeadSpeaker});
  // Restarted (or simply back): new again, followed at once.
  EXPECT_EQ(Kinds(Hear(Header(2) + kNavigation, 50'000)),
            (std::vector<Kind>{Kind::kNewSpeaker, Kind::kNavigation}));
}

TEST_F(BibleSyncConversation, AProgramKeepsItsAddressAndTheTableItsSize) {
  talk.SetFollowing(true, SyncFollowing{true, {}});  // other computers heard and followed
  Hear(Header(3) + kPresence, 0, "10.0.0.2");
  EXPECT_EQ(Kinds(talk.Take(Header(2) + kNavigation, "192.168.1.9", 1, false)),
            std::vector<Kind>{Kind::kError})
      << "from another computer, its UUID from another address is an impostor";
  EXPECT_EQ(Kinds(Hear(Header(2) + kNavigation, 2, "10.0.0.2")),
            std::vector<Kind>{Kind::kNavigation});
  EXPECT_EQ(Kinds(Hear(Header(2) + kNavigation, 3, "127.0.0.1")),
            std::vector<Kind>{Kind::kNavigation})
      << "on this machine, another of its addresses is the same program";

  // Made-up beacons fill the table, seventy and more: the program followed stays.
  for (int i = 0; i < 200; ++i) {
    Uuid made_up = kTheirs;
    made_up[0] = static_cast<std::uint8_t>(i);
    made_up[1] = 0x77;
    Hear(From(made_up, 3, kPresence), 100 + static_cast<std::uint64_t>(i));
  }
  EXPECT_EQ(talk.SpeakerCount(), kMaxSpeakers);
  EXPECT_EQ(Kinds(Hear(Header(2) + kNavigation, 400, "10.0.0.2")),
            std::vector<Kind>{Kind::kNavigation})
      << "still known: not new, not an impostor";
  EXPECT_EQ(Kinds(talk.Take(From(kTheirs, 3, kPresence), "192.168.1.66", 401, false)),
            std::vector<Kind>{Kind::kError})
      << "its UUID from elsewhere after the flood: still the impostor, not the program";
}

TEST_F(BibleSyncConversation, ProgramsOnOtherComputersLeadUsOnlyWhenTicked) {
  const auto there = [&](const std::string& datagram, std::uint64_t now) {
    return Kinds(talk.Take(datagram, "192.168.1.9", now, false));
  };
  EXPECT_EQ(there(Header(2) + kNavigation, 0), std::vector<Kind>{Kind::kForeign})
      << "not in reach of other computers: not even read";
  talk.SetFollowing(true, {});
  EXPECT_EQ(there(Header(3) + kPresence, 1), std::vector<Kind>{Kind::kNewSpeaker});
  const std::string key = "vellum-sync-speaker/speaker/x86_64: Linux @ vm";
  ASSERT_EQ(talk.ProgramsHeard().size(), 1u);
  EXPECT_EQ(talk.ProgramsHeard()[0].key, key);
  EXPECT_EQ(talk.ProgramsHeard()[0].label, "vellum-sync-speaker (speaker, x86_64: Linux @ vm)");
  EXPECT_FALSE(talk.ProgramsHeard()[0].followed);
  EXPECT_EQ(there(Header(2) + kNavigation, 2), std::vector<Kind>{Kind::kNotFollowed});
  const Uuid here = {7, 7, 7, 7, 7, 7, 0x47, 7, 0x87, 7, 7, 7, 7, 7, 7, 7};
  EXPECT_EQ(Kinds(Hear(From(here, 2, kNavigation), 3, "127.0.0.1")),
            (std::vector<Kind>{Kind::kNewSpeaker, Kind::kNavigation}))
      << "a program on this machine leads as ever, and is not listed";
  EXPECT_EQ(talk.ProgramsHeard().size(), 1u);

  talk.SetFollowing(true, SyncFollowing{false, {key}});
  EXPECT_EQ(there(Header(2) + kNavigation, 4), std::vector<Kind>{Kind::kNavigation});
  EXPECT_TRUE(talk.ProgramsHeard()[0].followed);
  const Uuid stranger = {5, 5, 5, 5, 5, 5, 0x45, 5, 0x85, 5, 5, 5, 5, 5, 5, 5};
  std::string other_user = kNavigation;
  other_user.replace(other_user.find("=speaker"), 8, "=pupil");
  EXPECT_EQ(Kinds(talk.Take(From(stranger, 2, other_user), "192.168.1.10", 5, false)),
            (std::vector<Kind>{Kind::kNewSpeaker, Kind::kNotFollowed}))
      << "the same program of another user is another program";
  talk.SetFollowing(true, SyncFollowing{true, {}});
  EXPECT_EQ(Kinds(talk.Take(From(stranger, 2, other_user), "192.168.1.10", 6, false)),
            std::vector<Kind>{Kind::kNavigation})
      << "every program heard";

  talk.SetFollowing(false, SyncFollowing{true, {}});
  EXPECT_TRUE(talk.ProgramsHeard().empty()) << "nothing from elsewhere is kept";
  EXPECT_EQ(talk.SpeakerCount(), 1u);
}

TEST(BibleSyncProgramKey, FitsOneLineOfTheSettingsWhateverThePacketSays) {
  struct Case {
    std::string name, user, device, key;
  } cases[] = {
      {"Xiphos", "anna", "laptop", "Xiphos/anna/laptop"},
      {"a/b|c", " x\ny ", "", "a_b_c/x_y/?"},
      {std::string(100, 'n'), "u", "\xC3\xA9t\xC3\xA9",
       std::string(64, 'n') + "/u/\xC3\xA9t\xC3\xA9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    PacketFields fields;
    fields.app_name = c.name;
    fields.app_user = c.user;
    if (!c.device.empty()) fields.app_device = c.device;
    EXPECT_EQ(ProgramKey(fields), c.key);
  }
}

TEST(MulticastInterfaces, SendingKeepsItsAddressWhileAnInterfaceHasIt) {
  const std::vector<MulticastInterface> now = {{"lo", 0x0100007F}, {"lan0", 0x0900C70A}};
  EXPECT_EQ(SendingAddress(now, 0x0900C70A, 0x0200C80A), 0x0900C70Au) << "still there";
  EXPECT_EQ(SendingAddress(now, 0x0200C70A, 0x0200C80A), 0x0200C80Au) << "renumbered: the route's";
  EXPECT_EQ(SendingAddress(now, std::nullopt, 0x0200C80A), 0x0200C80Au) << "a first join";
  EXPECT_EQ(InterfacesText(now, 0x0900C70A),
            "lo 127.0.0.1, lan0 10.199.0.9; sending by 10.199.0.9");
}

TEST_F(BibleSyncConversation, OurPacketsCarryEveryPresenceFieldAndBeaconsComeEveryTenSeconds) {
  const Conversation long_names(
      Identity{"Vellum", "0.1.0", std::string(500, 'u'), "Linux", std::string(300, 'd')}, kOurs,
      "study group");
  for (const std::string& datagram :
       {talk.Beacon(), talk.Announce(), *talk.Navigation("KJV", "Matt.5.3"), long_names.Beacon()}) {
    const ParsedPacket parsed = ParsePacket(datagram);
    ASSERT_EQ(parsed.error, PacketError::kNone);
    const PacketFields& f = parsed.packet.fields;
    EXPECT_EQ(parsed.packet.sender, kOurs);
    EXPECT_EQ(f.app_uuid, UuidText(kOurs));
    for (const auto* field : {&f.app_name, &f.app_version, &f.app_os, &f.app_device, &f.app_user})
      EXPECT_TRUE(*field && !(*field)->empty());
    EXPECT_LE(f.app_user->size(), kMaxIdentityText);
  }
  EXPECT_EQ(ParsePacket(talk.Beacon()).packet.type, PacketType::kBeacon);
  EXPECT_EQ(ParsePacket(talk.Beacon()).packet.fields.passphrase, "BibleSync");
  EXPECT_EQ(ParsePacket(long_names.Beacon()).packet.fields.passphrase, "study group");
  const PacketFields nav = ParsePacket(*talk.Navigation("KJV", "Matt.5.3")).packet.fields;
  EXPECT_EQ(nav.bible, "KJV");
  EXPECT_EQ(nav.verse, "Matt.5.3");
  EXPECT_EQ(nav.domain, "BIBLE-VERSE");
  EXPECT_EQ(nav.group, "1");
  EXPECT_EQ(nav.alt_verse, "");
  EXPECT_FALSE(talk.Navigation("KJV", std::string(kMaxBodySize, 'x')));

  talk.BeaconSent(5'000);
  EXPECT_FALSE(talk.BeaconDue(14'000));
  EXPECT_TRUE(talk.BeaconDue(14'600)) << "a tick a little early sends it, never one late";
  EXPECT_TRUE(talk.BeaconDue(15'000));
}

TEST(LocalAddresses, TheSystemIsAskedAgainEveryTwoSecondsAtMost) {
  int look_ups = 0;
  const std::uint32_t ours = 0x0200000A;    // 10.0.0.2 in network order
  const std::uint32_t theirs = 0x0100000A;  // 10.0.0.1
  const std::uint32_t loopback = 0x0500007F;
  std::optional<std::vector<std::uint32_t>> answer = std::vector<std::uint32_t>{ours};
  LocalAddresses local([&] {
    ++look_ups;
    return answer;
  });
  const auto t0 = LocalAddresses::Clock::time_point{} + std::chrono::hours(1);
  const auto at = [&](int ms) { return t0 + std::chrono::milliseconds(ms); };
  EXPECT_TRUE(local.Contains(loopback, at(0)));
  EXPECT_EQ(look_ups, 0) << "127.0.0.0/8 needs no asking";
  EXPECT_TRUE(local.Contains(ours, at(0)));
  for (int i = 0; i < 100; ++i)
    EXPECT_FALSE(local.Contains(theirs, at(10 + i)));
  EXPECT_EQ(look_ups, 1) << "a flood from elsewhere asks nothing more";
  answer = std::vector<std::uint32_t>{ours, theirs};  // a network joined
  EXPECT_TRUE(local.Contains(theirs, at(3000)));
  answer = std::nullopt;  // the system could not say
  EXPECT_TRUE(local.Contains(theirs, at(6000))) << "what was known stays";
  answer = std::vector<std::uint32_t>{ours};  // that network left
  EXPECT_TRUE(local.Contains(theirs, at(7000))) << "trusted while the list is fresh";
  EXPECT_FALSE(local.Contains(theirs, at(8000))) << "no longer ours, no longer trusted";
  EXPECT_EQ(look_ups, 4);
}

}  // namespace
TEST(TraceLimiter, RepeatsAreCountedAndABusySecondIsCutShort) {
  TraceLimiter limiter;
  std::vector<std::string> written;
  const auto say = [&](const std::string& line, std::uint64_t at) {
    for (const std::string& out : limiter.Admit(line, at))
      written.push_back(out);
  };
  // A flood of the same line: one written, then its count with the next.
  for (int i = 0; i < 1000; ++i)
    say("dropped unread: too long", 1000 + static_cast<std::uint64_t>(i));
  say("joined", 2500);
  // Forty different lines within a second: thirty written, the rest counted.
  for (int i = 0; i < 40; ++i)
    say("from 10.0.0." + std::to_string(i), 5000 + static_cast<std::uint64_t>(i));
  say("left", 7000);
  const std::vector<std::string> expected_start = {"dropped unread: too long",
                                                   "(the line above 999 more times)", "joined"};
  ASSERT_GE(written.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(written.begin(), written.begin() + 3), expected_start);
  ASSERT_EQ(written.size(), 3u + 30u + 2u);
  EXPECT_EQ(written[3], "from 10.0.0.0");
  EXPECT_EQ(written[32], "from 10.0.0.29");
  EXPECT_EQ(written[33], "(10 lines left out: more than 30 a second)");
  EXPECT_EQ(written[34], "left");
}

}  // namespace vellum::host::biblesync
