#!/bin/bash
# Host faults: both programs' log files held by another program, a download
# folder that cannot be written, a full disk under it, installers that hang or
# leave odd logs and odd properties, and the service's clock moved back.
#   bash host.sh <build folder> <results file>   (via scripts/reliability.sh)
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../lib.sh"
. "$here/../host-helpers.sh"

section "Host faults" \
  "Log files, the download folder, installers and the clock going wrong on the machine itself. The service runs under Wine's service control manager (in plain mode for the clock row), the wizard is the real tray client on Wine's desktop driven with real mouse input; installers are a test setup program whose log the fixture chooses."

mounted=
host_cleanup() {
  cleanup
  unlock_files
  [ -n "$mounted" ] && umount "$mounted" 2>/dev/null
  prefix_pids 'zvu-clock.ZelkoVuroUpdate' | xargs -r kill 2>/dev/null
  return 0
}
trap host_cleanup EXIT

install_programs
desktop_probe_exe=$(built zvu_desktop_probe.exe)
wizard_probe_exe=$(built zvu_wizard_probe.exe)
. "$here/../../lib/wizard_ui.sh"
setup_exe=$(built fake_setup.exe)

# --- The service's log held by another program -----------------------------------------
locked_service_log_row() {
  local outcome=ok survived before
  printf 'records of an earlier run\r\n' > "$service_log"
  before=$(sha256sum < "$service_log")
  serve_good_catalogue
  end_clients
  rm -f "$client_record"
  lock_file "$service_log" || outcome=FAIL
  net_command start "$service_name" && wait_for -p 0.01 15 have_service || outcome=FAIL
  survived="service kept running and handed the catalogue over"
  wait_for 40 standin_received || { outcome=FAIL; survived="the catalogue did not reach the client within 40 s"; }
  have_service || { outcome=FAIL; survived="service ended"; }
  stop_service || outcome=FAIL
  unlock_files
  [ "$(sha256sum < "$service_log")" = "$before" ] && survived="$survived; the held file is unchanged" \
    || { outcome=FAIL; survived="$survived; the held file was changed"; }
  row "service log (C:\\VuroUpdateService.log) held open with no sharing by another program" 1 \
    "$survived" "$outcome" "event log: \"Service log c:\\VuroUpdateService.log not opened Err:32, the service runs without it\" (Wine keeps no event log to read back; UpdateService.LogHeldByAnotherProgramIsReportedAsAnEvent checks the text)"
  rm -f "$service_log"
}
locked_service_log_row

# --- The wizard: updates served by the fixture ----------------------------------------------
end_clients
cp "$build/client/ZelkoVuroUpdateGui.exe" "$install_dir/ZelkoVuroUpdateGui.exe"
logs_dir="$ZVU_ENV_DIR/oddlogs"
mkdir -p "$logs_dir"
export ZVU_FAKE_SETUP_LOGS
ZVU_FAKE_SETUP_LOGS=$(winpath "$logs_dir")
installer_logs="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Zelko/VuroUpdate"

# serve_setups <name...>: one update of product "Zvu Host <name>" 1.0.0 to 1.1.0
# per name, its installer the test setup program served as <name>.exe.
serve_setups() {
  local name updates=
  for name in "$@"; do
    cp "$setup_exe" "$ZVU_FIXTURE_DIR/files/$name.exe"
    set_installed "Zvu Host $name" 1 0 0
    updates+=$(net_update "Zvu Host $name" "/files/$name.exe")
  done
  serve_updates '' "$updates"
}
# with_options <name> <options text>: adds <options> to that update in the served catalogue.
with_options() {
  python3 - "$ZVU_FIXTURE_DIR/update.xml" "$1" "$2" <<'PY'
import sys
from xml.sax.saxutils import escape
path, name, options = sys.argv[1:]
text = open(path, encoding="utf-8").read()
marker = "<product>Zvu Host %s</product>" % name
text = text.replace(marker, marker + "<options>%s</options>" % escape(options), 1)
open(path, "w", encoding="utf-8").write(text)
PY
}

# --- The client's log held by another program ----------------------------------------------
locked_client_log_row() {
  local outcome=ok survived before line
  printf 'records of an earlier run\r\n' > "$client_log"
  before=$(sha256sum < "$client_log")
  serve_setups lockedlog-setup
  lock_file "$client_log" || outcome=FAIL
  run_wizard_to_finish 60 || outcome=FAIL
  line=$(result_line 0)
  survived="client kept running; finish page says \"$line\""
  [ "$line" = 'Downloaded and installed succefully.' ] || outcome=FAIL
  client_alive || { outcome=FAIL; survived="client ended"; }
  close_wizard
  end_clients
  unlock_files
  [ "$(sha256sum < "$client_log")" = "$before" ] && survived="$survived; the held file is unchanged" \
    || { outcome=FAIL; survived="$survived; the held file was changed"; }
  # The client then writes to the user's own folder, whose first record says why.
  local user_log moved
  user_log=$(ls "$WINEPREFIX"/drive_c/users/*/AppData/Local/Zelko/VuroUpdate/VurUpdateGui.log 2>/dev/null | head -n1)
  moved=$(grep -a -m1 'cannot be opened Err:' "${user_log:-/dev/null}" | tr -d '\r')
  [ -n "$moved" ] && survived="$survived; records went to the user's folder" \
    || { outcome=FAIL; survived="$survived; no record in the user's folder"; }
  row "client log (C:\\VurUpdateGui.log) held open with no sharing by another program" 1 \
    "$survived" "$outcome" "${moved:-(none)} (first record of %LOCALAPPDATA%\\Zelko\\VuroUpdate\\VurUpdateGui.log)"
  rm -f "$client_log" "${user_log:-}"
}
locked_client_log_row

# --- The download folder: not writable, then a full disk ---------------------------------------
folder_row() {  # folder_row <tried> <mount options>
  local outcome=ok survived line record folder
  folder=$(download_folder)
  mkdir -p "$folder"
  rm -f "$client_log"
  serve_setups folder-setup
  head -c 2097152 /dev/urandom >> "$ZVU_FIXTURE_DIR/files/folder-setup.exe"  # 2 MiB more than the disk holds
  mount -t tmpfs -o "$2" zvu-downloads "$folder" && mounted=$folder || outcome=FAIL
  run_wizard_to_finish 60 || outcome=FAIL
  line=$(result_line 0)
  survived="client kept running; finish page after ${wizard_took:-?} s says \"$line\"; version still $(installed_version 'Zvu Host folder-setup' | cut -d. -f1-2)"
  [ "$line" = 'There was an error during download.' ] || outcome=FAIL
  [ "$(installed_version 'Zvu Host folder-setup')" = 1.0.0 ] || outcome=FAIL
  client_alive || { outcome=FAIL; survived="client ended"; }
  close_wizard
  end_clients
  umount "$folder" && mounted=
  record=$(client_log_record 'could not|[Ee]rror|[Ff]ailed' 1)
  [ -n "$record" ] || outcome=FAIL
  row "$1" 1 "$survived" "$outcome" "${record:-(no record)}"
}
folder_row "download folder not writable (read-only file system mounted over it)" ro,size=1m
folder_row "full disk under the download folder (64 KiB file system, 2 MiB installer)" size=64k

# --- Installer logs and properties with odd contents, then an installer that hangs -------------
utf16() { python3 -c 'import sys; sys.stdout.buffer.write(b"\xff\xfe" + sys.stdin.buffer.read().decode("latin-1").encode("utf-16-le"))'; }
complete='MSI (s) (10:20) [12:00:00:000]: Product: Fake -- Installation completed successfully.\r\n'
make_logs() {
  local n
  { for n in $(seq 400000); do printf '%s\r\n' "MSI (s) (10:20) [12:00:00:000]: Doing action: step $n with a long line of detail text"; done
    printf "$complete"; } | utf16 > "$logs_dir/oddlog-huge.exe.log"
  head -c 1048576 /dev/urandom > "$logs_dir/oddlog-binary.exe.log"
  printf '=== Verbose logging started ===\r\nMSI (s): Doing action: InstallFiles\r\n' | utf16 > "$logs_dir/oddlog-nocompletion.exe.log"
  printf "=== Verbose logging started ===\r\n$complete=== Logging stopped ===\r\n" > "$logs_dir/oddlog-ansi.exe.log"
  printf "=== Verbose logging started ===\r\n$complete" | python3 -c 'import sys; sys.stdout.buffer.write(b"\xfe\xff" + sys.stdin.buffer.read().decode("latin-1").encode("utf-16-be"))' > "$logs_dir/oddlog-bigendian.exe.log"
  { printf '=== Verbose logging started ===\r\n' | utf16; head -c 65536 /dev/zero
    printf "$complete" | utf16 | tail -c +3; } > "$logs_dir/oddlog-nul.exe.log"
  : > "$logs_dir/oddlog-empty.exe.log"
}
make_logs
cases=(oddlog-huge oddlog-binary oddlog-nocompletion oddlog-ansi oddlog-bigendian oddlog-nul oddlog-empty
       options-long options-odd hang-setup)
expect=(ok fail fail fail fail ok fail fail ok fail)
tried=("installer log of $(($(stat -c %s "$logs_dir/oddlog-huge.exe.log") / 1048576)) MiB, completion line at its very end"
       "installer log of 1 MiB of random bytes"
       "installer log without a completion line"
       "installer log in the ANSI code page instead of UTF-16 (as Wine's msiexec writes it)"
       "installer log in UTF-16 big-endian"
       "installer log with 64 KiB of NUL bytes before the completion line"
       "empty installer log"
       "installer properties of 40,000 characters"
       "installer properties with quotes, percent signs, ampersands and non-ASCII letters"
       "installer that never ends")
serve_setups "${cases[@]}"
# Options are the installer's whole switches; "<log_file_name>" stands for the runner's log.
with_options options-long "/s /v\"/qn /log <log_file_name> NOTE=$(head -c 40000 /dev/zero | tr '\0' 'P')\""
with_options options-odd '/s /v"/qn /log <log_file_name> NOTE=\"a quoted value\" PATHX=%TEMP%\x & y | z < w > v ZVU_NAME=Zélko Müller"'
rm -f "$client_log"
downloads=$(download_folder)
hang_t0=
responsive=0 unresponsive=0
wizard_ok=ok
open_wizard || wizard_ok=FAIL
next
wait_for 10 page_is 3 || wizard_ok=FAIL
t0=$(date +%s)
# While the installer hangs the wizard must keep answering; the runner's bound is 200 s.
until page_is 4 || [ $(($(date +%s) - t0)) -gt 330 ]; do
  if [ -f "$downloads/hang-setup.exe.ids" ]; then
    [ -n "$hang_t0" ] || hang_t0=$(date +%s)
    if timeout 10 wine "$wizard_probe_exe" page 2>/dev/null | tr -d '\r' | grep -qx 'index 3'; then
      responsive=$((responsive + 1))
    else
      unresponsive=$((unresponsive + 1))
    fi
  fi
  sleep 5
done
finished=$(date +%s)
page_is 4 || wizard_ok=FAIL
wants=()
for i in "${!cases[@]}"; do
  wants+=('There was an error during installation.')
  [ "${expect[$i]}" = ok ] && wants[$i]='Downloaded and installed succefully.'
done
mapfile -t lines < <(result_lines "${wants[@]}")
for i in "${!cases[@]}"; do
  outcome=$wizard_ok
  want=${wants[$i]}
  [ "${lines[$i]}" = "$want" ] || outcome=FAIL
  survived="client kept running; finish page says \"${lines[$i]}\""
  client_alive || { outcome=FAIL; survived="client ended"; }
  kept="$installer_logs/${cases[$i]}.exe.log"
  record="(the installer's own log, %LOCALAPPDATA%\\Zelko\\VuroUpdate\\${cases[$i]}.exe.log, $([ -f "$kept" ] && echo "kept, $(stat -c %s "$kept") bytes" || echo missing))"
  if [ -f "$logs_dir/${cases[$i]}.exe.log" ]; then
    # What the installer wrote is left as it was: nothing cut short or rewritten.
    cmp -s "$kept" "$logs_dir/${cases[$i]}.exe.log" || { outcome=FAIL; survived="$survived; the installer's log was changed"; }
  fi
  if [ "${cases[$i]}" = options-odd ]; then
    # The text reaches the installer as written: no shell took the & | < > or %TEMP%.
    grep -qF 'NOTE=\"a quoted value\" PATHX=%TEMP%\x & y | z < w > v ZVU_NAME=Z' "$downloads/options-odd.exe.cmdline" 2>/dev/null \
      && survived="$survived; the installer got the properties as written" \
      || { outcome=FAIL; survived="$survived; the installer's command line differs from the properties"; }
  fi
  if [ "${cases[$i]}" = hang-setup ]; then
    took=$((finished - ${hang_t0:-$finished}))
    survived="$survived after ${took} s (bound 210 s); the wizard answered $responsive of $((responsive + unresponsive)) probes during the wait; the installer was ended"
    { [ "$unresponsive" = 0 ] && [ "$responsive" -gt 0 ] && [ "$took" -le 215 ]; } || outcome=FAIL
    [ -z "$(prefix_pids 'hang-setup\.exe')" ] || { outcome=FAIL; survived="$survived; but it still runs"; }
    record=$(client_log_record 'did not end within' 1)
    [ -n "$record" ] || { outcome=FAIL; record="(no record of the time-out in the client log)"; }
  fi
  row "${tried[$i]}" 1 "$survived" "$outcome" "$record"
done
close_wizard
end_clients

# --- The service's clock moved back ----------------------------------------------------------------
clock_row() {
  local outcome=ok survived dir="$WINEPREFIX/drive_c/zvu-clock" offsets="$ZVU_ENV_DIR/faketime" first second back=0
  local lib=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1
  [ -f "$lib" ] || { row "the machine's clock moved back under the running service" 1 "libfaketime is missing (apt-get install faketime)" FAIL "(not run)"; return; }
  mkdir -p "$dir"
  cp "$build/service/host/ZelkoVuroUpdate.exe" "$dir/"
  cp "$build/tests/service/session/ZelkoVuroUpdateGui.exe" "$dir/ZelkoVuroUpdateGui.exe"
  rm -f "$service_log" "$ZVU_FIXTURE_DIR/catalogue.log" "$dir/ZelkoVuroUpdateGui.record.txt"
  serve_good_catalogue
  timeout 60 wine 'C:\zvu-clock\ZelkoVuroUpdate.exe' /RegServer < /dev/null > /dev/null 2>&1 || outcome=FAIL
  echo '+0' > "$offsets"
  # Only the wall clock moves, as on a real machine; the tick counts go on.
  LD_PRELOAD=$lib FAKETIME_TIMESTAMP_FILE=$offsets FAKETIME_NO_CACHE=1 DONT_FAKE_MONOTONIC=1 \
    wine 'C:\zvu-clock\ZelkoVuroUpdate.exe' < /dev/null > /dev/null 2>&1 &
  local received="$dir/ZelkoVuroUpdateGui.record.txt"
  got_catalogue() { tr -d '\r' 2>/dev/null < "$received" | grep -qxF "catalogue $(hex_of "$ZVU_FIXTURE_DIR/update.xml")"; }
  wait_for 40 got_catalogue || outcome=FAIL
  # Back by as long as the test certificates have existed (at most 2 hours):
  # they are made when the test environment starts, and a clock before that
  # would fail every TLS handshake, as it would on a real machine with a
  # clock before its server's certificate.
  back=$(($(date +%s) - $(stat -c %Y "$ZVU_ENV_DIR/certs/ca.pem") - 30))
  [ "$back" -gt 7200 ] && back=7200
  echo "-$back" > "$offsets"
  sleep 1
  # A newer catalogue while the clock is behind: a condition made from the
  # service's own clock would wrongly be answered "not modified".
  serve_catalogue 'Zvu Bench Alpha' 2 3 12
  first=$(wc -l < "$ZVU_FIXTURE_DIR/catalogue.log")
  wait_for 70 got_catalogue || outcome=FAIL
  second=$(sed -n "$((first + 1))p" "$ZVU_FIXTURE_DIR/catalogue.log")
  survived="service kept ticking: the check 50 s after the clock went back sent \"${second:-nothing}\" (status, If-None-Match, If-Modified-Since) and handed the changed catalogue over"
  [ -n "$(prefix_pids 'zvu-clock.ZelkoVuroUpdate\.exe')" ] || { outcome=FAIL; survived="service ended"; }
  [ "${second%% *}" = 200 ] || outcome=FAIL
  [ "$(count_in "$service_log" 'm_strUpdateXml sent to client')" -ge 2 ] || outcome=FAIL
  row "the machine's clock moved back $back s under the running service (libfaketime, wall clock only), catalogue changed meanwhile" 1 \
    "$survived" "$outcome" "$(grep -aF 'm_strUpdateXml sent to client' "$service_log" | tr -d '\r' | sed 's/ *$//' | tail -n1) (twice)"
  prefix_pids 'zvu-clock.ZelkoVuroUpdate\.exe' | xargs -r kill 2>/dev/null
  prefix_pids 'zvu-clock.ZelkoVuroUpdateGui\.exe' | xargs -r kill 2>/dev/null
  timeout 60 wine 'C:\zvu-clock\ZelkoVuroUpdate.exe' /UnregServer < /dev/null > /dev/null 2>&1
}
clock_row

note "The installer runner ends an installer after 1000 polls of 200 ms (about 200 s); the wizard pumps its messages during the wait. A log that is not in the Windows Installer's form (UTF-16 little-endian) counts as a failed installation: nothing is reported installed that the log does not say was."
note "A log file that another program holds without sharing cannot be opened; the program then runs without its log and leaves the held file as it was. The clock row moves only the service's wall clock (libfaketime on its process), as a clock change does on a real machine; the conditional request carries the server's own validators, so a clock behind the server changes nothing."
