#!/usr/bin/env bash
# The main window watching this computer's IPv6 address, under Wine, on an
# interface of its own: in a fresh network namespace a veth pair carries a
# global address beside link-local and unique-local ones, the test peers
# listen on its loopback, and the test changes the addresses through the
# peers while the window runs (only there: the namespace is named to them).
# Usage: ipv6_window_test.sh PYTHON TEST.exe [gtest arguments] (run as root,
# with WINEPREFIX set).
#
# Wine's network driver runs in winedevice.exe, started by the wineserver:
# the whole prefix must start inside the namespace, so a wineserver already
# running elsewhere is stopped first, and the one started here is stopped
# before the next test could meet it. A namespace that cannot be made is a
# failure, never a skip.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
python=$1
shift

. "$(dirname "$0")/own_network.sh"
enter_own_network ipv6_window_test "$0" "$python" "$@"

run() { "$@" || { echo "ipv6_window_test: '$*' failed"; exit 1; }; }

# The test's peers and its page on 127.0.0.1; the window's addresses on v0
# (the test changes them by that name).
make_test_interface run
ip -6 addr show dev v0

CORVANE_PEERS_OWN_NETWORK=$(readlink /proc/self/ns/net) || { echo "ipv6_window_test: no namespace to name"; exit 1; }
export CORVANE_PEERS_OWN_NETWORK
"$python" "$here/peers/peers.py" --run -- "$here/wine-run.sh" "$@"
status=$?
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
exit $status
