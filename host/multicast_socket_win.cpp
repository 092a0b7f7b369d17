// The multicast socket on Winsock 2. Winsock's headers come before
// <windows.h>, whose older winsock.h numbers the multicast options otherwise.
#include <winsock2.h>
#include <ws2tcpip.h>
// Needs the types above.
#include <iphlpapi.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "host/multicast_socket.h"

namespace vellum::host {
namespace {

std::string SystemError(const char* what, int error) {
  char text[32];
  std::snprintf(text, sizeof text, " (error %d)", error);
  return what + std::string(text);
}

std::string Dotted(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) return "?";
  return text;
}

bool SetDword(SOCKET s, int level, int name, DWORD value) {
  return setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

// Winsock is started for each socket and stopped with it (WSAStartup counts).
class WinsockUse {
 public:
  WinsockUse() {
    WSADATA data{};
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  WinsockUse(const WinsockUse&) = delete;
  WinsockUse& operator=(const WinsockUse&) = delete;
  ~WinsockUse() {
    if (started_) WSACleanup();
  }
  bool Started() const { return started_; }

 private:
  bool started_ = false;
};

class Socket {
 public:
  Socket() = default;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
  }
  void Reset(SOCKET s) { socket_ = s; }
  SOCKET Get() const { return socket_; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
};

in_addr LoopbackAddress() {
  in_addr loopback{};
  loopback.s_addr = htonl(INADDR_LOOPBACK);
  return loopback;
}

// The address of the interface the system routes the group to now, as a
// connected scratch socket learns it (getsockname after connect on a UDP
// socket); nullopt without a route. Winsock is started by the caller.
std::optional<in_addr> RouteSource(const sockaddr_in& group) {
  Socket scratch;
  scratch.Reset(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  sockaddr_in source{};
  int size = sizeof source;
  if (scratch.Get() == INVALID_SOCKET ||
      connect(scratch.Get(), reinterpret_cast<const sockaddr*>(&group), sizeof group) != 0 ||
      getsockname(scratch.Get(), reinterpret_cast<sockaddr*>(&source), &size) != 0 ||
      source.sin_addr.s_addr == htonl(INADDR_ANY))
    return std::nullopt;
  return source.sin_addr;
}

// Every IPv4 address of every adapter (GetAdaptersAddresses).
std::optional<std::vector<std::uint32_t>> AdapterAddresses() {
  constexpr ULONG kFlags =
      GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.assign(size, 0);
    result = GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  std::vector<std::uint32_t> found;
  if (result == ERROR_NO_DATA) return found;  // no adapter with an address
  if (result != NO_ERROR) return std::nullopt;
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
       adapter = adapter->Next) {
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const SOCKADDR* address = unicast->Address.lpSockaddr;
      if (address == nullptr || address->sa_family != AF_INET) continue;
      found.push_back(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
    }
  }
  return found;
}

}  // namespace

struct MulticastSocket::State {
  WinsockUse winsock;  // first made, last gone
  Socket socket;
  sockaddr_in group{};
  LocalAddresses local{AdapterAddresses};
};

MulticastSocket::MulticastSocket(std::unique_ptr<State> state) : state_(std::move(state)) {}
MulticastSocket::~MulticastSocket() = default;

std::unique_ptr<MulticastSocket> MulticastSocket::Open(const char* group, std::uint16_t port,
                                                       std::string& error) {
  auto state = std::make_unique<State>();
  if (!state->winsock.Started()) {
    error = "Windows Sockets could not be started";
    return nullptr;
  }
  state->socket.Reset(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  const SOCKET s = state->socket.Get();
  if (s == INVALID_SOCKET) {
    error = SystemError("no socket", WSAGetLastError());
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
  // Private before anything else, read back to be sure (IP_MULTICAST_TTL and
  // IP_MULTICAST_LOOP take a DWORD: "IPPROTO_IP socket options", Microsoft
  // Learn). Windows applies the loopback option when receiving, so it is set
  // on this one socket that both sends and receives.
  DWORD ttl = 1;
  int size = sizeof ttl;
  if (!SetDword(s, IPPROTO_IP, IP_MULTICAST_TTL, 0) ||
      getsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<char*>(&ttl), &size) != 0 ||
      ttl != 0) {
    error = "packets could not be kept on this machine (multicast time-to-live 0)";
    return nullptr;
  }
  if (!SetDword(s, IPPROTO_IP, IP_MULTICAST_LOOP, 1)) {
    error =
        SystemError("the other programs on this machine could not be reached", WSAGetLastError());
    return nullptr;
  }
  // Other programs on this machine listen on the same port.
  if (!SetDword(s, SOL_SOCKET, SO_REUSEADDR, TRUE)) {
    error = SystemError("the port could not be shared", WSAGetLastError());
    return nullptr;
  }
  u_long non_blocking = 1;
  if (ioctlsocket(s, FIONBIO, &non_blocking) != 0) {
    error = SystemError("the socket could not be made non-blocking", WSAGetLastError());
    return nullptr;
  }
  // Windows binds no socket to a multicast address: any address, then the
  // sender check keeps out whatever is not from this machine.
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(port);
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
    error = SystemError("the port could not be opened", WSAGetLastError());
    return nullptr;
  }
  // Joined, and sending, on one interface only, as on Linux: the one the
  // system routes the group to now (else the loopback), so that no packet
  // leaves by an interface where no socket of this machine is a member.
  ip_mreq membership{};
  membership.imr_multiaddr = state->group.sin_addr;
  membership.imr_interface = RouteSource(state->group).value_or(LoopbackAddress());
  if (setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&membership),
                 sizeof membership) != 0 ||
      setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF,
                 reinterpret_cast<const char*>(&membership.imr_interface),
                 sizeof membership.imr_interface) != 0) {
    error = SystemError("the multicast group could not be joined", WSAGetLastError());
    return nullptr;
  }
  return std::unique_ptr<MulticastSocket>(new MulticastSocket(std::move(state)));
}

std::optional<std::string> MulticastSocket::Send(std::string_view datagram) {
  const int sent =
      sendto(state_->socket.Get(), datagram.data(), static_cast<int>(datagram.size()), 0,
             reinterpret_cast<const sockaddr*>(&state_->group), sizeof state_->group);
  if (sent == SOCKET_ERROR) return SystemError("not sent", WSAGetLastError());
  if (static_cast<std::size_t>(sent) != datagram.size()) return "sent in part";
  return std::nullopt;
}

MulticastSocket::Received MulticastSocket::Receive(char* buffer, std::size_t capacity) {
  Received received;
  sockaddr_in from{};
  int from_size = sizeof from;
  int got = recvfrom(state_->socket.Get(), buffer, static_cast<int>(capacity), 0,
                     reinterpret_cast<sockaddr*>(&from), &from_size);
  if (got == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    // Too large for the buffer: the buffer holds its start, and that is
    // more than any packet may be.
    if (error == WSAEMSGSIZE) {
      got = static_cast<int>(capacity);
    } else if (error == WSAEWOULDBLOCK || error == WSAECONNRESET || error == WSAENETRESET) {
      // Nothing waiting, or a report about an earlier send: no datagram.
      return received;
    } else {
      received.status = Status::kFailed;
      received.error = SystemError("receiving failed", error);
      return received;
    }
  }
  received.source = from.sin_family == AF_INET ? Dotted(from.sin_addr) : "an unknown sender";
  if (from.sin_family != AF_INET || !state_->local.Contains(from.sin_addr.s_addr)) {
    received.status = Status::kForeign;
    return received;
  }
  received.status = Status::kDatagram;
  received.size = std::min(static_cast<std::size_t>(got), capacity);
  return received;
}

std::uintptr_t MulticastSocket::Handle() const {
  return static_cast<std::uintptr_t>(state_->socket.Get());
}

}  // namespace vellum::host
