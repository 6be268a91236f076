#!/bin/bash
# Second half of isolated-env.sh, run inside the network and mount namespace.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
work=$ZVU_ENV_DIR
. "$here/lib/check.sh"

mount --bind "$work/ca-bundle.crt" /etc/ssl/certs/ca-certificates.crt
ip link set lo up

pids=()
finish() {
  WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap finish EXIT

# Fixture update server.
export ZVU_FIXTURE_DIR="$work/fixture"
mkdir -p "$ZVU_FIXTURE_DIR/files"
python3 "$root/tests/fixtures/update_server.py" --dir "$ZVU_FIXTURE_DIR" --certs "$work/certs" \
  --listen 127.0.0.1:443:update --listen 127.0.0.1:80 \
  --listen 127.0.0.2:443:badcert --listen 127.0.0.3:443:expired \
  --ready "$work/server.ready" > "$work/server.log" 2>&1 &
pids+=($!)

# Virtual screen for the programs' windows, or the caller's own display when
# ZVU_SHOW_ON_DISPLAY names one (the windows then appear on the user's screen).
if [ -n "${ZVU_SHOW_ON_DISPLAY:-}" ]; then
  echo "${ZVU_SHOW_ON_DISPLAY#:}" > "$work/display"
else
  exec 3> "$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
  pids+=($!)
  exec 3>&-
fi

display_and_server_up() { [ -s "$work/display" ] && [ -f "$work/server.ready" ]; }
wait_for 20 display_and_server_up || true
[ -f "$work/server.ready" ] || { echo "fixture server did not start:" >&2; cat "$work/server.log" >&2; exit 1; }
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

# Fresh Wine prefix; one persistent wineserver for the whole run.
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i > "$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; exit 1; }
wineserver -w 2>/dev/null || true
wineserver -k 2>/dev/null || true
# A logged-on user's desktop: the one Windows gives every interactive program
# and the service's client launch ("winsta0\default"), as a virtual desktop
# with Wine's taskbar and notification area. Written into the prefix before
# any program runs, so that the desktop is created this way from the start.
cat >> "$WINEPREFIX/user.reg" <<'REG'

[Software\\Wine\\Explorer]
"Desktop"="Default"

[Software\\Wine\\Explorer\\Desktops]
"Default"="1000x740"

[Software\\Wine\\Explorer\\Desktops\\Default]
"EnableShell"=dword:00000001
REG
wineserver -p
# The desktop for the whole run. Wine makes the default desktop on demand and
# closes it a moment after its last program has ended, so one program stays
# on it for the whole run: a command prompt waiting for input that never
# comes (it holds its FIFO open for writing as well). It is started with no
# terminal attached, so that the desktop's process inherits no test's output.
mkfifo "$work/desktop-keeper"
wine cmd <> "$work/desktop-keeper" > /dev/null 2>&1 &
pids+=($!)
desktop_running() {  # this prefix's desktop process, not another environment's
  local pid
  for pid in $(pgrep -f 'explorer.exe /desktop'); do
    tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}
wait_for 30 desktop_running || true
# Tests of the tray, the session and the client launch need the shell: without
# it they would fail later for reasons that are hard to see.
desktop_running || { echo "isolated-env: the Wine desktop shell did not start within 30 s" >&2; exit 1; }
# Start the prefix's background processes (services, device manager) now,
# with no terminal attached, so that no test inherits them and its output pipes.
wine cmd /c exit < /dev/null > /dev/null 2>&1 || true
export ZVU_WINE_READY=1

set +e
"$@"
rc=$?
set -e
exit $rc
