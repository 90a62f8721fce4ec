#!/usr/bin/env bash
# The IPv6 reader under Wine, on an interface of its own: in a fresh network
# namespace a veth pair carries a global address beside link-local and
# unique-local ones, and the loopback interface a lower global one that must
# never count. Each step changes the addresses and runs the probe again.
# Usage: ipv6_source_test.sh PROBE.exe (run as root, with WINEPREFIX set).
#
# Wine's network driver runs in winedevice.exe, started by the wineserver:
# the whole prefix must start inside the namespace, so a wineserver already
# running elsewhere is stopped first, and the one started here is stopped
# before the next test could meet it. A namespace that cannot be made is a
# failure, never a skip.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
probe=$1

. "$(dirname "$0")/own_network.sh"
enter_own_network ipv6_source_test "$0" "$@"

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
run() { "$@" || { echo "ipv6_source_test: '$*' failed"; wineserver -k 2>/dev/null; exit 1; }; }

# The chosen address must be $1.
expect() {
  local out got
  out=$("$here/wine-run.sh" "$probe") || { echo "$out"; fail "$2: the probe did not run"; return; }
  echo "$out"
  # A probe that printed no verdict must not pass for one that found nothing.
  printf '%s\n' "$out" | grep -q '^stable=' || { fail "$2: the probe printed no address line"; return; }
  got=$(printf '%s\n' "$out" | tr -d '\r' | sed -n 's/^stable=//p')
  [ "$got" = "$1" ] || fail "$2: expected '$1', got '$got'"
}

make_test_interface run
run ip -6 addr add 2001:db8::1/128 dev lo
ip -6 addr show

expect 2001:db8:1::10 "the global address beside link-local, unique-local and loopback ones"

# A new prefix: the new address comes, the old one goes.
run ip -6 addr add 2001:db8:2::20/64 dev v0 nodad
run ip -6 addr del 2001:db8:1::10/64 dev v0
expect 2001:db8:2::20 "the new global address once the old one is gone"

run ip -6 addr del 2001:db8:2::20/64 dev v0
expect "" "no global address left but the loopback one"

wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
[ "$failures" -eq 0 ] && echo "ipv6_source_test: passed"
exit $((failures != 0))
