#!/usr/bin/env bash
# Times our page fetch three ways against one local HTTP peer serving the
# same page: the HTTP core natively over the POSIX transport, CInet and the
# control under Wine, and curl; prints the median and total of each, side by
# side. The native figure shows what the exchange itself costs, so the gap
# between it and the Wine one is Wine's and the Win32 layer's.
# Usage: tools/bench/fetch_bench.sh [pages]
# Builds optimised trees of its own (CORVANE_BENCH_FETCH_BUILD and
# CORVANE_BENCH_FETCH_HOST_BUILD to move them) and runs in its own Wine
# prefix (WINEPREFIX to reuse one).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${CORVANE_BENCH_FETCH_BUILD:-$root/build/bench-fetch-win}
hostBuild=${CORVANE_BENCH_FETCH_HOST_BUILD:-$root/build/bench-fetch-host}
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
pages=${1:-200}
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target fetch_bench >/dev/null
cmake -S "$root" -B "$hostBuild" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$hostBuild" -j2 --target fetch_bench_native >/dev/null

work=$(mktemp -d)
/usr/bin/python3 "$root/tests/peers/peers.py" --serve >"$work/serve" 2>"$work/serve.err" &
peers=$!
trap 'kill "$peers" 2>/dev/null; wait "$peers" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/serve" ] && break; sleep 0.1; done
control="http://127.0.0.1:$(head -n1 "$work/serve")"
port=$(curl -fsS "$control/http/start")
page='<html><head><title>Your IP</title></head><body>Current IP Address: <!--startip-->203.0.113.7<!--endip--></body></html>'
curl -fsS -G "$control/http/set" --data-urlencode "port=$port" --data-urlencode "body=$page" >/dev/null
url="http://127.0.0.1:$port/ip.php"

"$hostBuild/tools/bench/fetch_bench_native" "$url" "$pages"

xvfb-run -a -s "-screen 0 1280x1024x24" "$root/tests/wine-run.sh" "$build/tools/bench/fetch_bench.exe" "$url" "$pages"

# curl: one process per page, as a shell loop would use it; time_total is
# curl's own transfer time, the total includes starting each curl.
start=$(date +%s%N)
for _ in $(seq "$pages"); do curl -fsS -o /dev/null -w '%{time_total}\n' "$url"; done >"$work/curl"
end=$(date +%s%N)
sort -n "$work/curl" | awk -v n="$pages" -v total="$(( (end - start) / 1000000 ))" \
  '{ t[NR] = $1 } END { printf "curl: %d pages, median %.2f ms, total %d ms (with process start-up)\n", n, 1000 * t[int(NR / 2) + 1], total }'
