# Helpers of the host part (scripts/reliability/parts/host.sh): files held by
# another program, mounts over the download folder, odd installer logs and a
# service whose wall clock is moved back. Builds on the network part's helpers
# (the service, its stand-in client and the wizard run).
. "$(dirname "${BASH_SOURCE[0]}")/network-helpers.sh"

# The client's download folder (the user's temporary folder + "zelko updates").
download_folder() {
  local temp
  temp=$(wine cmd /c echo %TEMP% 2>/dev/null < /dev/null | tr -d '\r' | tail -n1)
  echo "$(winepath -u "$temp" 2>/dev/null)/zelko updates"
}

# lock_file <Linux path>: holds the file with no sharing (zvu_file_locker) until unlock_files.
locker_pids=()
lock_file() {
  local ready="$ZVU_ENV_DIR/locker.$RANDOM"
  rm -f "$ready"
  wine "$(built zvu_file_locker.exe)" "$(winpath "$1")" "$(winpath "$ready")" < /dev/null > /dev/null 2>&1 &
  locker_pids+=($!)
  wait_for 30 grep -qx locked "$ready" 2>/dev/null
}
unlock_files() {
  prefix_pids 'zvu_file_locker\.exe' | xargs -r kill 2>/dev/null
  local p
  for p in "${locker_pids[@]}"; do wait "$p" 2>/dev/null; done
  locker_pids=()
  return 0
}

# The wizard with the given updates chosen, from the tray icon to the finish
# page; sets wizard_took (seconds from Next on the selection page).
run_wizard_to_finish() {  # run_wizard_to_finish <bound s>
  local t0
  open_wizard || return 1
  t0=$(date +%s)
  next
  # A download that cannot start at all leads to the finish page at once.
  wait_for 10 download_or_finish_page || return 1
  wait_for "$1" page_is 4 || return 1
  wizard_took=$(($(date +%s) - t0))
}
download_or_finish_page() { page_is 3 || page_is 4; }
close_wizard() { finish; wait_for 10 wizard_gone; }
client_alive() { [ -n "$(client_pids)" ]; }

# result_lines <expected text...>: the finish page's result line of each row,
# one per line: the first row is clicked, the next ones are reached with the
# Down key (rows below the visible part of the list cannot be clicked); each
# is read once it shows the text expected for it, or after 5 s.
result_lines() {
  local i=0 expected
  for expected in "$@"; do
    if [ "$i" = 0 ]; then click_control "$result_list_id" 0 || return 1; else xdotool key Down; fi
    wait_for 5 result_line_shows "$expected"
    control_text "$result_line_id"
    i=$((i + 1))
  done
}
