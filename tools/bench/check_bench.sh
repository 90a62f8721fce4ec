#!/usr/bin/env bash
# One check of the real main window under Wine with a slow page and 0, 1, 3
# and 8 slow web targets on loopback peers: prints, for each, the check's
# duration (median and worst of the rounds), how far the worst is over the
# slowest channel's own wait, and the window's slowest answer to WM_NULL
# asked every 10 ms during the checks.
# Usage: tools/bench/check_bench.sh [page delay ms] [target delay ms] [rounds]
# Builds an optimised tree of its own (CORVANE_BENCH_CHECK_BUILD to move it)
# and runs in its own Wine prefix (WINEPREFIX to reuse one).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${CORVANE_BENCH_CHECK_BUILD:-$root/build/bench-check-win}
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix} WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target check_bench >/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24" /usr/bin/python3 "$root/tests/peers/peers.py" --run -- \
  "$root/tests/wine-run.sh" "$build/tools/bench/check_bench.exe" "$@"
