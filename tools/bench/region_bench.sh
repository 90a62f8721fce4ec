#!/usr/bin/env bash
# Times the popup's skin region build (merged row runs) against one region
# per key pixel on the 330x328 main skin, both under Wine in one run, and
# prints the times, the speed-up and whether the regions are equal.
# Usage: tools/bench/region_bench.sh [rounds]
# Builds an optimised Windows tree of its own (CORVANE_BENCH_WIN_BUILD to
# move it) and runs in its own Wine prefix (WINEPREFIX to reuse one).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${CORVANE_BENCH_WIN_BUILD:-$root/build/bench-win}
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release "-DCORVANE_DIRS=platform/fw;res;ui;tools" >/dev/null
cmake --build "$build" -j2 --target region_bench >/dev/null
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$root/tests/wine-run.sh" "$build/tools/bench/region_bench.exe" "${1:-5}"
