#include <algorithm>

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

}  // namespace vellum::host
