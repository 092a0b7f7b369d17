#include "host/biblesync_link.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <random>
#include <utility>

#include "host/osis.h"

namespace vellum::host {
namespace {

// Datagrams taken in per wake-up: a flood of them never holds up the window,
// and what is left wakes the loop again at once.
constexpr int kMaxDatagramsPerWake = 64;
// Larger than any valid packet, so that an oversized one shows as such.
constexpr std::size_t kReceiveBuffer = biblesync::kMaxPacketSize + 1024;

std::string Milliseconds(std::int64_t nanoseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(nanoseconds) / 1e6);
  return text;
}

}  // namespace

biblesync::Uuid RandomUuid() {
  std::random_device source;
  std::uniform_int_distribution<int> byte(0, 255);
  biblesync::Uuid uuid{};
  for (std::uint8_t& b : uuid)
    b = static_cast<std::uint8_t>(byte(source));
  uuid[6] = static_cast<std::uint8_t>((uuid[6] & 0x0F) | 0x40);  // version 4
  uuid[8] = static_cast<std::uint8_t>((uuid[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return uuid;
}

BibleSyncLink::BibleSyncLink(biblesync::Identity identity, SyncEventLoop& loop,
                             std::function<void(const TbcvRec&)> on_location, Trace trace)
    : identity_(std::move(identity)),
      loop_(loop),
      on_location_(std::move(on_location)),
      trace_(std::move(trace)),
      uuid_(RandomUuid()) {}

BibleSyncLink::~BibleSyncLink() {
  // Leaving sends nothing: the protocol has no goodbye.
  loop_.Stop();
}

std::optional<std::string> BibleSyncLink::SetActive(bool on, const std::string& passphrase) {
  if (!on) {
    if (Joined()) {
      Leave();
      Say("left");
    }
    return std::nullopt;
  }
  if (Joined()) Leave();
  if (std::optional<std::string> error = Join(passphrase)) {
    Leave();
    Say("could not join: " + *error);
    return "BibleSync could not be started: " + *error;
  }
  Say("joined in personal mode, private to this machine, as " + biblesync::UuidText(uuid_));
  return std::nullopt;
}

std::optional<std::string> BibleSyncLink::Join(const std::string& passphrase) {
  ++joins_;
  std::string error;
  socket_ = MulticastSocket::Open(biblesync::kGroupAddress, biblesync::kPort, error);
  if (!socket_) return error;
  conversation_.emplace(identity_, uuid_, passphrase);
  if (std::optional<std::string> not_watched = loop_.Start(
          socket_->Handle(), [this] { OnReadable(); }, [this] { OnTick(); }))
    return *not_watched;
  // The beacon goes first: it names our UUID before anything else can claim it.
  for (const std::string& packet : {conversation_->Beacon(), conversation_->Announce()}) {
    if (std::optional<std::string> not_sent = socket_->Send(packet)) return *not_sent;
  }
  conversation_->BeaconSent(NowMs());
  return std::nullopt;
}

void BibleSyncLink::Leave() {
  loop_.Stop();
  socket_.reset();
  conversation_.reset();
}

std::optional<TbcvRec> BibleSyncLink::SendRequest(std::string_view request) {
  if (!Joined()) return std::nullopt;
  const std::optional<SyncRequest> asked = RequestToReference(request);
  if (!asked) {
    Say("request " + TraceText(request) + " names no place other programs know; not sent");
    return std::nullopt;
  }
  const std::string& bible = receiver_.BibleToSend();
  const std::optional<std::string> packet = conversation_->Navigation(bible, asked->reference);
  std::optional<std::string> error = packet ? socket_->Send(*packet) : "too long for a packet";
  if (error) {
    Say("sending " + asked->reference + " failed: " + *error);
    return std::nullopt;
  }
  Say("sent " + asked->reference + " (" + bible + ")");
  return asked->location;
}

void BibleSyncLink::OnReadable() {
  std::array<char, kReceiveBuffer> buffer;
  // A location may lead to leaving (or joining again): nothing more of this
  // wake-up is wanted then.
  const std::uint64_t membership = joins_;
  const auto same = [&] { return Joined() && joins_ == membership; };
  for (int i = 0; i < kMaxDatagramsPerWake && same(); ++i) {
    const MulticastSocket::Received received = socket_->Receive(buffer.data(), buffer.size());
    switch (received.status) {
      case MulticastSocket::Status::kEmpty:
        return;
      case MulticastSocket::Status::kFailed:
        Deliver(SyncEvent{SyncEvent::Kind::kError, {}, {}, {}, {}, received.error});
        return;
      case MulticastSocket::Status::kForeign:
        Deliver(SyncEvent{SyncEvent::Kind::kForeign, {}, {}, {}, {}, received.source});
        break;
      case MulticastSocket::Status::kDatagram:
        for (const SyncEvent& event : conversation_->Take(
                 std::string_view(buffer.data(), received.size), received.source, NowMs())) {
          Deliver(event, received.arrival_ns);
          if (!same()) return;
        }
        break;
    }
  }
}

void BibleSyncLink::OnTick() {
  if (!Joined()) return;
  const std::uint64_t now = NowMs();
  for (const SyncEvent& event : conversation_->Age(now))
    Deliver(event);
  if (!conversation_->BeaconDue(now)) return;
  if (std::optional<std::string> error = socket_->Send(conversation_->Beacon()))
    Say("beacon not sent: " + *error);
  // Tried again at the next interval either way, not at every tick.
  conversation_->BeaconSent(now);
}

void BibleSyncLink::Deliver(const SyncEvent& event, std::optional<std::int64_t> arrival_ns) {
  const SyncOutcome outcome = receiver_.Take(event);
  if (!outcome.location) {
    Say(outcome.trace);
    return;
  }
  if (on_location_) on_location_(*outcome.location);
  std::string line = outcome.trace;
  if (arrival_ns) {
    const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    line += " (" + Milliseconds(now - *arrival_ns) + " ms after arrival)";
  }
  Say(line);
}

void BibleSyncLink::Say(const std::string& line) const {
  if (!trace_) return;
  for (const std::string& written : trace_limiter_.Admit(line, NowMs()))
    trace_(written);
}

std::uint64_t BibleSyncLink::NowMs() const {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

}  // namespace vellum::host
