// Keeping the test speaker's BibleSync on this machine from its very first
// packet, even outside the tests' own network namespace.
//
// libbiblesync opens its sending socket and announces itself within one call
// (BibleSync::setMode), and its private setting, a multicast time-to-live of
// 0, can only be applied once that call has returned: the announcement and
// the first beacon of every join would go out onto the local network. While a
// PrivateMulticastScope lives, every IPv4 datagram socket the calling thread
// opens starts with a multicast time-to-live of 0 instead, so that nothing the
// library sends ever leaves the machine. Other threads and other sockets are
// not touched.
#pragma once

namespace vellum::testing {

class PrivateMulticastScope {
 public:
  PrivateMulticastScope();
  PrivateMulticastScope(const PrivateMulticastScope&) = delete;
  PrivateMulticastScope& operator=(const PrivateMulticastScope&) = delete;
  ~PrivateMulticastScope();

 private:
  bool outer_;
};

// How many sockets were opened private so far (for the trace and tests).
int PrivateSocketsOpened();

}  // namespace vellum::testing
