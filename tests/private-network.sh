#!/bin/sh
# Runs a command in a network namespace of its own, so that a test's network
# traffic (BibleSync's multicast above all) cannot leave it, whatever goes
# wrong. Needs root (or unshare's user namespaces).
#
# Inside: loopback, and a pretend local network "lan0" (10.199.0.2/24), which
# holds the default route as a desktop's network card does, so programs pick
# it for multicast. Its other end, "lan1" (10.199.0.1), is another machine: a
# network namespace of its own, whose /proc path is in VELLUM_TEST_PEER, to
# run programs there with `nsenter --net=$VELLUM_TEST_PEER`. That namespace
# lives as long as the command does. Where veth pairs are not available,
# multicast is routed over loopback instead and there is no other machine.
#
#   tests/private-network.sh COMMAND [ARG...]
exec unshare --net -- sh -c '
  set -e
  ip link set lo up
  if ip link add lan0 type veth peer name lan1 2>/dev/null; then
    ip addr add 10.199.0.2/24 dev lan0
    ip link set lan0 up
    ip route add default via 10.199.0.1 dev lan0
    # The other machine: a namespace held by a process that ends once this
    # one (the command, which keeps its process id) has ended. It holds none
    # of our output, so that nobody waits for it to close.
    unshare --net -- sh -c "while kill -0 $$ 2>/dev/null; do sleep 1; done" \
      </dev/null >/dev/null 2>&1 &
    peer=$!
    tries=0
    while [ "$(readlink /proc/$peer/ns/net)" = "$(readlink /proc/$$/ns/net)" ]; do
      tries=$((tries + 1))
      [ $tries -lt 200 ] || { echo "private-network: no second namespace" >&2; exit 1; }
      sleep 0.05
    done
    ip link set lan1 netns "$peer"
    nsenter --net=/proc/$peer/ns/net sh -c "
      ip link set lo up
      ip addr add 10.199.0.1/24 dev lan1
      ip link set lan1 up
      ip route add default via 10.199.0.2 dev lan1"
    export VELLUM_TEST_PEER=/proc/$peer/ns/net
  else
    ip link set lo multicast on
    ip route add 224.0.0.0/4 dev lo
  fi
  export VELLUM_PRIVATE_NETWORK=1
  exec "$@"
' sh "$@"
