#!/usr/bin/env bash
# Leak soak, not part of CI: the in-process soak test (the real main window,
# real page and mail servers) scaled to 1000 check cycles and 200 settings
# dialogs. Every 100 cycles the test prints its Windows-side figures; this
# script samples the Linux resident size of the Wine process at the same
# moment and prints one table.
#
#   tests/soak/soak.sh [BUILD_DIR] [CYCLES]
#   BUILD_DIR: the Windows build tree (default build-rel/win), with soak_test.exe built
#   WINEPREFIX: the prefix to run in (default BUILD_DIR/../wineprefix)
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build-rel/win}" && pwd) || exit 1
cycles=${2:-1000}
exe="$build/tests/win/soak_test.exe"
[ -x "$exe" ] || { echo "soak: $exe not built"; exit 1; }
export WINEPREFIX=${WINEPREFIX:-$(dirname "$build")/wineprefix} WINEARCH=win32 WINEDEBUG=-all
export CORVANE_SOAK_CYCLES=$cycles
"$root/tests/wine-prefix.sh" || { echo "soak: cannot prepare $WINEPREFIX"; exit 1; }

out=$(mktemp)
trap 'rm -f "$out"' EXIT
# Not through wine-run.sh: that prints only once the program has ended, and
# the samples are wanted while it runs.
inner="wine '$exe' --gtest_color=no"
if [ -z "${DISPLAY:-}" ]; then
  run=(xvfb-run -a -s "-screen 0 1280x1024x24" /usr/bin/python3 "$root/tests/peers/peers.py" --run -- bash -c "$inner")
else
  run=(/usr/bin/python3 "$root/tests/peers/peers.py" --run -- bash -c "$inner")
fi
"${run[@]}" >"$out" 2>&1 &
runner=$!

# The Wine process of the test: the newest one whose command line names it.
wine_pid() { pgrep -n -f 'soak_test\.exe' 2>/dev/null | while read -r p; do
  [ "$(ps -o comm= -p "$p")" != bash ] && echo "$p"; done | head -1; }

printf '%-16s | %-14s | %-11s | %-13s | %-14s\n' cycles working_set_kb private_kb ps_rss_kb kernel_handles
seen=0
while :; do
  running=1; kill -0 "$runner" 2>/dev/null || running=0
  mapfile -t lines < <(grep '^SOAK ' "$out")
  while [ "$seen" -lt "${#lines[@]}" ]; do
    line=${lines[$seen]}
    pid=$(wine_pid)
    rss=$([ -n "$pid" ] && ps -o rss= -p "$pid" | tr -d ' ')
    get() { sed -n "s/.* $1=\([-0-9]*\).*/\1/p" <<<"$line"; }
    label=$(get cycles); [[ $line == *+dialogs* ]] && label="$label +dialogs"
    printf '%-16s | %-14s | %-11s | %-13s | %-14s\n' "$label" "$(get working_set_kb)" \
      "$(get private_kb)" "${rss:-?}" "$(get kernel_handles)"
    seen=$((seen + 1))
  done
  [ "$running" -eq 1 ] || break
  sleep 0.2
done
wait "$runner"
rc=$?
grep -E '^\[  (PASSED|FAILED) |Failure|Expected|Which is|actual' "$out" | head -40
[ "$rc" -eq 0 ] && echo "soak: passed" || echo "soak: failed with $rc (output: see above)"
exit "$rc"
