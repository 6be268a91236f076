#!/bin/bash
# ZelkoVuroUpdate.exe under Wine's service control manager: registration
# switches, the service entry, start and stop, the start modes without a
# switch, the event source, and the message boxes of failed installs and
# uninstalls (on a window station no one can see: error events instead), and
# a second /Service that keeps the entry and its start type.
#
#   service_scm_test.sh <ZelkoVuroUpdate.exe> <msgbox_watcher.exe> <zvu_hidden_station_start.exe>
#                       <zvu_service_start_type.exe>
#
# Runs in the prepared test prefix (scripts/test.sh).
set -u
. "$(dirname "$0")/../../../scripts/lib/e2e.sh"
output_through_file "$@"
program_unix=$1
watcher_unix=$2
hidden_start_unix=$3
start_type_unix=$4

# The program in a folder of its own, not where the package puts it.
install_dir="$WINEPREFIX/drive_c/Program Files/Zelko Vuro"
service_program='C:\Program Files\Zelko Vuro\ZelkoVuroUpdate.exe'
service_pattern='Zelko Vuro.ZelkoVuroUpdate\.exe'
name=$service_name
appid='{CA3EC9AC-25E4-4AB4-83E0-C7E6CDADFE6B}'
event_source_key="HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\$name"
scratch=$(mktemp -d)
started_pids=()

cleanup() {
  for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null; done
  wine sc delete ZvuOther > /dev/null 2>&1 < /dev/null
  remove_service
  rm -rf "$scratch"
}
trap cleanup EXIT


# A folder with a blank in its name proves the quoting of the binary path.
mkdir -p "$install_dir"
cp "$program_unix" "$install_dir/"
cp "$watcher_unix" "$scratch/watcher.exe"
cp "$hidden_start_unix" "$install_dir/zvu_hidden_station_start.exe"
# cmd reports the whole 32-bit exit code; wine's own exit status keeps only 8 bits.
printf '@"%s" %%*\r\n@echo EXIT=%%ERRORLEVEL%%\r\n' "$service_program" > "$WINEPREFIX/drive_c/zvu-run.bat"
printf '@"%s" "%s" %%*\r\n@echo EXIT=%%ERRORLEVEL%%\r\n' 'C:\Program Files\Zelko Vuro\zvu_hidden_station_start.exe' \
  "$service_program" > "$WINEPREFIX/drive_c/zvu-run-hidden.bat"

# run_switch <args...>: runs the program, sets $exit_code (signed decimal).
run_switch() {
  local output
  output=$(timeout 60 wine cmd /c 'C:\zvu-run.bat' "$@" 2>/dev/null < /dev/null | tr -d '\r')
  exit_code=$(sed -n 's/^EXIT=//p' <<< "$output" | tail -n1)
}

# run_hidden <args...>: runs the program on a window station that no one can
# see, as the package runs it in session 0; sets $exit_code, $hidden_seconds
# and $events (what Wine prints of the error events it was given). A message
# box there would hold the run until the timeout ends it without an exit code.
run_hidden() {
  local output started
  started=$(date +%s)
  output=$(WINEDEBUG=err+eventlog timeout 60 wine cmd /c 'C:\zvu-run-hidden.bat' "$@" \
             2> "$scratch/hidden-err.txt" < /dev/null | tr -d '\r')
  hidden_seconds=$(($(date +%s) - started))
  exit_code=$(sed -n 's/^EXIT=//p' <<< "$output" | tail -n1)
  events=$(tr -d '\r' < "$scratch/hidden-err.txt" | sed -n 's/^.*err:eventlog:ReportEventW L"\(.*\)"$/\1/p' | paste -sd '|')
  echo "# hidden window station: exit code $exit_code after $hidden_seconds s, events: $events"
}

# watch_boxes <count>: starts the watcher in the background (it also finds a
# box that is already open); wait_boxes collects its output.
watch_boxes() {
  wine "$scratch/watcher.exe" "$name" 20000 "$1" > "$scratch/boxes.txt" 2>/dev/null < /dev/null &
  watcher_pid=$!
}
wait_boxes() {
  wait "$watcher_pid"
  watcher_rc=$?
  boxes=$(tr -d '\r' < "$scratch/boxes.txt" | paste -sd '|')
  echo "# watcher: $watcher_rc/$boxes; exit code $exit_code"
}

service_exists() { key_exists "$service_key"; }

# --- UnregServer with nothing installed ------------------------------------
run_switch /UnregServer
check "/UnregServer with nothing installed exits 0" [ "$exit_code" = 0 ]

# --- Service ---------------------------------------------------------------
run_switch /Service
check "/Service exits 0" [ "$exit_code" = 0 ]
check "AppID key default value" [ "$(reg_value "HKCR\\AppID\\$appid" /ve)" = "REG_SZ $name" ]
check "AppID key LocalService" [ "$(reg_value "HKCR\\AppID\\$appid" LocalService)" = "REG_SZ $name" ]
check "ZelkoVuroUpdate.EXE AppID" [ "$(reg_value 'HKCR\AppID\ZelkoVuroUpdate.EXE' AppID)" = "REG_SZ $appid" ]
check_service_entry "$name" "$service_program"
check "/Service names the program as the event source's message file" \
  [ "$(reg_value "$event_source_key" EventMessageFile)" = "REG_EXPAND_SZ $service_program" ]
check "the event source supports errors, warnings and information" \
  [ "$(reg_value "$event_source_key" TypesSupported)" = "REG_DWORD 0x7" ]

# --- net start / net stop ---------------------------------------------------
rm -f "$service_log"
check "net start succeeds" net_command start "$name"
check "service reports running" [ "$(service_state)" = 4 ]
check "ServiceLog is opened" wait_for 5 test -f "$service_log"
check "service process runs" [ -n "$(service_pids)" ]
stop_started=$(date +%s%N)
check "net stop succeeds" net_command stop "$name"
check "service process ends promptly" wait_for 5 no_service_process
stop_ms=$((($(date +%s%N) - stop_started) / 1000000))
check "stop took ${stop_ms} ms (under 5 s)" [ "$stop_ms" -lt 5000 ]
check "service reports stopped" wait_for 5 service_stopped

# --- Service twice ------------------------------------------------------------
wine reg add "$service_key" /v ZvuMarker /t REG_SZ /d old /f > /dev/null 2>&1
run_switch -SERVICE
check "-SERVICE again exits 0" [ "$exit_code" = 0 ]
check "the service entry was kept, not created anew" \
  [ "$(reg_value "$service_key" ZvuMarker)" = "REG_SZ old" ]
check "the service still exists" service_exists

# An administrator's start type survives /Service (a repair runs it again).
require "the administrator makes the service start on demand" \
  timeout 60 wine "$start_type_unix" "$name" demand < /dev/null > /dev/null 2>&1
run_switch /Service
check "/Service over a demand-start service exits 0" [ "$exit_code" = 0 ]
check "the demand start type stays" [ "$(reg_value "$service_key" Start)" = "REG_DWORD 0x3" ]
check "the path is the program's again" [ "$(reg_value "$service_key" ImagePath)" = "REG_SZ \"$service_program\"" ]

# While the service runs, /Service brings the entry up to date and leaves the
# service running.
net_command start "$name"
check "service runs before the reinstall" [ "$(service_state)" = 4 ]
running=$(service_pids)
run_switch /service
check "/service while running exits 0" [ "$exit_code" = 0 ]
check "the service keeps running (state $(service_state))" service_running
check "its process is the same" [ "$(service_pids)" = "$running" ]
net_command stop "$name"
check "the service stops" wait_for 10 service_stopped
wine reg delete "$service_key" /v ZvuMarker /f > /dev/null 2>&1

# --- Start without a switch ---------------------------------------------------
run_switch
check "start outside the control manager with LocalService exits 1063" [ "$exit_code" = 1063 ]
run_switch /ServiceX
check "a word only beginning with Service starts the program (1063)" [ "$exit_code" = 1063 ]

# --- RegServer ------------------------------------------------------------------
run_switch /RegServer /Service
check "/RegServer /Service exits 0" [ "$exit_code" = 0 ]
check "RegServer removes the installed service" bash -c "! wine reg query '$service_key' > /dev/null 2>&1"
check "RegServer leaves no LocalService" [ -z "$(reg_value "HKCR\\AppID\\$appid" LocalService)" ]
check "RegServer writes the AppID entries" [ "$(reg_value "HKCR\\AppID\\$appid" /ve)" = "REG_SZ $name" ]

# Plain mode: the update loop runs in the foreground until the process is ended.
rm -f "$service_log"
wine "$service_program" > "$scratch/plain.txt" 2>&1 < /dev/null &
plain_pid=$!
started_pids+=("$plain_pid")
check "plain mode opens ServiceLog" wait_for 10 test -f "$service_log"
sleep 1
check "plain mode keeps running" kill -0 "$plain_pid"
for pid in $(service_pids); do kill "$pid" 2>/dev/null; done
wait "$plain_pid" 2>/dev/null
check "plain mode process ended" wait_for 5 no_service_process

# --- UnregServer ------------------------------------------------------------------
run_switch /Service
run_switch /UnregServer
check "/UnregServer exits 0" [ "$exit_code" = 0 ]
check "UnregServer removes the service" bash -c "! wine reg query '$service_key' > /dev/null 2>&1"
check "UnregServer removes the AppID key" bash -c "! wine reg query 'HKCR\\AppID\\$appid' > /dev/null 2>&1"
check "UnregServer removes ZelkoVuroUpdate.EXE" bash -c "! wine reg query 'HKCR\\AppID\\ZelkoVuroUpdate.EXE' > /dev/null 2>&1"
check "UnregServer keeps AppID" key_exists 'HKCR\AppID'
check "UnregServer removes the event source" bash -c "! wine reg query '$event_source_key' > /dev/null 2>&1"
check "UnregServer keeps the Application log's other sources" \
  key_exists 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application'
run_switch -unregserver
check "/UnregServer again exits 0" [ "$exit_code" = 0 ]
run_switch
check "start without AppID key exits with the registry error (2)" [ "$exit_code" = 2 ]

# --- Message boxes ------------------------------------------------------------------
# Another service that already uses the display name makes creating ours fail.
wine sc create ZvuOther binPath= 'C:\windows\notepad.exe' DisplayName= "$name" > /dev/null 2>&1 < /dev/null
watch_boxes 1
run_switch /Service
wait_boxes
check "failed install shows 'Could not start service'" [ "$watcher_rc/$boxes" = "0/Could not start service" ]
check "failed install exits 0x80004005" [ "$exit_code" = -2147467259 ]
check "failed install leaves the AppID entries written" [ "$(reg_value "HKCR\\AppID\\$appid" LocalService)" = "REG_SZ $name" ]
# The same failure where no one could close a box: it ends by itself, with
# an error event and the exit code.
run_hidden /Service
check "failed install on a hidden window station ends by itself and exits 0x80004005" [ "$exit_code" = -2147467259 ]
check "failed install on a hidden window station reports 'Could not start service' as an error event" \
  [ "$events" = "Could not start service" ]
wine sc delete ZvuOther > /dev/null 2>&1 < /dev/null

# A service still starting cannot take the stop control: the uninstall says
# so, deletes the service all the same and succeeds. The same service, now
# marked for deletion, can then be neither stopped nor deleted. Both need the
# start still pending, and Wine gives a start up after some seconds (it ends
# the process, and the deleted service goes): on a busy machine that can
# come first, and the scene is then set up anew, for 120 s at the most.
start_pending() { [ "$(service_state)" = 2 ]; }
end_pending_start() {
  for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null; done
  prefix_pids '\\watcher\.exe' | xargs -r kill 2>/dev/null  # its Windows path, not this script's arguments
  service_pids | xargs -r kill 2>/dev/null
  wait_for 30 no_service_left
}
deleted_while_starting() {
  end_pending_start
  run_switch /RegServer
  wine sc create "$name" binPath= "\"$service_program\"" > /dev/null 2>&1 < /dev/null
  wine sc start "$name" > /dev/null 2>&1 < /dev/null &
  started_pids+=($!)
  wait_for 10 start_pending || return 1
  watch_boxes 3
  run_switch /UnregServer
  first_exit_code=$exit_code
  [ -n "$(service_state)" ] || return 1
  run_switch /UnregServer
  wait_boxes
}
check "uninstalls while the start is pending (set up in time within 120 s)" wait_for -p 0 120 deleted_while_starting
check "uninstall of a starting service shows 'Could not stop service', then, the service marked for deletion, 'Could not stop service' and 'Could not delete service'" \
  [ "$watcher_rc/$boxes" = "0/Could not stop service|Could not stop service|Could not delete service" ]
check "the uninstall of the starting service exits 0" [ "${first_exit_code:-}" = 0 ]
check "the failed uninstall of the deleted service exits 0x80004005" [ "$exit_code" = -2147467259 ]
end_pending_start
run_switch /UnregServer

e2e_finish
