// The multicast socket on BSD sockets (Linux).
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "host/multicast_socket.h"

namespace vellum::host {
namespace {

std::string SystemError(const char* what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

std::string Dotted(in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) return "?";
  return text;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  int Get() const { return fd_; }

 private:
  int fd_;
};

bool SetInt(int fd, int level, int name, int value) {
  return setsockopt(fd, level, name, &value, sizeof value) == 0;
}

// The address of the interface the system routes the group to now, as a
// connected scratch socket learns it; nullopt without a route.
std::optional<in_addr> RouteSource(const sockaddr_in& group) {
  const FileDescriptor scratch(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_in source{};
  socklen_t size = sizeof source;
  if (scratch.Get() < 0 ||
      connect(scratch.Get(), reinterpret_cast<const sockaddr*>(&group), sizeof group) != 0 ||
      getsockname(scratch.Get(), reinterpret_cast<sockaddr*>(&source), &size) != 0 ||
      source.sin_addr.s_addr == htonl(INADDR_ANY))
    return std::nullopt;
  return source.sin_addr;
}

// Every IPv4 address of every interface (getifaddrs).
std::optional<std::vector<std::uint32_t>> InterfaceAddresses() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::nullopt;
  std::vector<std::uint32_t> found;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    sockaddr_in address{};
    std::memcpy(&address, entry->ifa_addr, sizeof address);
    found.push_back(address.sin_addr.s_addr);
  }
  freeifaddrs(list);
  return found;
}

// The interfaces to join the group on: every one that is up and can carry
// multicast, and the loopback, which always can; an interface with several
// addresses once, by its first.
std::optional<std::vector<MulticastInterface>> MulticastInterfaces() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::nullopt;
  std::vector<MulticastInterface> found;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
        entry->ifa_name == nullptr || (entry->ifa_flags & IFF_UP) == 0 ||
        (entry->ifa_flags & (IFF_MULTICAST | IFF_LOOPBACK)) == 0)
      continue;
    const std::string name = entry->ifa_name;
    if (std::any_of(found.begin(), found.end(),
                    [&](const MulticastInterface& seen) { return seen.name == name; }))
      continue;
    sockaddr_in address{};
    std::memcpy(&address, entry->ifa_addr, sizeof address);
    found.push_back({name, address.sin_addr.s_addr});
  }
  freeifaddrs(list);
  return found;
}

in_addr SendingInterface(const sockaddr_in& group) {
  return RouteSource(group).value_or(in_addr{htonl(INADDR_LOOPBACK)});
}

}  // namespace

struct MulticastSocket::State {
  explicit State(int fd) : socket(fd) {}

  FileDescriptor socket;
  sockaddr_in group{};
  Reach reach = Reach::kThisMachine;
  std::string joined_on;
  std::uint32_t sending_by = 0;
  bool sending_closed = false;  // its time-to-live could not be put back to 0
  LocalAddresses local{InterfaceAddresses};
};

std::optional<std::string> MulticastSocket::InterfacesNow(
    const char* group, std::optional<std::uint32_t> keep_sending_by) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (inet_pton(AF_INET, group, &address.sin_addr) != 1) return std::nullopt;
  const std::optional<std::vector<MulticastInterface>> interfaces = MulticastInterfaces();
  if (!interfaces) return std::nullopt;
  return InterfacesText(
      *interfaces, SendingAddress(*interfaces, keep_sending_by, SendingInterface(address).s_addr));
}

const std::string& MulticastSocket::JoinedOn() const {
  return state_->joined_on;
}

std::uint32_t MulticastSocket::SendingBy() const {
  return state_->sending_by;
}

MulticastSocket::MulticastSocket(std::unique_ptr<State> state) : state_(std::move(state)) {}
MulticastSocket::~MulticastSocket() = default;

std::unique_ptr<MulticastSocket> MulticastSocket::Open(const char* group, std::uint16_t port,
                                                       Reach reach,
                                                       std::optional<std::uint32_t> keep_sending_by,
                                                       std::string& error) {
  auto state =
      std::make_unique<State>(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  const int fd = state->socket.Get();
  if (fd < 0) {
    error = SystemError("no socket", errno);
    return nullptr;
  }
  state->reach = reach;
  state->group.sin_family = AF_INET;
  state->group.sin_port = htons(port);
  // A time-to-live of 0 keeps only multicast on this machine.
  if (inet_pton(AF_INET, group, &state->group.sin_addr) != 1 ||
      !IN_MULTICAST(ntohl(state->group.sin_addr.s_addr))) {
    error = std::string("not an IPv4 multicast group: ") + group;
    return nullptr;
  }
  // Private before anything else: read back, so that a system that took the
  // call but not the value is caught too.
  int ttl = -1;
  socklen_t size = sizeof ttl;
  if (!SetInt(fd, IPPROTO_IP, IP_MULTICAST_TTL, 0) ||
      getsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, &size) != 0 || ttl != 0) {
    error = "packets could not be kept on this machine (multicast time-to-live 0)";
    return nullptr;
  }
  if (!SetInt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, 1)) {
    error = SystemError("the other programs on this machine could not be reached", errno);
    return nullptr;
  }
  // Other programs on this machine listen on the same port.
  if (!SetInt(fd, SOL_SOCKET, SO_REUSEADDR, 1)) {
    error = SystemError("the port could not be shared", errno);
    return nullptr;
  }
#ifdef IP_MULTICAST_ALL
  // Only the group this socket joins, not every group the machine is in.
  if (!SetInt(fd, IPPROTO_IP, IP_MULTICAST_ALL, 0)) {
    error = SystemError("the socket could not be kept to its group", errno);
    return nullptr;
  }
#endif
  // Arrival times are for the trace only: a system without them is no failure.
  SetInt(fd, SOL_SOCKET, SO_TIMESTAMPNS, 1);
  // Bound to the group's address: datagrams sent to this machine alone never arrive.
  if (bind(fd, reinterpret_cast<const sockaddr*>(&state->group), sizeof state->group) != 0) {
    error = SystemError("the port could not be opened", errno);
    return nullptr;
  }
  // Joined on every interface that is up: other programs on this machine
  // join on the one they pick (the default route's, the group's route's, the
  // first one listed), and the system hands a socket only what arrives on an
  // interface where it is a member. Sending is pinned to the one interface
  // the system routes the group to now, because the system puts a packet of
  // time-to-live 0 onto the network after all when it leaves by an interface
  // where no socket of this machine is a member.
  const std::optional<std::vector<MulticastInterface>> interfaces = MulticastInterfaces();
  if (!interfaces) {
    error = SystemError("the network interfaces could not be listed", errno);
    return nullptr;
  }
  std::vector<MulticastInterface> joined;
  int join_error = 0;
  for (const MulticastInterface& item : *interfaces) {
    ip_mreq membership{};
    membership.imr_multiaddr = state->group.sin_addr;
    membership.imr_interface.s_addr = item.address;
    if (setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) == 0)
      joined.push_back(item);
    else
      join_error = errno;
  }
  in_addr sending{};
  sending.s_addr =
      SendingAddress(*interfaces, keep_sending_by, SendingInterface(state->group).s_addr);
  state->sending_by = sending.s_addr;
  if (joined.empty() ||
      setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &sending, sizeof sending) != 0) {
    error =
        SystemError("the multicast group could not be joined", joined.empty() ? join_error : errno);
    return nullptr;
  }
  // Compared with InterfacesNow: the interfaces as listed, not only those
  // that took the membership, or one that refused would look like a change.
  state->joined_on = InterfacesText(*interfaces, sending.s_addr);
  return std::unique_ptr<MulticastSocket>(new MulticastSocket(std::move(state)));
}

std::optional<std::string> MulticastSocket::Send(std::string_view datagram, bool to_network) {
  const int fd = state_->socket.Get();
  if (state_->sending_closed) return "this socket sends no more";
  if (to_network && state_->reach != Reach::kNetwork)
    return "this socket does not reach the network";
  // The time-to-live is 1 for this one packet only, and 0 again before
  // anything else can be sent: a failure to put it back closes the way out.
  if (to_network && !SetInt(fd, IPPROTO_IP, IP_MULTICAST_TTL, 1))
    return SystemError("not sent", errno);
  const ssize_t sent =
      sendto(fd, datagram.data(), datagram.size(), MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&state_->group), sizeof state_->group);
  const int send_error = errno;
  if (to_network && !SetInt(fd, IPPROTO_IP, IP_MULTICAST_TTL, 0)) {
    state_->sending_closed = true;
    return SystemError("the socket could not be kept to this machine; it sends no more", errno);
  }
  if (sent < 0) return SystemError("not sent", send_error);
  if (static_cast<std::size_t>(sent) != datagram.size()) return "sent in part";
  return std::nullopt;
}

MulticastSocket::Received MulticastSocket::Receive(char* buffer, std::size_t capacity) {
  Received received;
  sockaddr_in from{};
  iovec part{buffer, capacity};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))] = {};
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t got = -1;
  do {
    got = recvmsg(state_->socket.Get(), &message, MSG_DONTWAIT);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return received;
    received.status = Status::kFailed;
    received.error = SystemError("receiving failed", errno);
    return received;
  }
  received.source = from.sin_family == AF_INET ? Dotted(from.sin_addr) : "an unknown sender";
  received.from_this_machine =
      from.sin_family == AF_INET && state_->local.Contains(from.sin_addr.s_addr);
  if (from.sin_family != AF_INET ||
      (!received.from_this_machine && state_->reach != Reach::kNetwork)) {
    received.status = Status::kForeign;
    return received;
  }
  received.status = Status::kDatagram;
  received.size = std::min(static_cast<std::size_t>(got), capacity);
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
      timespec when{};
      std::memcpy(&when, CMSG_DATA(c), sizeof when);
      received.arrival_ns = std::int64_t{when.tv_sec} * 1'000'000'000 + when.tv_nsec;
    }
  }
  return received;
}

std::uintptr_t MulticastSocket::Handle() const {
  return static_cast<std::uintptr_t>(state_->socket.Get());
}

}  // namespace vellum::host
