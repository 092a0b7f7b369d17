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
                             std::function<void(const TbcvRec&)> on_location,
                             std::function<void(const std::string&)> on_notice, Trace trace)
    : identity_(std::move(identity)),
      loop_(loop),
      on_location_(std::move(on_location)),
      on_notice_(std::move(on_notice)),
      trace_(std::move(trace)),
      uuid_(RandomUuid()) {}

BibleSyncLink::~BibleSyncLink() {
  // Leaving sends nothing: the protocol has no goodbye.
  loop_.Stop();
}

std::optional<std::string> BibleSyncLink::SetActive(SyncReach reach,
                                                    const std::string& passphrase) {
  if (reach == SyncReach::kOff) {
    if (Joined()) {
      Leave();
      Say("left");
    }
    reach_ = SyncReach::kOff;
    return std::nullopt;
  }
  if (Joined()) Leave();
  reach_ = reach;
  if (std::optional<std::string> error = Join(passphrase)) {
    Leave();
    reach_ = SyncReach::kOff;
    Say("could not join: " + *error);
    return "BibleSync could not be started: " + *error;
  }
  Say(std::string("joined in personal mode, ") +
      (reach == SyncReach::kOtherComputers
           ? "hearing other computers and following those ticked, as "
           : "private to this machine, as ") +
      biblesync::UuidText(uuid_) + " on " + socket_->JoinedOn());
  return std::nullopt;
}

void BibleSyncLink::SetFollowing(const SyncFollowing& following) {
  following_ = following;
  if (conversation_) conversation_->SetFollowing(reach_ == SyncReach::kOtherComputers, following_);
}

std::vector<HeardProgram> BibleSyncLink::ProgramsHeard() {
  return conversation_ ? conversation_->ProgramsHeard() : std::vector<HeardProgram>();
}

std::optional<std::string> BibleSyncLink::Join(const std::string& passphrase) {
  conversation_.emplace(identity_, uuid_, passphrase);
  conversation_->SetFollowing(reach_ == SyncReach::kOtherComputers, following_);
  network_heard_ms_ = NowMs();
  silence_told_ = false;
  return OpenSocket();
}

std::optional<std::string> BibleSyncLink::OpenSocket() {
  std::string error;
  const auto reach = reach_ == SyncReach::kOtherComputers ? MulticastSocket::Reach::kNetwork
                                                          : MulticastSocket::Reach::kThisMachine;
  // The socket in use stays until a new one is open: a failed attempt to
  // join again leaves things as they were, to be tried at the next tick.
  // Programs that know us know our address: it stays while it is there.
  const std::optional<std::uint32_t> keep =
      socket_ ? std::optional<std::uint32_t>(socket_->SendingBy()) : std::nullopt;
  std::unique_ptr<MulticastSocket> fresh =
      MulticastSocket::Open(biblesync::kGroupAddress, biblesync::kPort, reach, keep, error);
  if (!fresh) return error;
  ++joins_;
  loop_.Stop();
  socket_ = std::move(fresh);
  if (std::optional<std::string> not_watched = loop_.Start(
          socket_->Handle(), [this] { OnReadable(); }, [this] { OnTick(); }))
    return *not_watched;
  // The beacon goes first: it names our UUID before anything else can claim
  // it. Other computers hear of us by the announcement alone: that we are
  // there, never where we go.
  if (std::optional<std::string> not_sent = socket_->Send(conversation_->Beacon()))
    return *not_sent;
  if (std::optional<std::string> not_sent =
          socket_->Send(conversation_->Announce(), reach == MulticastSocket::Reach::kNetwork))
    return *not_sent;
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
        if (!received.from_this_machine) network_heard_ms_ = NowMs();
        for (const SyncEvent& event :
             conversation_->Take(std::string_view(buffer.data(), received.size), received.source,
                                 NowMs(), received.from_this_machine)) {
          Deliver(event, received.arrival_ns);
          if (!same()) return;
        }
        break;
    }
  }
}

void BibleSyncLink::OnTick() {
  if (!Joined()) return;
  FollowNetworkChanges();
  if (!Joined()) return;
  const std::uint64_t now = NowMs();
  for (const SyncEvent& event : conversation_->Age(now))
    Deliver(event);
  if (reach_ == SyncReach::kOtherComputers && !silence_told_ &&
      now - network_heard_ms_ >= kSilenceNoticeMs) {
    silence_told_ = true;
    Say("nothing heard from other computers for 30 s");
    if (on_notice_) on_notice_("No other computer heard: is UDP port 22272 open?");
  }
  if (!conversation_->BeaconDue(now)) return;
  if (std::optional<std::string> error = socket_->Send(conversation_->Beacon()))
    Say("beacon not sent: " + *error);
  // Tried again at the next interval either way, not at every tick.
  conversation_->BeaconSent(now);
}

void BibleSyncLink::FollowNetworkChanges() {
  const std::optional<std::string> now =
      MulticastSocket::InterfacesNow(biblesync::kGroupAddress, socket_->SendingBy());
  if (!now || *now == socket_->JoinedOn()) return;
  std::string line = "the network changed (";
  line += socket_->JoinedOn();
  line += " -> ";
  line += *now;
  line += ')';
  if (std::optional<std::string> error = OpenSocket()) {
    line += ": could not join again: ";
    line += *error;
    Say(line);
    // Without a watched socket there are no ticks to try again by.
    if (!loop_.Watching()) {
      Leave();
      if (on_notice_) on_notice_("BibleSync stopped: " + *error);
    }
    return;
  }
  Say(line + ": joined again");
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
