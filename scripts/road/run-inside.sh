#!/bin/bash
# Second half of scripts/run.sh, inside the isolated environment.
#   run-inside.sh <build folder> <auto|interactive>
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$1
mode=${2:-auto}

fixtures=$build/tests/fixtures
package=$build/packaging/ZelkoVuroUpdate-$(tr -d ' \r\n' < "$root/packaging/version").msi
desktop_probe_exe=$fixtures/desktop_probe/zvu_desktop_probe.exe
wizard_probe_exe=$build/tests/client/wizard/zvu_wizard_probe.exe
limited_start_exe=$fixtures/limited_start/zvu_limited_start.exe
shots=$build/road-screenshots
logs=$ZVU_ENV_DIR/installer-logs
. "$root/scripts/lib/e2e.sh"
. "$root/scripts/lib/wizard_ui.sh"
. "$root/scripts/lib/road.sh"

no_client() { [ -z "$(client_pids)" ]; }
past_selection() { case "$(wprobe page | head -n1)" in "index 3" | "index 4") return 0 ;; esac; return 1; }
handed_over_again() { [ "$(handed_over_count)" -gt "$handed_before" ]; }

started=$SECONDS
step() { printf '\n[%s  +%3ds] %s\n' "$(date +%T)" "$((SECONDS - started))" "$*"; }
shot() { shot_file "$shots/$1.png" && echo "screenshot: $shots/$1.png"; }
result=0
fail() { echo "FAILED: $*"; result=1; }

# However the run ends (Ctrl-C included), the service is stopped and the
# client ended; the environment then removes the prefix and the namespace.
cleanup() {
  trap - EXIT INT TERM
  remove_service 2> /dev/null
  client_pids | xargs -r kill 2>/dev/null
}
trap cleanup EXIT
trap 'echo; echo "interrupted"; exit 130' INT TERM

rm -rf "$shots"
mkdir -p "$shots" "$logs"

step "Update server: the catalogue at https://$ZVU_UPDATE_HOST/update/ and its installers"
road_publish "$here/catalogue.xml" "$fixtures/installers/alpha-1.1.msi" "$fixtures/installers/fake_setup.exe"
echo "installers: $(cd "$ZVU_FIXTURE_DIR/files" && ls | paste -sd ' ')"
sed -n '/<updates>/,/<\/updates>/p' "$ZVU_FIXTURE_DIR/update.xml" | grep -E '<product>|<major>|<url>'

step "Installed products (HKLM\\Software\\Zelko): Alpha 1.0.0, Beta 2.0.0, Delta 4.3.0"
set_installed Alpha 1 0 0 0
set_installed Beta 2 0 0 0
set_installed Delta 4 3 0 0

step "The catalogue as ZelkoVuroCatalogue.exe checks it against them"
# Through a file, not a pipe: a desktop process that Wine starts on the way
# inherits the output and would hold a pipe open after the checker has ended.
wine "$build/tools/catalogue_checker/ZelkoVuroCatalogue.exe" check "$(winpath "$ZVU_FIXTURE_DIR/update.xml")" \
  < /dev/null > "$logs/catalogue-check.txt" 2>&1
tr -d '\r' < "$logs/catalogue-check.txt"

step "Install the update system from its package: msiexec /i $(basename "$package") /qn"
rm -f "$service_log" "$client_log"
msiexec_run /i "$package" "$logs/install.log" || { fail "msiexec /i ended with status $?"; explain_failure; }
(cd "$install_dir" && ls -1) | sed 's/^/C:\\Program Files\\Zelko Vuro Update\\/'
wait_for 30 service_running && echo "service $service_name: running (started by the package)" ||
  fail "the service is not running (state $(service_state))"
place_msiexec_standin "$fixtures/installers/msiexec-standin/msiexec.exe"
echo "test-only piece: an msiexec.exe stand-in in place of Wine's in the system folder (Wine's"
echo "  msiexec writes no completion line into its log); it is not part of the package"

step "The service checks for updates, starts the client in the user's session and hands it the catalogue"
if wait_for 60 handed_over; then
  echo "\"m_strUpdateXml sent to client\" after $((SECONDS - started)) s"
else
  fail "no hand-off within 60 s"
fi
tr -d '\r' < "$service_log" 2>/dev/null | grep -v '^ ' | grep -v '^$' | head -n 12
client_received "$ZVU_FIXTURE_DIR/update.xml" && echo "client log: the catalogue received, byte for byte the one served" ||
  fail "the client's log does not hold the served catalogue"

step "Balloon \"New Updates Found\" and the wizard on its selection page"
if wait_for 30 page_is 2; then
  wait_for 15 balloon_shown 'New Updates Found' || echo "(no balloon \"New Updates Found\" seen)"
  shot 1-balloon-and-selection
  tree_rows | awk -F'|' '{ mark = $2 == 0 ? "[x] " : $2 == 1 ? "[ ] " : ""; printf "  %*s%s%s\n", 4 * $1, "", mark, $3 }'
else
  fail "the wizard did not open on its selection page"
fi

if [ "$mode" = interactive ]; then
  step "The wizard is yours: choose updates, Next, Finish (Ctrl-C ends the run)"
  wait_for 1800 wizard_gone || fail "the wizard was still open after 30 minutes"
else
  step "Next: download and install the ticked updates"
  next
  wait_for 10 page_is 3 && shot 2-download || fail "no download page"
  step "Downloads and installations done: the finish page"
  if wait_for 120 page_is 4; then
    finish_lines "Alpha 1.1.0" "Beta 2.1.0" > "$ZVU_ENV_DIR/finish-lines.txt"
    shot 3-finish
    cat "$ZVU_ENV_DIR/finish-lines.txt"
    finish
    wait_for 10 wizard_gone || fail "Finish did not close the wizard"
  else
    fail "no finish page within 120 s"
  fi
fi

step "Result"
echo "registry: Alpha $(installed_version Alpha), Beta $(installed_version Beta), Delta $(installed_version Delta)"
download_folders | while read -r folder; do
  echo "downloaded into C:$(echo "${folder#"$WINEPREFIX/drive_c"}" | tr / '\\'):" \
    "$(ls "$folder" | grep -Ev '\.(log|cmdline|ids|parent)$' | paste -sd ' ')"
done
[ "$(installed_version Alpha)" = 1.1.0 ] || [ "$mode" = interactive ] || fail "Alpha is not at 1.1.0"
# The setup program raised Beta's version as a real installer does: no
# check offers Beta 2.1 again.
[ "$(installed_version Beta)" = 2.1.0 ] || [ "$mode" = interactive ] || fail "Beta is not at 2.1.0"

# --- Second part: a client without administrator rights -------------------------
step "Second part: a client started with the limited token, as on a user-account-control desktop"
echo "Its installers would fail without administrator rights: a verified update (one the catalogue"
echo "lists with a sha256) is installed by the service instead. The catalogue now offers:"
road_publish_verified "$here/catalogue-service.xml" "$fixtures/installers/fake_setup.exe"
sed -n '/<updates>/,/<\/updates>/p' "$ZVU_FIXTURE_DIR/update.xml" | grep -E '<product>|<major>|<url>|<sha256>|<options>'
rm -f "$service_downloads"/beta-2.2-setup.exe.*
end_clients
wait_for 10 no_client || fail "the first client did not end"
handed_before=$(handed_over_count)
# zvu_limited_start (a test fixture) starts the client with the limited token
# linked to Wine's elevated one; it waits for the client, off the output.
wine "$limited_start_exe" "$client_program" < /dev/null > "$logs/limited-client.txt" 2>&1 &
echo "client started with the limited token; it registers with the service"

step "The service's next check (every 50 s) hands the new catalogue to that client"
if wait_for 90 handed_over_again && wait_for 30 page_is 2; then
  echo "\"m_strUpdateXml sent to client\" again after $((SECONDS - started)) s"
  shot 4-limited-selection
  tree_rows | awk -F'|' '{ mark = $2 == 0 ? "[x] " : $2 == 1 ? "[ ] " : ""; printf "  %*s%s%s\n", 4 * $1, "", mark, $3 }'
  if [ "$mode" = interactive ]; then
    step "The wizard is yours again: Next, Finish"
    wait_for 1800 wizard_gone || fail "the wizard was still open after 30 minutes"
  else
    step "Next: the service downloads and installs Beta 2.2; the page shows its progress"
    next
    # The service's work on a small setup program can be over before a
    # look at the page comes: the finish page counts as well.
    if wait_for 10 past_selection; then
      page_is 3 && shot 5-limited-download
    else
      fail "no download page"
    fi
    if wait_for 120 page_is 4; then
      finish_lines "Beta 2.2.0" > "$ZVU_ENV_DIR/finish-lines-2.txt"
      shot 6-limited-finish
      cat "$ZVU_ENV_DIR/finish-lines-2.txt"
      grep -qxF 'Beta 2.2.0: Downloaded and installed succefully.' "$ZVU_ENV_DIR/finish-lines-2.txt" ||
        fail "the finish page does not report Beta 2.2 installed"
      finish
      wait_for 10 wizard_gone || fail "Finish did not close the wizard"
    else
      fail "no finish page within 120 s"
    fi
  fi
else
  fail "the limited client's wizard did not open within 120 s"
fi

step "What shows that the service installed it"
echo "service log:"
tr -d '\r' < "$service_log" 2>/dev/null | grep -E '^(Install requested|Install of Beta|Service install of Beta)' | sed 's/^/  /'
if [ -f "$service_downloads/beta-2.2-setup.exe.parent" ]; then
  echo "the installer ran as C:\\ProgramData\\Zelko\\VuroUpdate\\Downloads\\beta-2.2-setup.exe (its copy is deleted since);"
  echo "  its parent process: $(tr -d '\r' < "$service_downloads/beta-2.2-setup.exe.parent" | awk '{ print $2 " (PID " $1 ")" }')"
else
  fail "the installer did not run from the service's folder"
fi
echo "client log: $(tr -d '\r' < "$client_log" 2>/dev/null | grep -E '^Service install of Beta' | tail -n1)"
echo "registry: Beta $(installed_version Beta)"
[ "$(installed_version Beta)" = 2.2.0 ] || [ "$mode" = interactive ] || fail "Beta is not at 2.2.0"

step "The service's next check (every 50 s): what the catalogue offers is installed, nothing is handed over"
mark=$(stat -c %s "$service_log" 2>/dev/null || echo 0)
# The service log from the first check that begins after the mark on: a
# check begins with the transfer log's "Start Logging" and its request's
# closing ("Closing Connection...") comes once the service has decided.
next_check_log() {
  tail -c +$((mark + 1)) "$service_log" 2>/dev/null | tr -d '\r' | sed -n '/^Start Logging/,$p'
}
next_check_done() { next_check_log | grep -qx ' Closing Connection\.\.\.'; }
# The records of a hand-off: the client looked for, or started, and the catalogue sent.
hand_off_records() {
  next_check_log | grep -cE '^(client found in|Try to start proces|m_strUpdateXml sent to client)'
}
if wait_for 90 next_check_done; then
  echo "the check after +$((SECONDS - started)) s:"
  next_check_log | grep -E '^ The server answered' | sed 's/^ */  /'
else
  fail "no check of the service within 90 s"
fi

step "Stop the service: net stop $service_name"
timeout 60 wine net stop "$service_name" < /dev/null 2>&1 | tr -d '\r' | grep -v '^$'
wait_for 10 no_service_process && echo "the service process has ended" || fail "the service process is still there"
# The service's log is complete now: the check's hand-off, had there been
# one, would have followed the check at once, before the stop.
if [ "$(hand_off_records)" = 0 ]; then
  echo "that last check handed nothing over: the registry holds what the catalogue offers"
elif [ "$mode" = auto ]; then
  fail "the last check handed the catalogue over again"
else
  echo "that last check handed the catalogue over again (an update was left out)"
fi

step "Uninstall: msiexec /x /qn"
remove_msiexec_standin
msiexec_run /x "$package" "$logs/uninstall.log" || fail "msiexec /x ended with status $?"
[ -e "$install_dir" ] && fail "the program folder is still there" || echo "the program folder is gone"

echo
echo "logs: C:\\VuroUpdateService.log (service), C:\\VurUpdateGui.log (client), in the Wine prefix"
echo "  $WINEPREFIX, removed at the end (ZVU_KEEP_ENV=1 keeps it)"
echo "screenshots: $shots"
[ "$result" = 0 ] && echo "result: the road works" || echo "result: FAILED"
exit $result
