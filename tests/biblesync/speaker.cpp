// vellum-sync-speaker: another Bible program for the end-to-end tests, built
// on libbiblesync itself (not on the viewer's own link), so that the viewer
// is tested against the real library's packets.
//
//   vellum-sync-speaker [--seconds N] [--passphrase P] [--beacon-every N]
//                       [--reach network]
//
// Joins in personal mode, private to this machine (with --reach network: in
// speaker mode, leading the local network, as a teacher's program would, for
// a test's other machine), and prints one line per
// event it hears ("EVENT N key=... bible=... ref=... at=..."). Commands, one per
// line on standard input:
//   send REF [BIBLE]   a navigation, through the library (commands written
//                      together are carried out together: a burst)
//   quit
// Ends at "quit", at the end of its input, or after N seconds (default 60).
// Its beacon goes out when it joins, then every ten seconds, or every N
// seconds with --beacon-every (at most 255).
#include <sys/select.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/biblesync/private_multicast.h"

#include <biblesync.hh>
#undef min
#undef _

namespace {

// Each event with the wall-clock moment the library handed it over, in
// milliseconds since the epoch (the bench compares it with the arrival).
void OnEvent(char command, std::string speaker, std::string bible, std::string reference,
             std::string, std::string, std::string, std::string info, std::string) {
  const double at =
      std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  std::printf("EVENT %c key=%s bible=%s ref=%s at=%.3f info=%s\n", command, speaker.c_str(),
              bible.c_str(), reference.c_str(), at, info.c_str());
  std::fflush(stdout);
}

// Standard input, read as it comes: the complete lines waiting after up to
// timeout_ms, all of them, so that commands written together are carried out
// together (a burst). False at the end of the input.
bool TakeLines(int timeout_ms, std::string& pending, std::vector<std::string>& lines) {
  fd_set read_set;
  FD_ZERO(&read_set);
  FD_SET(0, &read_set);
  timeval timeout{0, timeout_ms * 1000};
  if (select(1, &read_set, nullptr, nullptr, &timeout) > 0) {
    char buffer[4096];
    const ssize_t got = read(0, buffer, sizeof buffer);
    if (got <= 0) return false;
    pending.append(buffer, static_cast<std::size_t>(got));
  }
  std::size_t newline = 0;
  while ((newline = pending.find('\n')) != std::string::npos) {
    lines.push_back(pending.substr(0, newline));
    pending.erase(0, newline + 1);
  }
  return true;
}

// Carries out one command; false for "quit".
bool Carry(BibleSync& library, const std::string& line) {
  std::istringstream words(line);
  std::string command;
  words >> command;
  if (command == "send") {
    std::string reference;
    std::string bible = "KJV";
    words >> reference >> bible;
    const vellum::testing::PrivateMulticastScope private_sockets;
    const BibleSync_xmit_status status = library.Transmit(bible, reference);
    std::printf("SENT %s %d\n", reference.c_str(), static_cast<int>(status));
  } else if (command == "quit") {
    return false;
  } else if (!command.empty()) {
    std::printf("UNKNOWN %s\n", command.c_str());
  }
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 60;
  int beacon_every = 10;
  std::string passphrase;
  bool network = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--seconds") {
      seconds = std::atoi(argv[i + 1]);
    } else if (option == "--passphrase") {
      passphrase = argv[i + 1];
    } else if (option == "--reach" && std::string(argv[i + 1]) == "network") {
      network = true;
    } else if (option == "--beacon-every") {
      beacon_every = std::clamp(std::atoi(argv[i + 1]), 1, 255);
    } else {
      std::fprintf(stderr,
                   "usage: vellum-sync-speaker [--seconds N] [--passphrase P] [--beacon-every N] "
                   "[--reach network]\n");
      return 2;
    }
  }

  BibleSync library("vellum-sync-speaker", "1", "speaker");
  // Polled once a second: the count of polls between beacons is in seconds.
  library.setBeaconCount(static_cast<std::uint8_t>(beacon_every));
  BibleSync_mode mode = BSP_MODE_DISABLE;
  const BibleSync_mode wanted = network ? BSP_MODE_SPEAKER : BSP_MODE_PERSONAL;
  if (network) {
    mode = library.setMode(wanted, OnEvent, passphrase);
  } else {
    const vellum::testing::PrivateMulticastScope private_sockets;
    mode = library.setMode(wanted, OnEvent, passphrase);
  }
  if (mode != wanted || (!network && !library.setPrivate(true))) {
    std::fprintf(stderr, "vellum-sync-speaker: cannot join\n");
    return 1;
  }
  std::printf("READY\n");
  std::fflush(stdout);

  // Polled once a second, as the library expects: its beacons go out every
  // tenth poll, and it takes a program for gone after thirty polls without
  // one. Commands are carried out as soon as they come.
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  auto next_poll = Clock::now();
  bool running = true;
  std::string pending;
  while (running && Clock::now() < end) {
    if (Clock::now() >= next_poll) {
      const vellum::testing::PrivateMulticastScope private_sockets;
      BibleSync::Receive(&library);
      next_poll += std::chrono::seconds(1);
    }
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(next_poll - Clock::now()).count();
    std::vector<std::string> lines;
    running = TakeLines(static_cast<int>(std::clamp<long long>(wait, 0, 1000)), pending, lines);
    for (const std::string& line : lines) {
      if (!Carry(library, line)) running = false;
    }
  }
  library.setMode(BSP_MODE_DISABLE);
  return 0;
}
