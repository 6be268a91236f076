#!/bin/bash
# The update service from end to end under Wine's service control manager:
# it fetches the catalogue from the fixture server over HTTPS, compares it
# with the products in the registry and hands a catalogue with an applicable
# update to a registered client, or starts the client when none has
# registered.
#
#   service_road_test.sh <ZelkoVuroUpdate.exe> <ZelkoVuroUpdateGui.exe> <pipe client.exe> <artifacts folder>
#
# The pipe client is a scripted client that records what it receives; the
# service starts the real tray client, whose balloon is kept as a screenshot.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../support/e2e.sh"
: "${ZVU_FIXTURE_DIR:?run through scripts/test.sh}"

name=ZelkoVuroUpdate
install_dir="$WINEPREFIX/drive_c/Program Files/Zelko Vuro Update"
program='C:\Program Files\Zelko Vuro Update\ZelkoVuroUpdate.exe'
log="$WINEPREFIX/drive_c/VuroUpdateService.log"
client_log="$WINEPREFIX/drive_c/VurUpdateGui.log"
artifacts=$4
mkdir -p "$artifacts"
scratch=$(mktemp -d)
# However the test ends, it leaves no service and no client behind in the
# prefix that the other tests share.
cleanup() {
  remove_service "$name" "$program" 'Zelko Vuro Update.ZelkoVuroUpdate\.exe'
  end_clients
  rm -rf "$scratch"
}
trap cleanup EXIT

mkdir -p "$install_dir"
cp "$1" "$2" "$install_dir/"
cp "$3" "$scratch/zvu-road-client.exe"
client_record="$scratch/client.record.txt"

products_key='HKLM\Software\Zelko\Zvu Road Alpha'
wine reg add "$products_key" /v Major /t REG_DWORD /d 2 /f > /dev/null 2>&1
wine reg add "$products_key" /v Minor /t REG_DWORD /d 3 /f > /dev/null 2>&1
wine reg add "$products_key" /v build /t REG_DWORD /d 10 /f > /dev/null 2>&1

catalogue() { serve_catalogue 'Zvu Road Alpha' 2 "$1" "$2"; }  # catalogue <minor> <build>

net_command() { timeout 60 wine net "$@" > /dev/null 2>&1 < /dev/null; }
program_gone() { [ -z "$(prefix_pids 'Zelko Vuro Update.ZelkoVuroUpdate\.exe')" ]; }
kill_programs() { prefix_pids "$1" | xargs -r kill 2>/dev/null; }
client_running() { [ -n "$(prefix_pids '^ZelkoVuroUpdateGui\.exe')" ]; }  # started by its bare name
# The client's log holds the reception record of exactly the served catalogue.
client_received() {
  python3 - "$client_log" "$ZVU_FIXTURE_DIR/update.xml" <<'PY'
import re, sys
log = open(sys.argv[1], 'rb').read() if __import__('os').path.exists(sys.argv[1]) else b''
served = open(sys.argv[2], 'rb').read()
record = re.compile(rb' data received from server and send to: [0-9a-f]+ \r\n ' + re.escape(served) + rb'\r\n')
sys.exit(0 if record.search(log) else 1)
PY
}
received() { tr -d '\r' 2>/dev/null < "$1" | grep -qx "catalogue $(hex_of "$ZVU_FIXTURE_DIR/update.xml")"; }
registered() { grep -q '^registered' "$client_record" 2>/dev/null; }
sent_count() { count_in "$log" $'m_strUpdateXml sent to client \r\n'; }
start_service() { rm -f "$log"; started_at=$(date +%s%N); net_command start "$name"; }
elapsed_ms() { echo $((($(date +%s%N) - started_at) / 1000000)); }
registration_answered() { grep -q '^register' "$client_record" 2>/dev/null; }
# register_client: starts the test client; tries again while the service's
# pipe is not there yet (the client gives up at once when it finds no pipe).
register_client() {
  local attempt
  for attempt in 1 2 3 4 5; do
    rm -f "$client_record"
    wine "$scratch/zvu-road-client.exe" --record 'Z:'"$(echo "$client_record" | tr / '\\')" \
      --lifetime 30000 < /dev/null > /dev/null 2>&1 &
    wait_for 10 registration_answered
    registered && return 0
    sleep 0.5
  done
  return 1
}
stop_service() {
  local before
  before=$(date +%s%N)
  net_command stop "$name"
  net_ms=$((($(date +%s%N) - before) / 1000000))
  wait_for 10 program_gone
  stop_ms=$((($(date +%s%N) - before) / 1000000))
  echo "# net stop took $net_ms ms, the process was gone after $stop_ms ms"
}

check "/Service installs the service" timeout 60 wine "$program" /Service

# --- A registered client receives the exact catalogue on the first tick ------
catalogue 3 11
check "service starts" start_service
check "test client registers" register_client
check "catalogue reaches the registered client" wait_for 15 received "$client_record"
handoff_ms=$(elapsed_ms)
check "hand-off about 5 s after start (${handoff_ms} ms)" [ "$handoff_ms" -ge 4000 -a "$handoff_ms" -lt 12000 ]
sleep 1
check "hand-off logged once" [ "$(sent_count)" = 1 ]
check "no client started while one is registered" [ "$(count_in "$log" 'Try to start proces')" = 0 ]
stop_service
check "net stop ends the service promptly (${stop_ms} ms)" [ "$stop_ms" -lt 5000 ]
kill_programs 'zvu-road-client\.exe'

# --- Stop followed at once by start: the new process takes the registrations --
hello_of() { tr -d '\r' < "$client_record" 2>/dev/null | sed -n 's/^hello //p'; }
check "service starts before the restart" start_service
check "test client registers before the restart" register_client
first_hello=$(hello_of)
kill_programs 'zvu-road-client\.exe'
check "net stop followed at once by net start" bash -c "$(declare -f net_command); net_command stop $name && net_command start $name"
started_at=$(date +%s%N)
check "test client registers after the restart" register_client
check "it was greeted by the new process ($first_hello, then $(hello_of))" \
  [ -n "$first_hello" -a -n "$(hello_of)" -a "$(hello_of)" != "$first_hello" ]
check "catalogue reaches it from the new process" wait_for 15 received "$client_record"
stop_service
kill_programs 'zvu-road-client\.exe'

# --- No applicable update: nothing is handed over ------------------------------
catalogue 3 10
check "service starts again" start_service
check "test client registers again" register_client
sleep 8
check "no catalogue reaches the client" bash -c "! grep -q '^catalogue' '$client_record'"
check "no hand-off logged" [ "$(sent_count)" = 0 ]
check "the check's transfer was logged" grep -q 'Start Logging' "$log"
stop_service
kill_programs 'zvu-road-client\.exe'

# --- No client registered: the service starts the client in explorer's session
catalogue 4 0
rm -f "$client_log"
end_clients  # a client of an earlier test would keep the started one from running
check "service starts without a client" start_service
check "service starts ZelkoVuroUpdateGui.exe from its own folder" wait_for 15 client_running
launch_logged() { tr -d '\r' < "$log" | grep -A1 -x 'Try to start proces in WinlogonSession:[0-9]* ' | grep -qx 'Sesion is active '; }
check "launch logged with the shell's session" wait_for 5 launch_logged
check "started client receives the catalogue on a later tick" wait_for 20 client_received
# The balloon follows the reception; the screen is kept once it has changed.
import -window root "$scratch/before.png"
balloon_shown() { import -window root "$artifacts/balloon.png"; ! cmp -s "$scratch/before.png" "$artifacts/balloon.png"; }
wait_for 10 balloon_shown || echo "# no change on the screen after the catalogue arrived"
check "hand-off logged once" [ "$(sent_count)" = 1 ]
stop_service
check "net stop ends the service promptly (${stop_ms} ms)" [ "$stop_ms" -lt 5000 ]
kill_programs '^ZelkoVuroUpdateGui\.exe'

check "/UnregServer removes the service" timeout 60 wine "$program" /UnregServer
check "service entry is gone" bash -c "! wine reg query 'HKLM\\System\\CurrentControlSet\\Services\\$name' > /dev/null 2>&1"
wine reg delete "$products_key" /f > /dev/null 2>&1

if [ "$e2e_failures" != 0 ]; then
  echo "--- service log (without transfer records):"
  tr -d '\r' < "$log" | grep -v '^ '
  echo "--- client log:"
  tr -d '\r' < "$client_log" 2>/dev/null
fi
e2e_finish
