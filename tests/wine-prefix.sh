#!/usr/bin/env bash
# Creates the Wine prefix named by WINEPREFIX once (about 20 s) and makes sure
# a wineserver serves it. Safe to call from several processes at once.
set -u
: "${WINEPREFIX:?}"
export WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}"
# The marker holds the version of the settings below: bump it when they
# change, and a prefix made earlier gets them at its next use (about 3 s)
# instead of keeping the old ones or being made again.
settings=2
ready="$WINEPREFIX/.corvane-ready"
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$ready" ]; then
  rm -rf "$WINEPREFIX"
  # No Gecko or Mono installers are wanted (and none could be downloaded).
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || exit 1
fi
if [ "$(cat "$ready" 2>/dev/null)" != "$settings" ]; then
  # Xvfb runs no window manager; Wine would wait 2 s for one at every hidden
  # top-level window.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || exit 1
  # A program that crashes must end at once with the exception and a
  # backtrace in its output. winedbg --auto prints both to the crashed
  # program's own stdout, but by default it first shows a crash dialog that
  # nobody answers on Xvfb, so the test would sit until ctest's time-out.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 1 /f >/dev/null 2>&1 || exit 1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
    /d 'winedbg --auto %ld %ld' /f >/dev/null 2>&1 || exit 1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || exit 1
  wineserver -w
  echo "$settings" >"$ready"
fi
