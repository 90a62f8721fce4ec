#!/usr/bin/env bash
# Times our native SMTP client against Python's smtplib, both sending to the
# same aiosmtpd on 127.0.0.1. Usage: tools/bench/smtp_bench.sh [messages]
# Builds an optimised native tree of its own (CORVANE_BENCH_BUILD to move it).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${CORVANE_BENCH_BUILD:-$root/build/bench}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target smtp_bench >/dev/null
exec /usr/bin/python3 "$root/tests/peers/peers.py" --run -- "$build/tools/bench/smtp_bench" "${1:-200}"
