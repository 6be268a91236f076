# Helpers of the network part (scripts/reliability/parts/network.sh): the
# service with the stand-in client it starts, the fixture server's stop and
# restart, and the wizard run whose downloads fail.
. "$(dirname "${BASH_SOURCE[0]}")/../lib/service.sh"

# The stand-in client the service starts records what it receives here.
client_record="$install_dir/ZelkoVuroUpdateGui.record.txt"
service_pattern='Zelko Vuro Update.ZelkoVuroUpdate\.exe'

install_programs() {
  install_service "$build" || return 1
  rm -f "$service_log" "$client_record"
}

cleanup() {
  remove_service "$service_name" "$service_program" "$service_pattern"
  end_clients
  [ -n "${restarted_server:-}" ] && kill "$restarted_server" 2>/dev/null
  rm -f "$ZVU_FIXTURE_DIR/update.fault"
  return 0
}

serve_good_catalogue() { write_catalogue 11; }

start_service() {
  end_clients
  rm -f "$service_log" "$client_record"
  net_command start "$service_name" && wait_for -p 0.01 15 have_service
}

# The stand-in client is started by the service itself when a catalogue waits.
start_test_client() { :; }

fault_answered() { grep -qx "fault $1" "$ZVU_FIXTURE_DIR/catalogue.log" 2>/dev/null; }
log_has() { grep -aqE -- "$1" "$service_log" 2>/dev/null; }
# log_record <pattern>: the first record matching, without its line end or leading blank.
log_record() { grep -aE -- "$1" "$service_log" 2>/dev/null | tr -d '\r' | sed 's/^ *//' | head -n1; }
# standin_received: the stand-in client recorded exactly the served catalogue.
standin_received() {
  tr -d '\r' 2>/dev/null < "$client_record" | grep -qxF "catalogue $(hex_of "$ZVU_FIXTURE_DIR/update.xml")"
}

# The fixture server of this environment: stopped to close its ports, then
# started again with the same command line (and ended with the part).
fixture_server_pid() {
  local p
  for p in $(pgrep -f 'update_server\.py'); do
    in_this_env "$p" || continue
    tr '\0' '\n' < "/proc/$p/cmdline" | grep -qxF "$ZVU_FIXTURE_DIR" && { echo "$p"; return; }
  done
}
port_closed() { ! (exec 3<> /dev/tcp/127.0.0.1/443) 2> /dev/null; }
port_open() { (exec 3<> /dev/tcp/127.0.0.1/443) 2> /dev/null; }
server_cmdline=()
stop_fixture_server() {
  local pid
  pid=$(fixture_server_pid)
  [ -n "$pid" ] || return 1
  mapfile -d '' -t server_cmdline < "/proc/$pid/cmdline"
  kill "$pid"
  wait_for 10 port_closed
}
start_fixture_server() {
  [ "${#server_cmdline[@]}" -gt 0 ] || return 1
  "${server_cmdline[@]}" > /dev/null 2>&1 &
  restarted_server=$!
  wait_for 10 port_open
}

# --- The wizard's downloads ------------------------------------------------------------

built() { find "$build" -name "$1" -type f | head -n1; }

# net_update <product> <path on the server>: an update of the product to 1.1.0.
net_update() { update_xml "$1" 1 1 0 "$2" 1048576; }
client_log_record() { grep -aE -- "$1" "$client_log" 2>/dev/null | tr -d '\r' | sed 's/^ *//' | sed -n "${2:-1}p"; }

# open_wizard: the real client on the desktop, its wizard opened from the tray
# icon (double click), then Next to the selection page.
open_wizard() {
  (cd "$install_dir" && exec wine "$client_program" < /dev/null > /dev/null 2>&1 &)
  wait_for 30 main_window || return 1
  wait_for 10 tray_has_icon || return 1
  double_click_tray
  wait_for 20 page_is 0 || return 1
  next
  wait_for 30 page_is 2
}

download_rows() {
  desktop_probe_exe=$(built zvu_desktop_probe.exe)
  wizard_probe_exe=$(built zvu_wizard_probe.exe)
  . "$here/../../lib/wizard_ui.sh"
  end_clients
  cp "$build/client/ZelkoVuroUpdateGui.exe" "$install_dir/ZelkoVuroUpdateGui.exe"
  rm -f "$client_log"
  head -c 1048576 /dev/urandom > "$ZVU_FIXTURE_DIR/files/cut.msi"
  head -c 1048576 /dev/urandom > "$ZVU_FIXTURE_DIR/files/drip.msi"
  head -c 4096 /dev/urandom > "$ZVU_FIXTURE_DIR/files/error.exe"
  set_installed 'Zvu Net Cut' 1 0 0
  set_installed 'Zvu Net Error' 1 0 0
  set_installed 'Zvu Net Drip' 1 0 0
  serve_updates '' "$(net_update 'Zvu Net Cut' /fault/cut/cut.msi)$(net_update 'Zvu Net Error' /fault/500/error.exe)$(net_update 'Zvu Net Drip' /fault/drip/drip.msi)"

  local opened=ok t0 took lines=() i
  open_wizard || opened=FAIL
  t0=$(date +%s)
  next
  wait_for 10 page_is 3 || opened=FAIL
  # The drip gives up after 30 s: the three downloads end within 60 s.
  wait_for 60 page_is 4 || opened=FAIL
  took=$(($(date +%s) - t0))
  for i in 0 1 2; do
    result_line_is "$i" 'There was an error during download.' > /dev/null
    lines+=("$(control_text "$result_line_id")")
  done
  local products=('Zvu Net Cut' 'Zvu Net Error' 'Zvu Net Drip')
  local tried=("installer download cut off after half of the file (connection closed)"
               "installer download answered with HTTP 500"
               "installer download dripped, 1 KiB every 50 ms, until the server gave up after 30 s")
  local records=("$(client_log_record 'The connection ended after' 1)"
                 "$(client_log_record 'HTTP status 500' 1)"
                 "$(client_log_record 'The connection ended after' 2)")
  for i in 0 1 2; do
    local outcome=$opened survived
    survived="client kept running; the finish page came ${took} s after Next (bound 60 s) and says \"${lines[$i]}\"; version still $(installed_version "${products[$i]}" | cut -d. -f1-2)"
    [ "${lines[$i]}" = 'There was an error during download.' ] || outcome=FAIL
    [ "$(installed_version "${products[$i]}")" = 1.0.0 ] || { outcome=FAIL; survived="$survived; reported or registered as installed"; }
    [ -n "$(client_pids)" ] || { outcome=FAIL; survived="client ended"; }
    [ -n "${records[$i]}" ] || outcome=FAIL
    row "${tried[$i]}" 1 "$survived" "$outcome" "${records[$i]:-(no record)}"
  done
  finish
  wait_for 10 wizard_gone
}
