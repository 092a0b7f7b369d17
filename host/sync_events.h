// What the viewer makes of the events of the BibleSync conversation:
// navigations become locations, everything else is counted and told in the
// trace. Packets come from any program, so nothing here trusts their content.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/location.h"

namespace vellum::host {

// One event of the conversation.
struct SyncEvent {
  enum class Kind {
    kNavigation,   // another program went somewhere
    kAnnounce,     // a program joined
    kNewSpeaker,   // a program was heard for the first time (its beacon)
    kDeadSpeaker,  // a program has not been heard for a while
    kMismatch,     // another passphrase or a mode that does not fit
    kChat,         // a message for people
    kError,        // a network error or a malformed packet
    kForeign,      // a datagram from another machine, dropped unread
    kNotFollowed,  // a navigation from a program on another computer not ticked
    kOther,        // anything else
  };
  Kind kind = Kind::kOther;
  std::string speaker;  // the sender's UUID, empty for errors
  std::string bible;    // the Bible abbreviation of a navigation
  std::string reference;
  std::string domain;  // "BIBLE-VERSE" for verse navigations
  std::string info;    // who sent it or what went wrong, for the trace
};

struct SyncCounts {
  std::uint64_t navigations = 0;  // handed on as a location to show
  std::uint64_t ignored = 0;      // navigations that name no place we can show
  std::uint64_t errors = 0;       // network errors and malformed packets
  std::uint64_t mismatches = 0;   // packets for another passphrase
  std::uint64_t foreign = 0;      // datagrams from other machines
};

struct SyncOutcome {
  std::optional<TbcvRec> location;  // a place to show
  std::string trace;                // one line saying what happened
};

class SyncReceiver {
 public:
  SyncOutcome Take(const SyncEvent& event);
  const SyncCounts& Counts() const { return counts_; }
  // The Bible abbreviation to send with our own navigations: the one the
  // other programs used last, so that following us keeps them in their own
  // Bible; KJV, the protocol's usual default, until one was heard.
  const std::string& BibleToSend() const { return bible_to_send_; }

 private:
  SyncCounts counts_;
  std::string bible_to_send_ = "KJV";
};

// Text from a packet made fit for one line of the trace: at most `limit`
// bytes, control characters shown as "?".
std::string TraceText(std::string_view text, std::size_t limit = 80);

// Keeps the trace from growing by a line for every datagram a busy network
// sends: a line like the one before is counted, not written again, and at
// most kLinesPerSecond lines are written in a second; what was held back is
// said by count with the next line written.
class TraceLimiter {
 public:
  static constexpr int kLinesPerSecond = 30;
  // The lines to write now for `line` arriving at `now_ms` (none, or a count
  // of what was held back and the line).
  std::vector<std::string> Admit(const std::string& line, std::uint64_t now_ms);

 private:
  std::string last_;
  int repeats_ = 0;   // of last_, not written
  int left_out_ = 0;  // other lines, over the second's share
  std::uint64_t second_start_ = 0;
  int written_this_second_ = 0;
};

}  // namespace vellum::host
