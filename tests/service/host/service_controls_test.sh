#!/bin/bash
# The service program and Wine's control manager: the start and stop steps
# read back while a step waits (a stand-in of the program whose pipes wait
# at gates), a burst of user-defined controls against the real program, and
# the real program with a folder or a link at its log's path.
#
#   service_controls_test.sh <ZelkoVuroUpdate.exe> <zvu_standin_service_host.exe> <zvu_service_control_probe.exe>
#
# Runs in the prepared test prefix (scripts/test.sh).
set -u
. "$(dirname "$0")/../../../scripts/lib/e2e.sh"
output_through_file "$@"
program_unix=$1
standin_unix=$2
probe_unix=$3

standin_dir="$WINEPREFIX/drive_c/Zvu Standin Host"
standin_program='C:\Zvu Standin Host\zvu_standin_service_host.exe'
standin_pattern='Zvu Standin Host.zvu_standin_service_host\.exe'
scratch=$(mktemp -d)
plain_pid=

# The log's path back to what the other tests expect: no folder or link there.
clear_log_path() {
  if [ -L "$service_log" ] || [ -f "$service_log" ]; then rm -f "$service_log"; fi
  if [ -d "$service_log" ]; then rmdir "$service_log"; fi
}
cleanup() {
  [ -n "$plain_pid" ] && kill "$plain_pid" 2>/dev/null
  remove_service "$service_name" "$standin_program" "$standin_pattern"
  remove_service
  clear_log_path
  rm -rf "$standin_dir" "$scratch"
}
trap cleanup EXIT

cp "$probe_unix" "$scratch/probe.exe"
probe() { timeout 240 wine "$scratch/probe.exe" "$@" 2>/dev/null < /dev/null | tr -d '\r'; }

# --- Start and stop steps, read while they wait --------------------------------
mkdir -p "$standin_dir"
cp "$standin_unix" "$standin_dir/"
clear_log_path
require "the stand-in host installs as the service" timeout 60 wine "$standin_program" /Service
gated=$(probe gated "$service_name")
sed 's/^/# /' <<< "$gated"
reading() { sed -n "s/^$1 //p" <<< "$gated"; }
check "while the start waits for the pipes: start pending, third step, 10 s hint, no stop accepted" \
  [ "$(reading start-waiting)" = "state=2 checkpoint=3 hint=10000 exit=0 accepts=0" ]
check "running: no checkpoint, no hint, stop accepted" \
  [ "$(reading running)" = "state=4 checkpoint=0 hint=0 exit=0 accepts=1" ]
# The answer to the stop is what was last reported: the stop's first step,
# or already its second when the loop ended first.
check "the stop's answer is stop pending with a checkpoint and a hint" \
  bash -c '[[ "$1" =~ ^state=3\ checkpoint=(1\ hint=10000|2\ hint=15000)\ exit=0\ accepts=0$ ]]' _ "$(reading stop-answer)"
check "while the stop waits for the pipes: stop pending, second step, 15 s hint" \
  [ "$(reading stop-waiting)" = "state=3 checkpoint=2 hint=15000 exit=0 accepts=0" ]
check "stopped with exit code 0" [ "$(reading stopped)" = "state=1 checkpoint=0 hint=0 exit=0 accepts=0" ]
remove_service "$service_name" "$standin_program" "$standin_pattern"

# --- A burst of user-defined controls ------------------------------------------
mkdir -p "$install_dir"
cp "$program_unix" "$install_dir/"
require "/Service installs the service" register_service
clear_log_path
require "the service starts" net_command start "$service_name"
require "the service runs" wait_for 15 service_running
burst=$(probe burst "$service_name" 200 1000)
echo "# $burst"
check "all 1,000 user-defined controls reach the service" [ "$burst" = "delivered 1000 failed 0 error 0" ]
check "the service still runs" service_running
check "net stop succeeds" net_command stop "$service_name"
check "the service stops" wait_for 15 service_stopped
# Events cannot be read under Wine: the record that counts the requests not
# reported tells how many were: 1,000 less those counted, and each count is
# an event of its own.
counted=$(grep -aoE $'Bad service requests not reported since the last one: [0-9]+ \r' "$service_log" \
            | tr -d '\r' | awk '{ sum += $NF; n++ } END { print sum + 0, n + 0 }')
read -r held counts <<< "$counted"
events=$((1000 - held + counts))
echo "# $held requests counted in $counts records: $events events"
check "the count of the requests not reported is logged" [ "$counts" -ge 1 ]
check "the burst wrote at most a few events ($events)" [ "$events" -le 4 ]

# --- A folder or a link at the log's path --------------------------------------
# Wine shows a Unix link to a folder in drive_c as a reparse point (its
# attributes; opened, it is the folder it leads to): what it has closest to
# a junction a user made in the root of C:.
mkdir -p "$scratch/elsewhere"
clear_log_path
require "a link stands at the log's path" ln -s "$scratch/elsewhere" "$service_log"
check "with a link at the log's path the service starts" net_command start "$service_name"
check "and runs" wait_for 15 service_running
check "net stop succeeds" net_command stop "$service_name"
check "the service stops" wait_for 15 service_stopped
check "nothing was written where the link leads" [ -z "$(ls -A "$scratch/elsewhere")" ]

# Plain mode prints the events, and so shows the reason.
require "/RegServer registers the program without a service" timeout 60 wine "$service_program" /RegServer
# plain_run <label>: starts the program in plain mode, waits for its log
# event, and ends it; $plain_output holds what it printed.
plain_run() {
  wine "$service_program" > "$scratch/$1.txt" 2>/dev/null < /dev/null &
  plain_pid=$!
  wait_for 20 grep -q 'Service log' "$scratch/$1.txt"
  check "the program keeps running without its log ($1)" kill -0 "$plain_pid"
  service_pids | xargs -r kill 2>/dev/null
  wait "$plain_pid" 2>/dev/null
  plain_pid=
  plain_output=$(tr -d '\r' < "$scratch/$1.txt" | grep 'Service log')
  echo "# $plain_output"
}
plain_run link
check "a link at the log's path is named as a reparse point" \
  [ "$plain_output" = 'Service log c:\VuroUpdateService.log not used: it is a reparse point, the service runs without it' ]
check "nothing was written where the link leads" [ -z "$(ls -A "$scratch/elsewhere")" ]
rm -f "$service_log"
mkdir "$service_log"
plain_run folder
check "a folder at the log's path is named as one" \
  [ "$plain_output" = 'Service log c:\VuroUpdateService.log not used: it is a folder, the service runs without it' ]
check "nothing was written into the folder" [ -z "$(ls -A "$service_log")" ]
check "the folder is still there" test -d "$service_log" -a ! -L "$service_log"
check "plain mode processes ended" wait_for 10 no_service_process

e2e_finish
