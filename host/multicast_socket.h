// A UDP socket in a multicast group. Private to this machine from its first
// packet: the multicast time-to-live is 0 and loopback is on before anything
// can be sent, and sending is pinned to the interface the system routes the
// group to, so our packets reach the programs on this machine and never the
// network (the system's own membership reports for the group aside). It
// joins the group on every interface that is up, since other programs on
// this machine join on whichever one they pick, and it hears them all.
// A datagram whose sender is not an address of this machine is dropped
// unread, unless the socket was opened to hear the network too; even then
// only a packet sent with to_network leaves the machine. One implementation
// per platform (BSD sockets, Winsock).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellum::host {

// This machine's IPv4 addresses (network byte order), as the system lists
// them, looked up again when the list is two seconds old: often enough to see
// a network joined or left, seldom enough that datagrams from elsewhere cannot
// make us ask the system at every one. A failed look-up keeps what was known.
class LocalAddresses {
 public:
  using LookUp = std::function<std::optional<std::vector<std::uint32_t>>()>;
  using Clock = std::chrono::steady_clock;
  static constexpr auto kRefresh = std::chrono::seconds(2);

  explicit LocalAddresses(LookUp look_up) : look_up_(std::move(look_up)) {}
  bool Contains(std::uint32_t address, Clock::time_point now = Clock::now());

 private:
  LookUp look_up_;
  std::vector<std::uint32_t> known_;
  std::optional<Clock::time_point> last_look_up_;
};

// An interface the group is joined on: its name and IPv4 address (network
// byte order).
struct MulticastInterface {
  std::string name;
  std::uint32_t address = 0;
};

// The interfaces in the words of MulticastSocket::JoinedOn.
std::string InterfacesText(const std::vector<MulticastInterface>& joined, std::uint32_t sending);
// The address to send by: keep when one of the interfaces still has it,
// else the route's.
std::uint32_t SendingAddress(const std::vector<MulticastInterface>& interfaces,
                             std::optional<std::uint32_t> keep, std::uint32_t route);

class MulticastSocket {
 public:
  // Whom the socket hears: the programs on this machine only, or those on
  // the local network too.
  enum class Reach { kThisMachine, kNetwork };
  enum class Status {
    kDatagram,  // a datagram, in the buffer
    kForeign,   // a datagram from elsewhere, dropped unread (kThisMachine)
    kEmpty,     // nothing waiting
    kFailed,    // the socket failed; error says why
  };
  struct Received {
    Status status = Status::kEmpty;
    // The datagram's size in the buffer; a datagram larger than the buffer
    // fills it whole, so a buffer larger than any valid datagram shows it.
    std::size_t size = 0;
    std::string source;  // the sender's IPv4 address, dotted
    bool from_this_machine = true;
    // When the system took the datagram in, in nanoseconds of the wall clock
    // (std::chrono::system_clock's epoch), where the system says.
    std::optional<std::int64_t> arrival_ns;
    std::string error;
  };

  // Joins group:port. nullptr with error set (words for the user) when the
  // system refused any step: nothing is ever sent from a socket that could
  // not be made private. Sending goes by the interface whose address is
  // keep_sending_by while one has it (programs know us by our address), else
  // by the one the system routes the group to now.
  static std::unique_ptr<MulticastSocket> Open(const char* group, std::uint16_t port, Reach reach,
                                               std::optional<std::uint32_t> keep_sending_by,
                                               std::string& error);
  // The interfaces Open would join the group on now and the one it would
  // send by, in words for the trace ("lo 127.0.0.1, lan0 10.199.0.2; sending
  // by 10.199.0.2"); nullopt when the system cannot tell. A socket whose
  // JoinedOn differs is out of date: the network changed under it.
  static std::optional<std::string> InterfacesNow(const char* group,
                                                  std::optional<std::uint32_t> keep_sending_by);
  const std::string& JoinedOn() const;
  // The address sending goes by (network byte order).
  std::uint32_t SendingBy() const;
  MulticastSocket(const MulticastSocket&) = delete;
  MulticastSocket& operator=(const MulticastSocket&) = delete;
  ~MulticastSocket();

  // Sends one datagram to the group, to this machine only unless to_network
  // (then with a time-to-live of 1: the local network and no further; only
  // on a socket of Reach::kNetwork). nullopt when sent, else why not.
  std::optional<std::string> Send(std::string_view datagram, bool to_network = false);
  // Takes the next waiting datagram, never blocking.
  Received Receive(char* buffer, std::size_t capacity);
  // The system's handle, for the event loop's watch (a file descriptor, a SOCKET).
  std::uintptr_t Handle() const;

  struct State;

 private:
  explicit MulticastSocket(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace vellum::host
