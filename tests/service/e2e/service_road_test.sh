#!/bin/bash
# The update service from end to end under Wine's service control manager:
# it fetches the catalogue from the fixture server over HTTPS, compares it
# with the products in the registry and hands a catalogue with an applicable
# update to a registered client, or starts the client when none has
# registered.
#
#   service_road_test.sh <ZelkoVuroUpdate.exe> <ZelkoVuroUpdateGui.exe> <pipe client.exe>
#                        <desktop probe.exe> <artifacts folder>
#
# The pipe client is a scripted client that records what it receives; the
# service starts the real tray client, whose balloon is checked on the
# desktop and kept as a screenshot.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../../scripts/lib/e2e.sh"
output_through_file "$@"
: "${ZVU_FIXTURE_DIR:?run through scripts/test.sh}"

desktop_probe_exe=$4
. "$here/../../../scripts/lib/desktop.sh"
artifacts=$5
mkdir -p "$artifacts"
scratch=$(mktemp -d)
# However the test ends, it leaves no service and no client behind in the
# prefix that the other tests share.
cleanup() {
  remove_service
  end_clients
  rm -rf "$scratch"
}
trap cleanup EXIT

mkdir -p "$install_dir"
cp "$1" "$2" "$install_dir/"
cp "$3" "$scratch/zvu-road-client.exe"
client_record="$scratch/client.record.txt"

set_installed 'Zvu Road Alpha' 2 3 10

catalogue() { serve_catalogue 'Zvu Road Alpha' 2 "$1" "$2"; }  # catalogue <minor> <build>

kill_programs() { prefix_pids "$1" | xargs -r kill 2>/dev/null; }
client_running() { [ -n "$(prefix_pids '^ZelkoVuroUpdateGui\.exe')" ]; }  # started by its bare name
received() { tr -d '\r' 2>/dev/null < "$1" | grep -qx "catalogue $(hex_of "$ZVU_FIXTURE_DIR/update.xml")"; }
registered() { grep -q '^registered' "$client_record" 2>/dev/null; }
start_service() { rm -f "$service_log"; started_at=$(date +%s%N); net_command start "$service_name"; }
elapsed_ms() { echo $((($(date +%s%N) - started_at) / 1000000)); }
registration_answered() { grep -q '^register' "$client_record" 2>/dev/null; }
# register_client: starts the test client; starts it again while the
# service's pipe is not there yet (the client gives up at once when it finds
# no pipe), for 40 s at the most.
register_client() { wait_for -p 0.5 40 client_registers; }
client_registers() {
  rm -f "$client_record"
  wine "$scratch/zvu-road-client.exe" --record "$(winpath "$client_record")" \
    --lifetime 30000 < /dev/null > /dev/null 2>&1 &
  wait_for 10 registration_answered && registered
}
check_started() { grep -q 'Start Logging' "$service_log" 2>/dev/null; }
stop_service() {
  local before
  before=$(date +%s%N)
  net_command stop "$service_name"
  net_ms=$((($(date +%s%N) - before) / 1000000))
  wait_for 10 no_service_process
  stop_ms=$((($(date +%s%N) - before) / 1000000))
  echo "# net stop took $net_ms ms, the process was gone after $stop_ms ms"
}

require "/Service installs the service" timeout 60 wine "$service_program" /Service

# --- A registered client receives the exact catalogue on the first tick ------
catalogue 3 11
require "service starts" start_service
check "test client registers" register_client
check "catalogue reaches the registered client" wait_for 15 received "$client_record"
handoff_ms=$(elapsed_ms)
check "hand-off about 5 s after start (${handoff_ms} ms)" [ "$handoff_ms" -ge 4000 -a "$handoff_ms" -lt 12000 ]
wait_for 5 handed_over  # the record follows the sending
check "hand-off logged once" [ "$(handed_over_count)" = 1 ]
check "no client started while one is registered" [ "$(count_in "$service_log" 'Try to start proces')" = 0 ]
stop_service
check "net stop ends the service promptly (${stop_ms} ms)" [ "$stop_ms" -lt 5000 ]
kill_programs 'zvu-road-client\.exe'

# --- Stop followed at once by start: the new process takes the registrations --
hello_of() { tr -d '\r' < "$client_record" 2>/dev/null | sed -n 's/^hello //p'; }
require "service starts before the restart" start_service
check "test client registers before the restart" register_client
first_hello=$(hello_of)
kill_programs 'zvu-road-client\.exe'
check "net stop followed at once by net start" bash -c "$(declare -f net_command); net_command stop $service_name && net_command start $service_name"
started_at=$(date +%s%N)
check "test client registers after the restart" register_client
check "it was greeted by the new process ($first_hello, then $(hello_of))" \
  [ -n "$first_hello" -a -n "$(hello_of)" -a "$(hello_of)" != "$first_hello" ]
check "catalogue reaches it from the new process" wait_for 15 received "$client_record"
stop_service
kill_programs 'zvu-road-client\.exe'

# --- No applicable update: nothing is handed over ------------------------------
catalogue 3 10
require "service starts again" start_service
check "test client registers again" register_client
check "the check's transfer was logged" wait_for 20 check_started
# A hand-off would follow the check at once: none may come in the next 3 s.
sleep 3
check "no catalogue reaches the client" bash -c "! grep -q '^catalogue' '$client_record'"
check "no hand-off logged" [ "$(handed_over_count)" = 0 ]
stop_service
kill_programs 'zvu-road-client\.exe'

# --- No client registered: the service starts the client in explorer's session
catalogue 4 0
rm -f "$client_log"
end_clients  # a client of an earlier test would keep the started one from running
require "service starts without a client" start_service
check "service starts ZelkoVuroUpdateGui.exe from its own folder" wait_for 15 client_running
launch_logged() { tr -d '\r' < "$service_log" | grep -A1 -x 'Try to start proces in WinlogonSession:[0-9]* ' | grep -qx 'Sesion is active '; }
check "launch logged with the shell's session" wait_for 5 launch_logged
check "started client receives the catalogue on a later tick" wait_for 20 client_received
check "the client shows the balloon \"New Updates Found\"" wait_for 15 balloon_shown 'New Updates Found'
shot_file "$artifacts/balloon.png"
check "hand-off logged once" [ "$(handed_over_count)" = 1 ]
stop_service
check "net stop ends the service promptly (${stop_ms} ms)" [ "$stop_ms" -lt 5000 ]
kill_programs '^ZelkoVuroUpdateGui\.exe'

check "/UnregServer removes the service" timeout 60 wine "$service_program" /UnregServer
check "service entry is gone" bash -c "! wine reg query 'HKLM\\System\\CurrentControlSet\\Services\\$service_name' > /dev/null 2>&1"
remove_products 'Zvu Road Alpha'

[ "$e2e_failures" = 0 ] || explain_failure
e2e_finish
