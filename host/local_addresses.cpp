#include <algorithm>
#include <cstdio>

#include "host/multicast_socket.h"

namespace vellum::host {

bool LocalAddresses::Contains(std::uint32_t address, Clock::time_point now) {
  // 127.0.0.0/8 is this machine whatever its interfaces say.
  const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
  if (bytes[0] == 127) return true;
  // The list is trusted only while it is fresh: an address this machine had
  // on another network may belong to someone else now.
  if (!last_look_up_ || now - *last_look_up_ >= kRefresh) {
    last_look_up_ = now;
    if (std::optional<std::vector<std::uint32_t>> found = look_up_()) known_ = std::move(*found);
  }
  return std::find(known_.begin(), known_.end(), address) != known_.end();
}

namespace {

std::string Dotted(std::uint32_t address) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

}  // namespace

std::uint32_t SendingAddress(const std::vector<MulticastInterface>& interfaces,
                             std::optional<std::uint32_t> keep, std::uint32_t route) {
  if (keep && std::any_of(interfaces.begin(), interfaces.end(),
                          [&](const MulticastInterface& item) { return item.address == *keep; }))
    return *keep;
  return route;
}

std::string InterfacesText(const std::vector<MulticastInterface>& joined, std::uint32_t sending) {
  std::string text;
  for (const MulticastInterface& item : joined) {
    if (!text.empty()) text += ", ";
    text += item.name;
    text += ' ';
    text += Dotted(item.address);
  }
  if (text.empty()) text = "no interface";
  text += "; sending by ";
  text += Dotted(sending);
  return text;
}

}  // namespace vellum::host
