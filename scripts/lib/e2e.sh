# Shell helpers for end-to-end runs that drive the real programs under Wine:
# the tests, the benchmarks, the road demo and the reliability campaign.
# Source it inside the test environment (scripts/isolated-env.sh).

: "${WINEPREFIX:?run inside the test environment (scripts/test.sh, scripts/isolated-env.sh)}"
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"

# output_through_file "$@": called by a test script right after it sources
# this file. Runs the script again with its output in a file and shows that
# file as it grows, until the script has ended. A Windows process that Wine
# starts on the way (a desktop's explorer.exe, a program the service starts)
# inherits the output it finds; through a pipe it would keep ctest waiting
# for the end of the output long after the test has ended. Through the file
# it holds nothing anyone waits for.
output_through_file() {
  [ -z "${ZVU_TEST_OUTPUT_FILE:-}" ] || return 0
  local output child status
  output=$(mktemp)
  ZVU_TEST_OUTPUT_FILE=$output bash "$0" "$@" > "$output" 2>&1 < /dev/null &
  child=$!
  tail -n +1 -f --pid="$child" "$output"
  wait "$child"
  status=$?
  rm -f "$output"
  exit "$status"
}

# The installed update system: where the package puts it and what its
# programs write.
service_name=ZelkoVuroUpdate
install_dir="$WINEPREFIX/drive_c/Program Files/Zelko Vuro Update"
service_program='C:\Program Files\Zelko Vuro Update\ZelkoVuroUpdate.exe'
client_program='C:\Program Files\Zelko Vuro Update\ZelkoVuroUpdateGui.exe'
service_log="$WINEPREFIX/drive_c/VuroUpdateService.log"
client_log="$WINEPREFIX/drive_c/VurUpdateGui.log"
service_key="HKLM\\System\\CurrentControlSet\\Services\\$service_name"
# Process patterns match the programs' own command lines, never a test
# script's arguments: the service runs by its full path, the client by its
# full path or, as the service starts it, by its bare name.
service_pattern='Zelko Vuro Update.ZelkoVuroUpdate\.exe'
client_pattern='^ZelkoVuroUpdateGui\.exe|Zelko Vuro Update.ZelkoVuroUpdateGui\.exe'

# winpath <Linux path>: the path as Windows programs in the prefix see it.
winpath() { echo "Z:$1" | tr / '\\'; }

# hex_of <file>: the file's bytes as lower-case hex, no separators.
hex_of() { od -An -tx1 -v "$1" | tr -d ' \n'; }

# count_in <file> <text>: how often the text occurs in the file.
count_in() { grep -aoF -- "$2" "$1" 2>/dev/null | wc -l; }

# prefix_pids <pattern>: Linux process ids of this prefix's Wine processes
# whose command line matches the pattern (other test environments on the
# same machine run programs of the same names).
prefix_pids() {
  local pid
  for pid in $(pgrep -f "$1"); do
    tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
}

# remove_service [<name> <Windows path of the program> <process pattern>]:
# stops the service, unregisters it and ends what is left of it (processes of
# this prefix matching the pattern, see prefix_pids; make it match the Windows
# path, not a test script's arguments), so that a run that failed half-way
# leaves no service behind in the prefix the other tests share. An entry
# whose program is gone (another test's folder) is deleted through the
# service manager. Without arguments: the installed update service.
remove_service() {
  local name=${1:-$service_name} program=${2:-$service_program} pattern=${3:-$service_pattern}
  timeout 60 wine net stop "$name" < /dev/null > /dev/null 2>&1
  timeout 60 wine "$program" /UnregServer < /dev/null > /dev/null 2>&1
  prefix_pids "$pattern" | xargs -r kill 2>/dev/null
  if [ -n "$(service_state "$name")" ]; then timeout 60 wine sc delete "$name" < /dev/null > /dev/null 2>&1; fi
  return 0
}

# service_state [<name>]: the state digit "sc query" reports (1 stopped,
# 2 start pending, 4 running), empty when there is no such service.
service_state() {
  wine sc query "${1:-$service_name}" 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *\([0-9]\).*/\1/p'
}
service_running() { [ "$(service_state)" = 4 ]; }
service_stopped() { [ "$(service_state)" = 1 ]; }
service_pids() { prefix_pids "$service_pattern"; }
no_service_process() { [ -z "$(service_pids)" ]; }
client_pids() { prefix_pids "$client_pattern"; }

# net_command <net arguments...>: "net start NAME", "net stop NAME", bounded.
net_command() { timeout 60 wine net "$@" > /dev/null 2>&1 < /dev/null; }

# service_logged <text>: the service's log holds the text.
service_logged() { tr -d '\r' < "$service_log" 2>/dev/null | grep -qF -- "$1"; }

# start_service_alone: registers the service already copied into the program
# folder, starts it with a fresh log and waits for its first check; each step
# is a require.
register_service() { timeout 60 wine "$service_program" /Service < /dev/null > /dev/null 2>&1; }
start_service_alone() {
  require "/Service installs the service" register_service
  rm -f "$service_log"
  require "service starts" net_command start "$service_name"
  require "the service has checked for updates" wait_for 30 service_logged 'Start Logging'
}

# set_installed <product> <major> <minor> <build> [<subbuild>]: the product's
# version in the registry (HKLM\Software\Zelko), as its installer leaves it.
set_installed() {
  local value values=("Major:$2" "Minor:$3" "build:$4")
  [ -n "${5:-}" ] && values+=("subbuild:$5")
  for value in "${values[@]}"; do
    wine reg add "HKLM\\Software\\Zelko\\$1" /v "${value%%:*}" /t REG_DWORD /d "${value##*:}" /f > /dev/null 2>&1
  done
}

# remove_products <product...>: deletes these products' keys, and only
# them: other tests keep theirs under HKLM\Software\Zelko meanwhile.
remove_products() {
  local product
  for product in "$@"; do
    wine reg delete "HKLM\\Software\\Zelko\\$product" /f > /dev/null 2>&1
  done
  return 0
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

# serve_catalogue <product> <major> <minor> <build>: serves a catalogue that
# offers <product> 2.3.0 and holds one update of it to <major>.<minor>.<build>.0
# (the update names the product in lower case: key names match in any case).
serve_catalogue() {
  local lower
  lower=$(tr '[:upper:]' '[:lower:]' <<< "$1")
  printf '<?xml version="1.0"?>\r\n<catalogue><products><product><product>%s</product>'\
'<description>Alpha</description><major>2</major><minor>3</minor><build>0</build><size>1024</size>'\
'</product></products>\r\n<updates><update><product>%s</product>'\
'<description>Alpha update</description><major>%s</major><minor>%s</minor><build>%s</build>'\
'<subbuild>0</subbuild><url>http://%s/files/alpha.msi</url><size>2048</size></update></updates>'\
'</catalogue>\r\n' "$1" "$lower" "$2" "$3" "$4" "$ZVU_UPDATE_HOST" > "$ZVU_FIXTURE_DIR/update.xml"
}

# update_xml <product> <major> <minor> <build> <path on the server> <size> [<description>]:
# one update element of a catalogue, its url on the update host.
update_xml() {
  printf '<update><product>%s</product><description>%s</description><major>%s</major><minor>%s</minor>'\
'<build>%s</build><subbuild>0</subbuild><url>http://%s%s</url><size>%s</size></update>' \
    "$1" "${7:-Update of $1.}" "$2" "$3" "$4" "$ZVU_UPDATE_HOST" "$5" "$6"
}
# serve_updates <product elements> <update elements...>: serves a catalogue
# with those products on offer and those updates.
serve_updates() {
  local products=$1
  shift
  printf '<?xml version="1.0"?><catalogue><products>%s</products><updates>%s</updates></catalogue>' \
    "$products" "$*" > "$ZVU_FIXTURE_DIR/update.xml"
}

# end_clients: ends every tray client of this prefix, whether a test started
# it by its path or the service by its bare name (the pattern matches Windows
# command lines only, never a test script's arguments). A client left running
# would make the next test's client end at once (one instance per desktop).
end_clients() {
  prefix_pids '^([A-Za-z]:.*\\)?ZelkoVuroUpdateGui\.exe' | xargs -r kill 2>/dev/null
  return 0
}

# handed_over_count: the hand-offs the service has logged; handed_over: one at least.
handed_over_count() { count_in "$service_log" $'m_strUpdateXml sent to client \r\n'; }
handed_over() { grep -aqF 'm_strUpdateXml sent to client' "$service_log" 2>/dev/null; }

# client_received [<catalogue file>]: the client's log holds the reception
# record of exactly these bytes (default: the catalogue being served).
client_received() {
  python3 - "$client_log" "${1:-$ZVU_FIXTURE_DIR/update.xml}" <<'PY'
import os, re, sys
log = open(sys.argv[1], 'rb').read() if os.path.exists(sys.argv[1]) else b''
served = open(sys.argv[2], 'rb').read()
record = re.compile(rb' data received from server and send to: [0-9a-f]+ \r\n ' + re.escape(served) + rb'\r\n')
sys.exit(0 if record.search(log) else 1)
PY
}

key_exists() { wine reg query "$1" > /dev/null 2>&1; }

# reg_value <key> <value name or /ve>: prints "TYPE DATA" of a registry value.
reg_value() {
  local args=(/v "$2")
  [ "$2" = /ve ] && args=(/ve)
  wine reg query "$1" "${args[@]}" 2>/dev/null | tr -d '\r' |
    sed -n 's/^ \{4\}[^ ].*  \+\(REG_[A-Z_]*\) \+\(.*\)$/\1 \2/p' | head -n1
}

# check_service_entry <name> <Windows path of the program>: the service entry
# exactly as "/Service" creates it.
check_service_entry() {
  local key="HKLM\\System\\CurrentControlSet\\Services\\$1"
  check "service starts automatically" [ "$(reg_value "$key" Start)" = "REG_DWORD 0x2" ]
  check "service runs in its own process" [ "$(reg_value "$key" Type)" = "REG_DWORD 0x10" ]
  check "service error control normal" [ "$(reg_value "$key" ErrorControl)" = "REG_DWORD 0x1" ]
  check "service depends on RPCSS" [ "$(reg_value "$key" DependOnService)" = "REG_MULTI_SZ RPCSS" ]
  check "service path is quoted, without arguments" \
    [ "$(reg_value "$key" ImagePath)" = "REG_SZ \"$2\"" ]
  check "service display name" [ "$(reg_value "$key" DisplayName)" = "REG_SZ $1" ]
  check "service runs as local system" [ "$(reg_value "$key" ObjectName)" = "REG_SZ LocalSystem" ]
}

# msiexec_run <switch> <package> <log>: Wine's msiexec, silent, with a
# verbose log that explain_failure prints when a later require fails.
# Status: the low 8 bits of msiexec's own (Wine passes on no more); 124 when
# it did not end within 120 s (a message box of a custom action waits, say).
msiexec_run() {
  msiexec_log=$3
  timeout 120 wine msiexec "$1" "$(winpath "$2")" /qn /l*v "$(winpath "$3")" < /dev/null > /dev/null 2>&1
  msiexec_status=$?
  return "$msiexec_status"
}

# no_service_left: neither the service manager nor the registry knows the
# service any more, and no process of it runs (a service that is still
# marked for deletion makes the next install of it fail).
no_service_left() {
  [ -z "$(service_state)" ] && ! key_exists "$service_key" && no_service_process
}

# explain_failure: what an administrator would read to find why a step
# failed: the log of the last msiexec run, the service's and the client's
# log, the service's state, the windows on the desktop (when desktop.sh is
# sourced) and what the script adds (explain_more).
# require calls it before it ends a test.
explain_failure() {
  echo "--- service $service_name: state '$(service_state)', processes: $(service_pids | paste -sd ' ')"
  if [ -n "${msiexec_log:-}" ]; then
    echo "--- the last msiexec ended with status $msiexec_status (Wine passes on the low 8 bits:" \
      "67 for 1603, the installation failed; 82 for 1618, another one was running; 124: no end within 120 s)"
    echo "--- its log $msiexec_log (errors, then its end):"
    if [ -s "$msiexec_log" ]; then
      # Wine writes the log in ANSI, Windows in UTF-16: read either.
      { if [ "$(head -c2 "$msiexec_log" | od -An -tx1 | tr -d ' \n')" = fffe ]; then
          iconv -f UTF-16 -t UTF-8 "$msiexec_log"
        else cat "$msiexec_log"; fi; } | tr -d '\r' > "$msiexec_log.txt"
      grep -aE 'rror|Return value 3|failed' "$msiexec_log.txt" | head -n 40
      echo "..."
      tail -n 30 "$msiexec_log.txt"
    else
      echo "(empty or not written: msiexec did not get as far as its log)"
    fi
  fi
  echo "--- service log (without transfer records):"
  if [ -f "$service_log" ]; then tr -d '\r' < "$service_log" | grep -av '^ ' | tail -n 60; else echo "(none)"; fi
  echo "--- client log (its end):"
  if [ -f "$client_log" ]; then tr -d '\r' < "$client_log" | tail -c 3000; echo; else echo "(none)"; fi
  if declare -F visible_windows > /dev/null; then
    echo "--- visible windows (a message box would stop an install):"
    visible_windows
  fi
  if declare -F explain_more > /dev/null; then explain_more; fi
  return 0
}
