#include "tests/biblesync/private_multicast.h"

#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace vellum::testing {
namespace {

thread_local bool t_private = false;
int g_opened = 0;

using SocketFunction = int (*)(int, int, int);

SocketFunction NextSocket() {
  static const auto next = reinterpret_cast<SocketFunction>(dlsym(RTLD_NEXT, "socket"));
  return next;
}

}  // namespace

PrivateMulticastScope::PrivateMulticastScope() : outer_(!t_private) {
  t_private = true;
}

PrivateMulticastScope::~PrivateMulticastScope() {
  if (outer_) t_private = false;
}

int PrivateSocketsOpened() {
  return g_opened;
}

}  // namespace vellum::testing

// The C library's socket(), seen first by every library of the process: it
// only adds the time-to-live inside a PrivateMulticastScope. A socket that
// cannot be made private is not handed out at all, so the library's join
// fails rather than going out onto the network.
extern "C" int socket(int domain, int type, int protocol) noexcept {
  const vellum::testing::SocketFunction next = vellum::testing::NextSocket();
  if (next == nullptr) {
    errno = ENOSYS;
    return -1;
  }
  const int fd = next(domain, type, protocol);
  constexpr int kTypeMask = 0xF;  // without SOCK_NONBLOCK and SOCK_CLOEXEC
  if (fd < 0 || !vellum::testing::t_private || domain != AF_INET ||
      (type & kTypeMask) != SOCK_DGRAM)
    return fd;
  const unsigned char ttl = 0;
  if (setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  ++vellum::testing::g_opened;
  return fd;
}
