#include "host/sync_events.h"

#include "host/osis.h"

namespace vellum::host {
namespace {

constexpr std::string_view kVerseDomain = "BIBLE-VERSE";
// Bible abbreviations are short names such as "KJV" or "NASB".
constexpr std::size_t kMaxBibleLength = 32;

bool IsPlainName(std::string_view text) {
  if (text.empty() || text.size() > kMaxBibleLength) return false;
  for (const char c : text) {
    const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       c == '_' || c == '-' || c == '.';
    if (!plain) return false;
  }
  return true;
}

std::string Count(std::uint64_t n, std::string_view what) {
  return std::to_string(n) + " " + std::string(what);
}

}  // namespace

std::string TraceText(std::string_view text, std::size_t limit) {
  std::string out;
  for (const char c : text.substr(0, limit)) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back(byte < 32 || byte == 127 ? '?' : c);
  }
  if (text.size() > limit) out += "...";
  return out;
}

SyncOutcome SyncReceiver::Take(const SyncEvent& event) {
  SyncOutcome outcome;
  const std::string from = TraceText(event.speaker, 36);
  switch (event.kind) {
    case SyncEvent::Kind::kNavigation: {
      const std::string reference = TraceText(event.reference);
      if (event.domain != kVerseDomain) {
        ++counts_.ignored;
        outcome.trace = "navigation " + reference + " in domain " + TraceText(event.domain, 32) +
                        " ignored; " + Count(counts_.ignored, "ignored");
        break;
      }
      const MappedReference mapped = MapOsisReference(event.reference);
      if (mapped.status != ReferenceStatus::kMapped) {
        ++counts_.ignored;
        outcome.trace = "navigation " + reference + " ignored (" +
                        std::string(StatusText(mapped.status)) + "); " +
                        Count(counts_.ignored, "ignored");
        break;
      }
      ++counts_.navigations;
      if (IsPlainName(event.bible)) bible_to_send_ = event.bible;
      outcome.location = mapped.location;
      outcome.trace =
          "navigation " + reference + " from " + from + " shows " +
          std::string(Code(mapped.location)) + " " + std::to_string(mapped.location.chapter) + ":" +
          std::to_string(mapped.location.verse) + "; " + Count(counts_.navigations, "taken");
      break;
    }
    case SyncEvent::Kind::kAnnounce:
      outcome.trace = "announce from " + from + ": " + TraceText(event.info);
      break;
    case SyncEvent::Kind::kNewSpeaker:
      outcome.trace = "speaker " + from + " heard: " + TraceText(event.info);
      break;
    case SyncEvent::Kind::kDeadSpeaker:
      outcome.trace = "speaker " + from + " gone";
      break;
    case SyncEvent::Kind::kMismatch:
      ++counts_.mismatches;
      outcome.trace =
          "mismatch (" + TraceText(event.info) + "); " + Count(counts_.mismatches, "mismatches");
      break;
    case SyncEvent::Kind::kChat:
      outcome.trace = "chat from " + from + " not shown";
      break;
    case SyncEvent::Kind::kError:
      ++counts_.errors;
      outcome.trace = "error (" + TraceText(event.info) + "); " + Count(counts_.errors, "errors");
      break;
    case SyncEvent::Kind::kForeign:
      ++counts_.foreign;
      outcome.trace = "datagram from " + TraceText(event.info, 40) +
                      " dropped unread: not from this machine; " +
                      Count(counts_.foreign, "dropped");
      break;
    case SyncEvent::Kind::kNotFollowed:
      ++counts_.ignored;
      outcome.trace = "navigation from " + TraceText(event.info) +
                      " not followed: not ticked in the menu; " + Count(counts_.ignored, "ignored");
      break;
    case SyncEvent::Kind::kOther:
      outcome.trace = "event from " + from + " not handled";
      break;
  }
  return outcome;
}

std::vector<std::string> TraceLimiter::Admit(const std::string& line, std::uint64_t now_ms) {
  std::vector<std::string> lines;
  if (line == last_ && !last_.empty()) {
    ++repeats_;
    return lines;
  }
  if (now_ms - second_start_ >= 1000 || now_ms < second_start_) {
    second_start_ = now_ms;
    written_this_second_ = 0;
  }
  if (written_this_second_ >= kLinesPerSecond) {
    ++left_out_;
    return lines;
  }
  // Built piece by piece: one expression of + on temporaries trips a false
  // -Wrestrict in GCC 12's string code.
  if (repeats_ > 0) {
    std::string said = "(the line above ";
    said += std::to_string(repeats_);
    said += repeats_ == 1 ? " more time)" : " more times)";
    lines.push_back(std::move(said));
  }
  if (left_out_ > 0) {
    std::string said = "(";
    said += std::to_string(left_out_);
    said += left_out_ == 1 ? " line" : " lines";
    said += " left out: more than ";
    said += std::to_string(kLinesPerSecond);
    said += " a second)";
    lines.push_back(std::move(said));
  }
  lines.push_back(line);
  last_ = line;
  repeats_ = 0;
  left_out_ = 0;
  ++written_this_second_;
  return lines;
}

}  // namespace vellum::host
