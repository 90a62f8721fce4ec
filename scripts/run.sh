#!/usr/bin/env bash
# Shows Corvane working on this machine with no outside servers: builds it,
# starts a local IP-echo page and a local mailbox, and runs Corvane.exe under
# Wine in a prefix of its own whose settings point at them.
#
# With a display (DISPLAY set) the program opens on it; the demo ends when you
# choose Exit from its tray menu (or press Ctrl-C here). Without one it runs on
# a private Xvfb, takes a screenshot once the first mail has arrived, and stops.
#
# Your own Wine prefix (~/.wine) and settings are never touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_BUILD:-$root/build}
demo=$build/demo
mailbox=$demo/mail
python=/usr/bin/python3   # Debian's, where aiosmtpd lives

say() { printf '%s\n' "$*"; }

bash "$root/scripts/setup.sh"

say "Building Corvane.exe (Windows tree in $build/win)..."
cmake -S "$root" -B "$build/win" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build/win" -j "$(nproc)" --target Corvane >/dev/null
exe=$build/win/app/Corvane.exe

mkdir -p "$demo" "$mailbox"
pids=()
xvfb_pid=""
corvane_pid=""
export WINEPREFIX=$build/demo-prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The demo's page is on 127.0.0.1; a proxy from the environment must not get in between.
unset http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY all_proxy ALL_PROXY

cleanup() {
  set +e
  [ -n "$corvane_pid" ] && kill "$corvane_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits for the "listening on HOST:PORT" line a server prints first; prints PORT.
listening_port() {
  local file=$1 pid=$2
  for _ in $(seq 100); do
    if grep -q '^listening on ' "$file" 2>/dev/null; then
      sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$file" | head -1
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# A display: the user's, or a private Xvfb (then a screenshot is the result).
headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  : >"$demo/xvfb.display"
  Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$demo/xvfb.display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$demo/xvfb.display" ] && break
    sleep 0.1
  done
  [ -s "$demo/xvfb.display" ] || { say "Xvfb did not start"; exit 1; }
  export DISPLAY=":$(head -1 "$demo/xvfb.display")"
fi

# The IP-echo page: the same server anyone can host (echo/).
"$python" "$root/echo/echo_server.py" --host 127.0.0.1 --port 0 --quiet >"$demo/echo.log" 2>&1 &
pids+=($!)
echo_port=$(listening_port "$demo/echo.log" $!) || { cat "$demo/echo.log"; say "the echo page did not start"; exit 1; }
link="http://127.0.0.1:$echo_port/ip.php"

# The mailbox. Corvane always sends to port 25, which only root may open.
mail_ok=0
"$python" "$root/scripts/demo_mailbox.py" "$mailbox" --host 127.0.0.1 --port 25 >"$demo/mailbox.log" 2>&1 &
mailbox_pid=$!
if listening_port "$demo/mailbox.log" $mailbox_pid >/dev/null; then
  pids+=($mailbox_pid)
  mail_ok=1
else
  wait $mailbox_pid 2>/dev/null || true
  say ""
  say "NOTE: no local mailbox: port 25 could not be opened ($(tail -1 "$demo/mailbox.log"))."
  say "      Corvane sends mail to port 25 of its SMTP server, and only root may listen there."
  say "      Run this script as root (sudo $0) to see the mail arrive; without it Corvane will"
  say "      show an error box when it tries to send."
fi

# The demo's own prefix, with settings that point at the local servers.
say "Preparing the demo Wine prefix $WINEPREFIX (about 20 s the first time)..."
bash "$root/tests/wine-prefix.sh"
regfile=$demo/settings.reg
cat >"$regfile" <<EOF
REGEDIT4

[-HKEY_CURRENT_USER\\Software\\Orlimar\\Corvane]

[HKEY_CURRENT_USER\\Software\\Orlimar\\Corvane]
"Version"="1.0"
"SMTPServer"="127.0.0.1"
"SMTPUsername"="null"
"SMTPPassword"="null"
"SMTPAuth"="0"
"SMTPTo"="you@corvane.demo"
"SMTPFrom"="corvane@corvane.demo"
"Link"="$link"
"Timer"="300000"
EOF
# Z: is the prefix's drive for /.
wine regedit /S "Z:${regfile//\//\\}" >"$demo/regedit.log" 2>&1

say "Starting Corvane.exe (page $link, mail to 127.0.0.1:25)..."
wine "$exe" >"$demo/corvane.log" 2>&1 &
corvane_pid=$!

mail_count() { find "$mailbox" -name '*.eml' 2>/dev/null | wc -l; }
before=$(mail_count)

if [ "$headless" -eq 1 ]; then
  # Until the first mail (the program mails the address it finds at start)
  # or, without a mailbox, a few seconds.
  for i in $(seq 300); do
    [ "$mail_ok" -eq 1 ] && [ "$(mail_count)" -gt "$before" ] && break
    [ "$mail_ok" -eq 0 ] && [ "$i" -ge 100 ] && break
    kill -0 "$corvane_pid" 2>/dev/null || { say "Corvane.exe ended early:"; cat "$demo/corvane.log"; exit 1; }
    sleep 0.1
  done
  sleep 1  # the popup slides out over half a second
  shot=$demo/corvane-demo.png
  import -window root "$shot"
  say ""
  say "Screenshot of Corvane at work: $shot"
  sleep 3
else
  say "Corvane is running on $DISPLAY. Choose Exit from its tray menu (Hide first) or press Ctrl-C here to end the demo."
  wait "$corvane_pid" || true
  corvane_pid=""
fi

say ""
if [ "$mail_ok" -eq 1 ]; then
  say "Mail received: $(( $(mail_count) - before )) new message(s) in $mailbox"
  last=$(find "$mailbox" -name '*.eml' | sort | tail -1)
  if [ -n "$last" ]; then
    say "Latest ($last):"
    sed -n '/^Subject:/p;/^New IP Address:/p' "$last" | sed 's/^/    /'
  fi
fi
say ""
say "To use Corvane with real settings, run it in your own Wine prefix and fill in Settings:"
say "    wine $exe"
say "On its first start it asks for your SMTP server, login and addresses (or press Settings"
say "later, Save, and restart it). It reads your address from two public echo services"
say "unless you type your own page (echo/ip.php or echo/echo_server.py, hosted outside your"
say "network) in the IP Page field of Settings."
say "The demo's prefix ($WINEPREFIX) and files ($demo) are separate and may be deleted."
