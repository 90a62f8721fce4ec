#!/usr/bin/env bash
# Runs the Windows tree's tests (ctest) under Wine: in a network namespace of
# their own when the system allows one, on an X display (Xvfb when there is
# none). Usage: run-wine-tests.sh BUILD_WIN [ctest arguments, e.g. -R inet_test]
#
# The Windows tests need the protocols' own ports (25 for the program's mail,
# 110 for POP3, 465 and 995 for TLS from the first byte), which another suite
# running on the same machine may hold. In the namespace a hosts file of their
# own also points mail.corvane.test, a name that is not this machine's, at the
# loopback peers, as a provider's name would point at its server. The
# wineserver makes the programs' sockets, so it must start in there too.
#
# Each Wine test carries a time-out near its own length (CorvaneTesting.cmake);
# the one given here is for the few others, which take seconds.
set -u
build=$(cd "$1" && pwd) || exit 1
shift
export WINEPREFIX=${WINEPREFIX:-$build/../wineprefix} WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}

run=(ctest --test-dir "$build" --output-on-failure --timeout 120 "$@")
hosts="$build/../wine-hosts"
{ cat /etc/hosts; echo "127.0.0.1 mail.corvane.test"; } >"$hosts"
private_net='mount --bind "$0" /etc/hosts && ip link set lo up && exec "$@"'
if unshare -n -m sh -c "$private_net" "$hosts" true 2>/dev/null; then
  # A wineserver of this prefix still running outside would make the
  # sockets there.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  run=(unshare -n -m sh -c "$private_net" "$hosts" "${run[@]}")
else
  echo "run-wine-tests: no network and mount namespace here: ports 25, 110, 465 and 995 must be free, and the test of a"
  echo "login to a name that is not this machine's fails unless mail.corvane.test resolves to 127.0.0.1"
fi
if [ -z "${DISPLAY:-}" ]; then
  run=(xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}")
fi
"${run[@]}"
status=$?
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
exit $status
