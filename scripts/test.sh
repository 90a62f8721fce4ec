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
(cd "$build/host" && ctest --output-on-failure -j "$jobs") | tee "$build/host-ctest.log" || status=1
run_wine_tests() {
  cd "$build/win" && ctest --output-on-failure --timeout 600
}
if [ -n "${DISPLAY:-}" ]; then
  (run_wine_tests) | tee "$build/win-ctest.log" || status=1
else
  export -f run_wine_tests; export build
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c run_wine_tests | tee "$build/win-ctest.log" || status=1
fi
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

# One closing line over both trees.
count() { sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$1" | tail -1; }
read -r hf ht < <(count "$build/host-ctest.log" || echo "0 0"); hf=${hf:-0}; ht=${ht:-0}
read -r wf wt < <(count "$build/win-ctest.log" || echo "0 0"); wf=${wf:-0}; wt=${wt:-0}
[ "$((hf + wf))" -eq 0 ] || status=1
[ "$((ht + wt))" -gt 0 ] || status=1
echo "$((ht - hf + wt - wf)) passed, $((hf + wf)) failed"
exit $status
