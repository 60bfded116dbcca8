#!/bin/sh
# Runs a command inside a private network namespace joined by a veth pair to a second one, where
# a test can start its mDNS peers (NIMBREL_PEER_NETNS). Nothing of the machine's own network is
# touched: the command sees only "lo" and "vh" (192.0.2.1/24 and an IPv6 link-local address),
# the peer side "vp" (192.0.2.2/24). Duplicate address detection is off, so the link-local
# addresses are usable at once. Both namespaces are removed afterwards.
#
# Needs root for `ip netns`; without it the test is skipped (exit 77) with a message.
set -u
if [ "$(id -u)" -ne 0 ] || ! command -v ip >/dev/null 2>&1; then
    echo "SKIP: network namespaces need root and iproute2 (ip netns); this test was not run"
    exit 77
fi
host=nimbrel-$$-h
peer=nimbrel-$$-p
cleanup() {
    ip netns del "$host" 2>/dev/null
    ip netns del "$peer" 2>/dev/null
}
trap cleanup EXIT INT TERM
if ! ip netns add "$host" 2>/dev/null || ! ip netns add "$peer" 2>/dev/null; then
    echo "SKIP: cannot create network namespaces here (ip netns add failed); this test was not run"
    exit 77
fi
for ns in "$host" "$peer"; do
    ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.accept_dad=0 net.ipv6.conf.default.accept_dad=0
    ip -n "$ns" link set lo up
done
ip -n "$host" link add vh type veth peer name vp netns "$peer"
ip -n "$host" addr add 192.0.2.1/24 dev vh
ip -n "$peer" addr add 192.0.2.2/24 dev vp
ip -n "$host" link set vh up
ip -n "$peer" link set vp up
# The link-local addresses appear a moment after the links come up; peers that list their
# interfaces at start (zeroconf) must see them.
tries=0
until ip -n "$host" -6 addr show dev vh scope link | grep -q fe80 \
    && ip -n "$peer" -6 addr show dev vp scope link | grep -q fe80; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ]; then
        echo "with-netns.sh: no IPv6 link-local address on the veth pair" >&2
        exit 1
    fi
    sleep 0.05
done
export NIMBREL_PEER_NETNS="$peer"
export NIMBREL_HOST_INTERFACE=vh
ip netns exec "$host" "$@"
