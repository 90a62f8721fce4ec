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
"$root/scripts/run-wine-tests.sh" "$build/win" 2>&1 | tee "$build/win-ctest.log" || status=1

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
