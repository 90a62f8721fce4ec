#!/usr/bin/env bash
# Creates the Wine prefix named by WINEPREFIX once (about 20 s) and makes sure
# a wineserver serves it. Safe to call from several processes at once.
set -u
: "${WINEPREFIX:?}"
export WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}"
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.corvane-ready" ]; then
  rm -rf "$WINEPREFIX"
  # No Gecko or Mono installers are wanted (and none could be downloaded).
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || exit 1
  # Xvfb runs no window manager; Wine would wait 2 s for one at every hidden
  # top-level window.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || exit 1
  wineserver -w
  touch "$WINEPREFIX/.corvane-ready"
fi
