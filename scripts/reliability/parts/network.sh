#!/bin/bash
# Network faults: the service's catalogue check against an update server that
# is down, answers 500, resets the connection mid-catalogue, drips, or sends a
# catalogue that never ends; the wizard's installer downloads cut off
# mid-file, answered 500 and dripped until the server gives up.
#   bash network.sh <build folder> <results file>   (via scripts/reliability.sh)
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../lib.sh"
. "$here/../network-helpers.sh"

section "Network faults" \
  "The service's catalogue check and the wizard's installer downloads against a fixture update server that fails in the ways listed. The service runs under Wine's service control manager with a registered test client; the wizard is the real tray client on Wine's desktop, driven with real mouse input."

install_programs
trap cleanup EXIT

# --- The service's catalogue check --------------------------------------------------
# A fault answered to the first check of a fresh service (5 s after its start).
# <expect>: "none" when the check must fail and hand nothing over, "handoff"
# when the answer does end complete and the catalogue must reach the client.
fault_check_row() {  # fault_check_row <tried> <fault kind> <bound s> <record pattern> <expect>
  local tried=$1 kind=$2 bound=$3 pattern=$4 expect=$5 t0 outcome=ok survived record took
  echo "$kind" > "$ZVU_FIXTURE_DIR/update.fault"
  start_service || outcome=FAIL
  t0=$(date +%s)
  wait_for "$bound" fault_answered "$kind" || outcome=FAIL
  # The check has ended once its outcome is logged.
  wait_for "$bound" log_has "$pattern" || outcome=FAIL
  took=$(($(date +%s) - t0))
  sleep 2
  record=$(log_record "$pattern")
  if [ "$expect" = handoff ]; then
    survived="service kept running; the slow catalogue was read whole and reached the client after ${took} s (bound ${bound} s)"
    wait_for 15 standin_received || { outcome=FAIL; survived="$survived; but the client did not receive it"; }
  else
    survived="service kept running, check ended after ${took} s (bound ${bound} s), nothing handed over"
    handed_over && { outcome=FAIL; survived="$survived; but a catalogue was handed over"; }
  fi
  have_service || { outcome=FAIL; survived="service ended"; }
  stop_service || outcome=FAIL
  rm -f "$ZVU_FIXTURE_DIR/update.fault"
  row "$tried" 1 "$survived" "$outcome" "${record:-(no record)}"
}

serve_good_catalogue
fault_check_row "catalogue answered with HTTP 500" 500 30 'HTTP status 500' none
fault_check_row "catalogue connection reset after half of it" reset 30 'The connection ended after|[Ee]rror|[Ff]ailed' none
fault_check_row "catalogue dripped, 64 bytes every 250 ms" drip 60 'm_strUpdateXml sent to client' handoff

# Update server down: the fixture server is stopped, so the port is closed.
down_row() {
  local outcome=ok survived record
  stop_fixture_server || outcome=FAIL
  start_service || outcome=FAIL
  wait_for 40 log_has 'Start Logging' || outcome=FAIL
  # The check fails at connect; WinHTTP's own error record follows at once.
  wait_for 40 log_has '[Ee]rror|[Ff]ailed|cannot|could not' || outcome=FAIL
  sleep 2
  record=$(log_record '[Ee]rror|[Ff]ailed|cannot|could not')
  survived="service kept running, check ended at once, nothing handed over"
  have_service || { outcome=FAIL; survived="service ended"; }
  handed_over && { outcome=FAIL; survived="$survived; but a catalogue was handed over"; }
  stop_service || outcome=FAIL
  start_fixture_server || outcome=FAIL
  row "update server down (fixture server stopped, port closed)" 1 "$survived" "$outcome" "${record:-(no record)}"
}
down_row

# The catalogue that never ends, then the next good catalogue from the same service.
endless_row() {
  local outcome=ok t0 took survived record
  echo endless > "$ZVU_FIXTURE_DIR/update.fault"
  start_service || outcome=FAIL
  t0=$(date +%s)
  wait_for 30 fault_answered endless || outcome=FAIL
  rm -f "$ZVU_FIXTURE_DIR/update.fault"
  # The check's own limit is 120 s; the next check follows 50 s later.
  wait_for 230 handed_over || outcome=FAIL
  took=$(($(date +%s) - t0))
  record=$(log_record 'Catalogue check given up')
  [ -n "$record" ] || outcome=FAIL
  record="$record; then: $(log_record 'm_strUpdateXml sent to client')"
  survived="service kept running; the endless answer was given up at its 120 s limit and the next good catalogue reached the client ${took} s after the fault began (bound 230 s)"
  have_service || { outcome=FAIL; survived="service ended"; }
  standin_received || { outcome=FAIL; survived="$survived; but the client did not receive the served catalogue"; }
  stop_service || outcome=FAIL
  row "catalogue that never ends (4 KiB of filler every 100 ms, no length), then a good one" 1 "$survived" "$outcome" "${record:-(no record)}"
}
endless_row

# A catalogue waits for a client (none can be started yet) when the server
# goes down; the checks that find the server down must not take it back, so
# the client that comes while the server is still down gets it.
pending_row() {
  local outcome=ok t0 took survived record
  serve_good_catalogue
  mv "$install_dir/ZelkoVuroUpdateGui.exe" "$install_dir/client.held"
  start_service || outcome=FAIL
  wait_for 30 log_has 'Error startin process' || outcome=FAIL
  stop_fixture_server || outcome=FAIL
  # The next check (50 s after the first) finds the server down.
  wait_for 70 log_has 'Error: 12029' || outcome=FAIL
  t0=$(date +%s)
  mv "$install_dir/client.held" "$install_dir/ZelkoVuroUpdateGui.exe"
  if wait_for 30 standin_received; then
    took=$(($(date +%s) - t0))
    survived="service kept running; the waiting catalogue reached the client ${took} s after the client could be started, the server still down (bound 30 s)"
  else
    outcome=FAIL
    survived="the failed check let the waiting catalogue go: no catalogue at the client within 30 s while the server was down"
  fi
  start_fixture_server || outcome=FAIL
  record=$(log_record 'Error: 12029')
  have_service || { outcome=FAIL; survived="service ended"; }
  stop_service || outcome=FAIL
  row "update server down while a catalogue waits for a client that cannot be started yet" 1 "$survived" "$outcome" "${record:-(no record)}"
}
pending_row

# --- The wizard's installer downloads --------------------------------------------------
download_rows

note "A catalogue check waits at most 120 s for the catalogue; WinHTTP's own time-outs end a stalled connection sooner. A check that reads no catalogue (server down, 500, a cut or endless transfer) leaves a catalogue that waits for a client waiting; only a catalogue read whole that offers nothing new lets it go. An installer download that fails is never installed: the finish page says so and the product's version stays as it was."
