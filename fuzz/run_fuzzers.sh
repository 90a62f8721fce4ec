#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a
# while, starting from the committed seeds in fuzz/corpus/<name>/.
#
#   fuzz/run_fuzzers.sh [name ...]      all targets when none are named
#
#   FUZZ_SECONDS=600   time per target (default 10 minutes)
#   FUZZ_MERGE=1       afterwards, merge the inputs that add coverage into
#                      fuzz/corpus/<name>/ (review before committing)
#   FUZZ_BUILD=dir     build directory (default build/fuzz)
#   FUZZ_JOBS=2        parallel compile jobs
#   FUZZ_KEEP_GOING=1  record a crash and go on fuzzing (libFuzzer's fork
#                      mode, one worker) instead of stopping at the first
#
# New inputs go to <build>/corpus/<name>/, crashes to <build>/artifacts/<name>/.
# A crash found becomes a regression test by copying its input into
# fuzz/corpus/<name>/ (the replay test fuzz_replay.<name> then fails until
# the fix is in).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-600}
build=${FUZZ_BUILD:-$root/build/fuzz}
jobs=${FUZZ_JOBS:-2}
max_len=4000  # committed corpus files stay under 4 KB

if [ $# -gt 0 ]; then
  names=("$@")
else
  names=()
  for f in "$root"/fuzz/*_fuzz.cpp; do
    n=$(basename "$f" _fuzz.cpp)
    names+=("$n")
  done
fi

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCORVANE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
targets=()
for n in "${names[@]}"; do targets+=("${n}_fuzz"); done
cmake --build "$build" -j"$jobs" --target "${targets[@]}" || exit 1

rows=()
failed=0
for n in "${names[@]}"; do
  work="$build/corpus/$n"
  artifacts="$build/artifacts/$n"
  log="$build/logs/$n.log"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  echo "== $n: ${seconds}s"
  start=$(date +%s)
  touch "$artifacts/.run"  # crashes are counted from this run only
  before=$(find "$work" -type f | wc -l)
  mode=()
  [ "${FUZZ_KEEP_GOING:-0}" = 1 ] && mode=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
  # New finds go to the first directory; the seeds are only read.
  "$build/fuzz/${n}_fuzz" "${mode[@]}" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" "$root/fuzz/corpus/$n" >"$log" 2>&1
  rc=$?
  elapsed=$(( $(date +%s) - start ))
  kept=$(( $(find "$work" -type f | wc -l) - before ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  # Fork mode prints no final stats, only its progress lines: "#N: cov: ...".
  [ -n "$execs" ] || execs=$(sed -n 's/^#\([0-9]*\):\{0,1\} .*/\1/p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  [ -n "$rate" ] || { [ -n "$execs" ] && [ "$elapsed" -gt 0 ] && rate=$((execs / elapsed)); }
  crashes=$(find "$artifacts" -type f -newer "$artifacts/.run" \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  if [ "$rc" -ne 0 ] || [ "$crashes" -ne 0 ]; then
    failed=1
    echo "   $n stopped (exit $rc); see $log and $artifacts/"
    grep -m3 -E 'ERROR: |runtime error|invariant failed' "$log" | sed 's/^/   /'
  fi
  if [ "${FUZZ_MERGE:-0}" = 1 ]; then
    "$build/fuzz/${n}_fuzz" -merge=1 -max_len="$max_len" "$root/fuzz/corpus/$n" "$work" >>"$log" 2>&1
  fi
  rows+=("$(printf '%-16s %12s %10s %8s %6s %8s' "$n" "${execs:-?}" "${rate:-?}" "$elapsed" "$kept" "$crashes")")
done

echo
printf '%-16s %12s %10s %8s %6s %8s\n' target executions exec/s seconds kept crashes
for r in "${rows[@]}"; do echo "$r"; done
exit $failed
