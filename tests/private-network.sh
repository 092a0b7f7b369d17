#!/bin/sh
# Runs a command in a network namespace of its own, so that a test's network
# traffic (BibleSync's multicast above all) cannot leave it, whatever goes
# wrong. Needs root (or unshare's user namespaces).
#
# Inside: loopback, and a pretend local network "lan0" whose other end "lan1"
# leads nowhere, holding the default route as a desktop's network card does:
# programs pick it for multicast, and a test can watch lan1 for anything that
# would have left the machine. Where veth pairs are not available, multicast
# is routed over loopback instead.
#
#   tests/private-network.sh COMMAND [ARG...]
exec unshare --net -- sh -c '
  set -e
  ip link set lo up
  if ip link add lan0 type veth peer name lan1 2>/dev/null; then
    ip addr add 10.199.0.2/24 dev lan0
    ip link set lan0 up
    ip link set lan1 up
    ip route add default via 10.199.0.1 dev lan0
    export VELLUM_TEST_LAN=lan1
  else
    ip link set lo multicast on
    ip route add 224.0.0.0/4 dev lo
  fi
  export VELLUM_PRIVATE_NETWORK=1
  exec "$@"
' sh "$@"
