#!/usr/bin/env bash
# Builds both trees (native and 32-bit Windows) and runs every test: the native
# ones directly, the Windows ones under Wine on an X display (Xvfb when there
# is none). Installs what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_BUILD:-$root/build}
jobs=$(nproc)

bash "$root/scripts/setup.sh"

cmake -S "$root" -B "$build/host" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build/host" -j "$jobs"
cmake -S "$root" -B "$build/win" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build/win" -j "$jobs"

export WINEPREFIX="$build/wineprefix" WINEARCH=win32 WINEDEBUG=-all
"$root/tests/wine-prefix.sh"

status=0
(cd "$build/host" && ctest --output-on-failure -j "$jobs") 2>&1 | tee "$build/host-ctest.log" || status=1
wine_tests=("$root/scripts/run-wine-tests.sh" "$build/win")
# The Windows tests need the protocols' own ports (25 for the program's mail,
# 110 for POP3, 465 and 995 for TLS from the first byte), which another
# suite running on the same machine may hold:
# they run in a network namespace of their own. There a hosts file of their
# own also points mail.corvane.test, a name that is not this machine's, at
# the loopback peers, as a provider's name would point at its server. The
# wineserver makes the programs' sockets, so it must start in there too.
hosts="$build/wine-hosts"
{ cat /etc/hosts; echo "127.0.0.1 mail.corvane.test"; } >"$hosts"
private_net='mount --bind "$0" /etc/hosts && ip link set lo up && exec "$@"'
if unshare -n -m sh -c "$private_net" "$hosts" true 2>/dev/null; then
  wineserver -w 2>/dev/null || true
  wine_tests=(unshare -n -m sh -c "$private_net" "$hosts" "${wine_tests[@]}")
else
  echo "test.sh: no network and mount namespace here: ports 25, 110, 465 and 995 must be free, and the test of a"
  echo "login to a name that is not this machine's fails unless mail.corvane.test resolves to 127.0.0.1"
fi
if [ -n "${DISPLAY:-}" ]; then
  "${wine_tests[@]}" 2>&1 | tee "$build/win-ctest.log" || status=1
else
  xvfb-run -a -s "-screen 0 1280x1024x24" "${wine_tests[@]}" 2>&1 | tee "$build/win-ctest.log" || status=1
fi
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

# One closing line over both trees: "N passed, N failed".
summary() {  # prints "failed total" from a ctest log, "0 0" when it has none
  local line
  line=$(grep -E "tests passed, [0-9]+ tests? failed out of [0-9]+" "$1" | tail -1 || true)
  if [ -z "$line" ]; then echo "0 0"; return; fi
  sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1 \2/' <<<"$line"
}
read -r host_failed host_total <<<"$(summary "$build/host-ctest.log")"
read -r win_failed win_total <<<"$(summary "$build/win-ctest.log")"
failed=$((host_failed + win_failed))
total=$((host_total + win_total))
[ "$failed" -eq 0 ] || status=1
[ "$host_total" -gt 0 ] && [ "$win_total" -gt 0 ] || { echo "test.sh: a tree ran no tests"; status=1; }
echo "$((total - failed)) passed, $failed failed"
exit $status
