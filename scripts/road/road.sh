# The steps of the update road under Wine, shared by the demo
# (scripts/road/run-inside.sh) and its acceptance test (tests/road/). Source
# it inside the isolated environment after tests/support/e2e.sh and
# tests/support/wizard_ui.sh.

road_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

service_name=ZelkoVuroUpdate
install_dir="$WINEPREFIX/drive_c/Program Files/Zelko Vuro Update"
service_program='C:\Program Files\Zelko Vuro Update\ZelkoVuroUpdate.exe'
service_log="$WINEPREFIX/drive_c/VuroUpdateService.log"
client_log="$WINEPREFIX/drive_c/VurUpdateGui.log"
# Process patterns match the programs' own command lines: the service runs by
# its full path, the client as the service starts it, by its bare name.
service_pattern='Zelko Vuro Update.ZelkoVuroUpdate\.exe'
client_pattern='^ZelkoVuroUpdateGui\.exe|Zelko Vuro Update.ZelkoVuroUpdateGui\.exe'

winpath() { echo "Z:$1" | tr / '\\'; }

# road_publish <catalogue template> <alpha-1.1.msi> <setup program> [<broken.msi>]:
# puts the installers on the update server (the setup program as
# beta-2.1-setup.exe, the broken package as gamma-1.1.msi) and serves the
# catalogue with the host, sizes and digests filled in.
road_publish() {
  local files=$ZVU_FIXTURE_DIR/files
  cp "$2" "$files/alpha-1.1.msi"
  cp "$3" "$files/beta-2.1-setup.exe"
  [ -n "${4:-}" ] && cp "$4" "$files/gamma-1.1.msi"
  local fill=(-e "s/@UPDATE_HOST@/$ZVU_UPDATE_HOST/g") file key
  for file in alpha-1.1.msi beta-2.1-setup.exe gamma-1.1.msi; do
    [ -f "$files/$file" ] || continue
    key=$(echo "${file%%[-.]*}" | tr '[:lower:]' '[:upper:]')
    fill+=(-e "s/@${key}_SIZE@/$(stat -c %s "$files/$file")/g"
           -e "s/@${key}_SHA256@/$(sha256sum "$files/$file" | cut -c1-64)/g")
  done
  sed "${fill[@]}" "$1" > "$ZVU_FIXTURE_DIR/update.xml"
}

# set_installed <product> <major> <minor> <build>: the product's version in
# the registry, as its own installer would leave it.
set_installed() {
  local value
  for value in "Major:$2" "Minor:$3" "build:$4" "subbuild:0"; do
    wine reg add "HKLM\\Software\\Zelko\\$1" /v "${value%%:*}" /t REG_DWORD /d "${value##*:}" /f > /dev/null 2>&1
  done
}
# installed_version <product>: "major.minor.build" from the registry.
installed_version() {
  local values major minor build
  values=$(wine reg query "HKLM\\Software\\Zelko\\$1" 2>/dev/null | tr -d '\r')
  major=$(awk '$1 == "Major" && $2 == "REG_DWORD" { print $3 }' <<< "$values")
  minor=$(awk '$1 == "Minor" && $2 == "REG_DWORD" { print $3 }' <<< "$values")
  build=$(awk '$1 == "build" && $2 == "REG_DWORD" { print $3 }' <<< "$values")
  [ -n "$major" ] && printf '%d.%d.%d\n' "$major" "${minor:-0}" "${build:-0}"
}

# road_msiexec <switch> <package> <log>: Wine's msiexec, silent, with a log.
road_msiexec() {
  timeout 120 wine msiexec "$1" "$(winpath "$2")" /qn /l*v "$(winpath "$3")" < /dev/null > /dev/null 2>&1
}

# Wine's msiexec writes no completion line into its log, so a package that
# installed well would read as failed to the client. This test-only stand-in
# runs the real msiexec and completes the log; the client finds it first in
# its own folder. It is never part of the package.
place_msiexec_standin() { cp "$1" "$install_dir/msiexec.exe"; }
remove_msiexec_standin() { rm -f "$install_dir/msiexec.exe"; }

service_pids() { prefix_pids "$service_pattern"; }
client_pids() { prefix_pids "$client_pattern"; }
service_state() { wine sc query "$service_name" 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *\([0-9]\).*/\1/p'; }
service_running() { [ "$(service_state)" = 4 ]; }
no_service_process() { [ -z "$(service_pids)" ]; }
handed_over_count() { count_in "$service_log" $'m_strUpdateXml sent to client \r\n'; }

# client_received <catalogue file>: the client's log holds the reception
# record of exactly these bytes.
client_received() {
  python3 - "$client_log" "$1" <<'PY'
import os, re, sys
log = open(sys.argv[1], 'rb').read() if os.path.exists(sys.argv[1]) else b''
served = open(sys.argv[2], 'rb').read()
record = re.compile(rb' data received from server and send to: [0-9a-f]+ \r\n ' + re.escape(served) + rb'\r\n')
sys.exit(0 if record.search(log) else 1)
PY
}

# The client's download folder, "zelko updates" in the temporary folder of
# the user it runs as.
download_folders() { find "$WINEPREFIX/drive_c" -type d -iname 'zelko updates' 2>/dev/null; }

# finish_lines <names...>: selects each row of the finish page in turn and
# prints "<name>: <result line>".
finish_lines() {
  local row=0 name
  for name in "$@"; do
    echo "$name: $(result_line "$row")"
    row=$((row + 1))
  done
}
