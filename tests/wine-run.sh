#!/usr/bin/env bash
# Runs one Windows program under Wine in the build tree's prefix and passes on
# its exit code. A program that cannot start is a failure, never a skip.
#
# Wine's background processes (started by the first call after the wineserver
# stopped) inherit that call's stdout; a caller reading it through a pipe would
# then wait for them. So the program's output goes to a file, printed after.
set -u
: "${WINEPREFIX:?WINEPREFIX must point at the test prefix}"
export WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}"
here=$(cd "$(dirname "$0")" && pwd)
"$here/wine-prefix.sh" || { echo "wine-run: cannot prepare the Wine prefix $WINEPREFIX"; exit 1; }

out=$(mktemp)
trap 'rm -f "$out"' EXIT
wine "$@" >"$out" 2>&1
rc=$?
cat "$out"
# A crash: winedbg has printed the exception and a backtrace above.
if grep -q '^Backtrace:' "$out"; then
  python3 "$here/wine-frames.py" "$1" "$out"
fi
if [ "$rc" -ne 0 ]; then
  echo "wine-run: '$*' exited with $rc"
fi
exit "$rc"
