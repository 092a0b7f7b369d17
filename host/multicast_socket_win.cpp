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

// The adapters and their addresses, IPv4 only (GetAdaptersAddresses): the
// list's storage, empty when there is no adapter with an address; nullopt
// when the system failed.
std::optional<std::vector<unsigned char>> AdapterList() {
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
  if (result == ERROR_NO_DATA) return std::vector<unsigned char>();
  if (result != NO_ERROR) return std::nullopt;
  return buffer;
}

const IP_ADAPTER_ADDRESSES* FirstAdapter(const std::vector<unsigned char>& list) {
  return list.empty() ? nullptr : reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(list.data());
}

// Every IPv4 address of every adapter.
std::optional<std::vector<std::uint32_t>> AdapterAddresses() {
  const std::optional<std::vector<unsigned char>> list = AdapterList();
  if (!list) return std::nullopt;
  std::vector<std::uint32_t> found;
  for (const auto* adapter = FirstAdapter(*list); adapter != nullptr; adapter = adapter->Next) {
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const SOCKADDR* address = unicast->Address.lpSockaddr;
      if (address == nullptr || address->sa_family != AF_INET) continue;
      found.push_back(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
    }
  }
  return found;
}

std::string Utf8(const wchar_t* text) {
  if (text == nullptr || *text == 0) return "?";
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return "?";
  std::string out(static_cast<std::size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr) != size)
    return "?";
  out.pop_back();
  return out;
}

// The interfaces to join the group on: every adapter that is up and can
// carry multicast, by its first IPv4 address, and the loopback, which
// always can (GetAdaptersAddresses).
std::optional<std::vector<MulticastInterface>> MulticastInterfaces() {
  const std::optional<std::vector<unsigned char>> list = AdapterList();
  if (!list) return std::nullopt;
  std::vector<MulticastInterface> found;
  for (const auto* adapter = FirstAdapter(*list); adapter != nullptr; adapter = adapter->Next) {
    if (adapter->OperStatus != IfOperStatusUp || (adapter->Flags & IP_ADAPTER_NO_MULTICAST) != 0)
      continue;
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const SOCKADDR* address = unicast->Address.lpSockaddr;
      if (address == nullptr || address->sa_family != AF_INET) continue;
      found.push_back({Utf8(adapter->FriendlyName),
                       reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr});
      break;
    }
  }
  const std::uint32_t loopback = LoopbackAddress().s_addr;
  if (std::none_of(found.begin(), found.end(),
                   [&](const MulticastInterface& item) { return item.address == loopback; }))
    found.push_back({"loopback", loopback});
  return found;
}

in_addr SendingInterface(const sockaddr_in& group) {
  return RouteSource(group).value_or(LoopbackAddress());
}

}  // namespace

struct MulticastSocket::State {
  WinsockUse winsock;  // first made, last gone
  Socket socket;
  sockaddr_in group{};
  Reach reach = Reach::kThisMachine;
  std::string joined_on;
  std::uint32_t sending_by = 0;
  bool sending_closed = false;  // its time-to-live could not be put back to 0
  LocalAddresses local{AdapterAddresses};
};

std::optional<std::string> MulticastSocket::InterfacesNow(
    const char* group, std::optional<std::uint32_t> keep_sending_by) {
  const WinsockUse winsock;
  if (!winsock.Started()) return std::nullopt;
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
  state->reach = reach;
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
  // Joined on every adapter that is up, as on Linux, since other programs
  // join on the one they pick and Windows hands a socket only what arrives
  // on an interface where it is a member; sending pinned to the one the
  // system routes the group to now (else the loopback), so that no packet
  // leaves by an interface where no socket of this machine is a member.
  const std::optional<std::vector<MulticastInterface>> interfaces = MulticastInterfaces();
  if (!interfaces) {
    error = "the network adapters could not be listed";
    return nullptr;
  }
  std::size_t joined = 0;
  int join_error = 0;
  for (const MulticastInterface& item : *interfaces) {
    ip_mreq membership{};
    membership.imr_multiaddr = state->group.sin_addr;
    membership.imr_interface.s_addr = item.address;
    if (setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&membership),
                   sizeof membership) == 0)
      ++joined;
    else
      join_error = WSAGetLastError();
  }
  in_addr sending{};
  sending.s_addr =
      SendingAddress(*interfaces, keep_sending_by, SendingInterface(state->group).s_addr);
  state->sending_by = sending.s_addr;
  if (joined == 0 || setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF,
                                reinterpret_cast<const char*>(&sending), sizeof sending) != 0) {
    error = SystemError("the multicast group could not be joined",
                        joined == 0 ? join_error : WSAGetLastError());
    return nullptr;
  }
  state->joined_on = InterfacesText(*interfaces, sending.s_addr);
  return std::unique_ptr<MulticastSocket>(new MulticastSocket(std::move(state)));
}

std::optional<std::string> MulticastSocket::Send(std::string_view datagram, bool to_network) {
  const SOCKET s = state_->socket.Get();
  if (state_->sending_closed) return "this socket sends no more";
  if (to_network && state_->reach != Reach::kNetwork)
    return "this socket does not reach the network";
  // The time-to-live is 1 for this one packet only, and 0 again before
  // anything else can be sent: a failure to put it back closes the way out.
  if (to_network && !SetDword(s, IPPROTO_IP, IP_MULTICAST_TTL, 1))
    return SystemError("not sent", WSAGetLastError());
  const int sent = sendto(s, datagram.data(), static_cast<int>(datagram.size()), 0,
                          reinterpret_cast<const sockaddr*>(&state_->group), sizeof state_->group);
  const int send_error = WSAGetLastError();
  if (to_network && !SetDword(s, IPPROTO_IP, IP_MULTICAST_TTL, 0)) {
    state_->sending_closed = true;
    return SystemError("the socket could not be kept to this machine; it sends no more",
                       WSAGetLastError());
  }
  if (sent == SOCKET_ERROR) return SystemError("not sent", send_error);
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
  received.from_this_machine =
      from.sin_family == AF_INET && state_->local.Contains(from.sin_addr.s_addr);
  if (from.sin_family != AF_INET ||
      (!received.from_this_machine && state_->reach != Reach::kNetwork)) {
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
