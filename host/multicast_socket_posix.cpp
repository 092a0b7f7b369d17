// The multicast socket on BSD sockets (Linux).
#include <arpa/inet.h>
#include <ifaddrs.h>
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

}  // namespace

struct MulticastSocket::State {
  explicit State(int fd) : socket(fd) {}

  FileDescriptor socket;
  sockaddr_in group{};
  LocalAddresses local{InterfaceAddresses};
};

MulticastSocket::MulticastSocket(std::unique_ptr<State> state) : state_(std::move(state)) {}
MulticastSocket::~MulticastSocket() = default;

std::unique_ptr<MulticastSocket> MulticastSocket::Open(const char* group, std::uint16_t port,
                                                       std::string& error) {
  auto state =
      std::make_unique<State>(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  const int fd = state->socket.Get();
  if (fd < 0) {
    error = SystemError("no socket", errno);
    return nullptr;
  }
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
  // Joined, and sending, on one interface only: the one the system routes
  // the group to now, where other programs join too (a machine with no
  // network at all has only its loopback). Sending is pinned to it, because
  // the system puts a packet of time-to-live 0 onto the network after all
  // when it leaves by an interface where no socket of this machine is a
  // member, as it would once a VPN or another network card took the route.
  ip_mreq membership{};
  membership.imr_multiaddr = state->group.sin_addr;
  membership.imr_interface = RouteSource(state->group).value_or(in_addr{htonl(INADDR_LOOPBACK)});
  if (setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0 ||
      setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &membership.imr_interface,
                 sizeof membership.imr_interface) != 0) {
    error = SystemError("the multicast group could not be joined", errno);
    return nullptr;
  }
  return std::unique_ptr<MulticastSocket>(new MulticastSocket(std::move(state)));
}

std::optional<std::string> MulticastSocket::Send(std::string_view datagram) {
  const ssize_t sent =
      sendto(state_->socket.Get(), datagram.data(), datagram.size(), MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&state_->group), sizeof state_->group);
  if (sent < 0) return SystemError("not sent", errno);
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
  if (from.sin_family != AF_INET || !state_->local.Contains(from.sin_addr.s_addr)) {
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
