# Shell helpers for end-to-end tests that drive the real programs under Wine.
# Source it from a test script that runs inside the test environment.

: "${WINEPREFIX:?run through scripts/test.sh}"
e2e_passes=0
e2e_failures=0

# check <description> <command...>: runs the command and records the outcome.
check() {
  local description=$1
  shift
  if "$@"; then
    echo "ok   - $description"
    e2e_passes=$((e2e_passes + 1))
  else
    echo "FAIL - $description"
    e2e_failures=$((e2e_failures + 1))
  fi
}

# wait_for <seconds> <command...>: true once the command succeeds, polling every 0.1 s.
wait_for() {
  local tries=$(($1 * 10))
  shift
  while [ "$tries" -gt 0 ]; do
    "$@" && return 0
    sleep 0.1
    tries=$((tries - 1))
  done
  return 1
}

# e2e_finish: prints the summary line and exits with the outcome.
e2e_finish() {
  echo "$e2e_passes passed, $e2e_failures failed"
  [ "$e2e_failures" = 0 ]
  exit $?
}

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

# remove_service <name> <Windows path of the program> <process pattern>:
# stops the service, unregisters it and ends what is left of it (processes of
# this prefix matching the pattern, see prefix_pids; make it match the Windows
# path, not a test script's arguments), so that a test that failed half-way
# leaves no service behind in the prefix the other tests share.
remove_service() {
  timeout 60 wine net stop "$1" < /dev/null > /dev/null 2>&1
  timeout 60 wine "$2" /UnregServer < /dev/null > /dev/null 2>&1
  prefix_pids "$3" | xargs -r kill 2>/dev/null
  return 0
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

# end_clients: ends every tray client of this prefix, whether a test started
# it by its path or the service by its bare name (the pattern matches Windows
# command lines only, never a test script's arguments). A client left running
# would make the next test's client end at once (one instance per desktop).
end_clients() {
  prefix_pids '^([A-Za-z]:.*\\)?ZelkoVuroUpdateGui\.exe' | xargs -r kill 2>/dev/null
  return 0
}

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
