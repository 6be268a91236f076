#!/bin/bash
# Product keys under HKLM\Software\Zelko\ with version values of wrong types
# and sizes, missing values and odd key names, through the real check (batch
# driver linking the service's check), the running service and the catalogue
# checker.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../lib.sh"
. "$here/../../lib/service.sh"

driver="$build/tests/fixtures/badinput_driver/zvu_badinput_driver.exe"
checker="$build/tools/catalogue_checker/ZelkoVuroCatalogue.exe"
work=$(mktemp -d /tmp/zvu-registry.XXXXXX)
cleanup() {
  remove_service "$service_name" "$service_program" 'ZelkoVuroUpdate\.exe'
  end_clients
  rm -rf "$work"
}
trap cleanup EXIT
drive() {  # the driver's output without CRs; its exit status
  timeout 120 wine "$driver" "$@" < /dev/null > "$work/raw" 2>> "$work/err"
  local rc=$?
  tr -d '\r' < "$work/raw"
  return "$rc"
}
zelko='Software\Zelko'

section "Bad input: the product keys in the registry" \
  "Version values of HKLM\\Software\\Zelko\\<product> replaced one at a time (the others REG_DWORD 2.3.10;" \
  "the served catalogue offers update 2.3.11) and read by the service's check; then odd key names," \
  "the running service and the catalogue checker. Bound: 120 s per case."

# expected <hex data or @n or -> <missing?>: the defined reading: a value of at
# most 4 bytes is read little-endian and zero-extended, anything else is missing.
expected() {
  python3 - "$1" "$2" <<'EOF'
import sys
data, missing = sys.argv[1], sys.argv[2] == 'missing'
if missing:
    print(4294967295); sys.exit()
size = int(data[1:]) if data.startswith('@') else (0 if data == '-' else len(data) // 2)
raw = b'\x01' * size if data.startswith('@') else bytes.fromhex('' if data == '-' else data)
print(int.from_bytes(raw, 'little') if size <= 4 else 4294967295)
EOF
}

# serve_update <product>: a catalogue whose one update takes <product> to 2.3.11.
serve_update() {
  printf '<?xml version="1.0"?>\r\n<catalogue><products/><updates><update><product>%s</product>'\
'<description>Update</description><major>2</major><minor>3</minor><build>11</build><subbuild>0</subbuild>'\
'<url>http://%s/files/x.msi</url><size>2048</size></update></updates></catalogue>\r\n' \
    "$1" "$ZVU_UPDATE_HOST" > "$ZVU_FIXTURE_DIR/update.xml"
}

# run_case <key name> <value> <type number> <data> : one case through the check.
# Sets reading, check, record, crashed.
run_case() {
  local key="$zelko\\$1"
  wine reg delete "HKLM\\$zelko" /f > /dev/null 2>&1 < /dev/null
  drive setvalue "$key" Major 4 02000000 Minor 4 03000000 build 4 0a000000 subbuild 4 00000000 > /dev/null
  [ -n "$2" ] && drive setvalue "$key" "$2" "$3" "$4" > /dev/null
  serve_update "$1"
  rm -f "$work/driver.log"
  local start=$(date +%s%N)
  drive inventory "$(winpath "$work/driver.log")" > "$work/inventory"
  local rc=$?
  elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
  crashed=0
  { [ "$rc" != 0 ] || grep -aqiE 'unhandled (exception|page fault)' "$work/err"; } && crashed=1
  : > "$work/err"
  reading=$(grep -aF "installed $1 " "$work/inventory" | awk '{ print $NF }')
  check=$(sed -n 's/^check=//p' "$work/inventory")
  record=$(tr -d '\r' < "$work/driver.log" 2>/dev/null | grep -aoE 'Installed version of .*' | head -n1)
}

# --- version values of the wrong type or size, one at a time.
# value | type number | data (hex, @n for n bytes, "-" for none, "missing") | what it is
cases=(
  "Major|1|3200|REG_SZ \"2\""
  "Major|1|00|REG_SZ empty"
  "Major|2|3200|REG_EXPAND_SZ \"2\""
  "Major|7|320000|REG_MULTI_SZ \"2\""
  "Major|11|0200000000000000|REG_QWORD 2"
  "Major|3|-|REG_BINARY, 0 bytes"
  "Major|3|02|REG_BINARY, 1 byte"
  "Major|3|0200|REG_BINARY, 2 bytes"
  "Major|3|020000|REG_BINARY, 3 bytes"
  "Major|3|0200000000|REG_BINARY, 5 bytes"
  "Major|3|@1048576|REG_BINARY, 1 MiB"
  "Major|5|00000002|REG_DWORD_BIG_ENDIAN 2"
  "Major|0|02000000|REG_NONE, 4 bytes"
  "Major|4|ffffffff|REG_DWORD 0xFFFFFFFF"
  "Major|x|missing|missing"
  "Minor|1|3300|REG_SZ \"3\""
  "Minor|3|03|REG_BINARY, 1 byte"
  "Minor|11|0300000000000000|REG_QWORD 3"
  "Minor|1|@65536|REG_SZ, 64 KiB"
  "Minor|x|missing|missing"
  "build|3|-|REG_BINARY, 0 bytes"
  "build|1|313000|REG_SZ \"10\""
  "build|7|31300000|REG_MULTI_SZ \"10\""
  "build|3|0a00|REG_BINARY, 2 bytes"
  "build|11|0a00000000000000|REG_QWORD 10"
  "build|x|missing|missing"
  "subbuild|1|3000|REG_SZ \"0\" (subbuild is not read)"
  "subbuild|3|@1048576|REG_BINARY, 1 MiB (subbuild is not read)"
)
declare -A base=([Major]=2 [Minor]=3 [build]=10 [subbuild]=0)
declare -A ok_count fail_count detail_of
for entry in "${cases[@]}"; do
  IFS='|' read -r value type data what <<< "$entry"
  missing=present
  [ "$type" = x ] && missing=missing
  want=$(expected "$data" "$missing")
  run_case 'Zvu Bad Reg' "$value" "$type" "$data"
  declare -A v=([Major]=2 [Minor]=3 [build]=10 [subbuild]=0)
  v[$value]=$want
  want_reading="${v[Major]}.${v[Minor]}.${v[build]}.${v[subbuild]}"
  # The update 2.3.11 applies exactly when the reading says 2.x.y below it.
  want_check=0x80004005
  if [ "${v[Major]}" = 2 ] && [ "${v[Minor]}" != 4294967295 ] && [ "${v[build]}" != 4294967295 ] &&
     { [ "${v[Minor]}" -lt 3 ] || { [ "${v[Minor]}" = 3 ] && [ "${v[build]}" -lt 11 ]; }; }; then
    want_check=0x00000000
  fi
  # A record is due when the update was not taken and a version value is no 4-byte REG_DWORD.
  want_record=0
  [ "$want_check" != 0x00000000 ] && [ "$value" != subbuild ] && [ "$type$data" != 4ffffffff ] && want_record=1
  got_record=0
  [ -n "$record" ] && got_record=1
  verdict=ok
  if [ "$crashed" = 1 ] || [ "$reading" != "$want_reading" ] || [ "$check" != "$want_check" ] ||
     [ "$got_record" != "$want_record" ] || [ "$elapsed_ms" -gt 120000 ]; then
    verdict=FAIL
  fi
  taken=$([ "$check" = 0x00000000 ] && echo "update taken" || echo "update not taken")
  echo "case $value $what: reading=$reading (want $want_reading) check=$check (want $want_check) record=${record:-none} ${elapsed_ms} ms"
  said="(none: the update was taken, or the value is a REG_DWORD)"
  [ -n "$record" ] && said="\"$record\""
  row "\"$value\" as $what" 1 "no crash, ${elapsed_ms} ms; read as $reading, $taken" "$verdict" "$said"
done

# --- odd key names: each is the product's key, with REG_DWORD 2.3.10; the
# update for the same name must be taken.
# 240 characters: the longest name Wine creates below this key (Windows: 255).
long_name="Zvu Bad $(printf 'K%.0s' $(seq 1 232))"
odd_names=(
  "$long_name"
  "Zvu Bad %s %n %d"
  "Zvu Bad..Key."
  "Zvu Bad  {Key} #1 ;,=+"
  "Zvu Bad/Slash"
)
tried=0; held=0
for key_name in "${odd_names[@]}"; do
  tried=$((tried + 1))
  run_case "$key_name" "" "" ""
  echo "key '${key_name:0:40}...': reading=$reading check=$check crashed=$crashed"
  [ "$crashed" = 0 ] && [ "$reading" = 2.3.10.0 ] && [ "$check" = 0x00000000 ] && held=$((held + 1))
done
# A key name the registry refuses (longer than 255) cannot exist, so the
# update naming it is never taken.
wine reg delete "HKLM\\$zelko" /f > /dev/null 2>&1 < /dev/null
drive setvalue "$zelko\\Zvu Bad Reg" Major 4 02000000 Minor 4 03000000 build 4 0a000000 > /dev/null
serve_update "Zvu Bad $(printf 'L%.0s' $(seq 1 2000))"
drive inventory "$(winpath "$work/driver.log")" > "$work/inventory"
tried=$((tried + 1))
grep -q '^check=0x80004005' "$work/inventory" && held=$((held + 1))
verdict=FAIL
[ "$held" = "$tried" ] && verdict=ok
row "odd product key names: 240 characters, printf directives, dots, punctuation, a slash; and an update naming a 2008-character key" \
  "$tried" "no crash; each key read as 2.3.10 and its update taken; the overlong name matched no key ($held of $tried)" \
  "$verdict" "(the fetch's transfer records)"

# --- the catalogue checker reads the installed versions from the registry.
wine reg delete "HKLM\\$zelko" /f > /dev/null 2>&1 < /dev/null
drive setvalue "$zelko\\Zvu Bad Reg" Major 1 3200 Minor 11 0300000000000000 build 3 "@1048576" > /dev/null
drive setvalue "$zelko\\$long_name" Major 3 - > /dev/null
serve_update 'Zvu Bad Reg'
cp "$ZVU_FIXTURE_DIR/update.xml" "$work/catalogue.xml"
timeout 120 wine "$checker" check "$(winpath "$work/catalogue.xml")" < /dev/null > "$work/checker.out" 2> "$work/checker.err"
rc=$?
tr -d '\r' < "$work/checker.out" | sed 's/^/checker: /' | head -n 20
installed=$(tr -d '\r' < "$work/checker.out" | grep -a '^installed: Zvu Bad Reg' | head -n1)
verdict=FAIL
[ "$rc" -le 2 ] && ! grep -aqiE 'unhandled' "$work/checker.err" && [ -n "$installed" ] && verdict=ok
row "ZelkoVuroCatalogue check with Major REG_SZ, Minor REG_QWORD, build 1 MiB binary, and a 240-character key with a 0-byte Major" 1 \
  "no crash, exit status $rc, the odd product listed" "$verdict" "\"$installed\""

# --- the running service with a version stored as text: it keeps running and
# says why it took no update; once the value is a REG_DWORD again, the next
# start hands the catalogue to the client it starts.
install_service "$build" || { row "installing the service" 1 "-" FAIL "-"; exit 1; }
stop_service
wine reg delete "HKLM\\$zelko\\Zvu Bad Reg" /f > /dev/null 2>&1 < /dev/null
wine reg delete "HKLM\\$zelko\\$long_name" /f > /dev/null 2>&1 < /dev/null
serve_update 'Zvu Bench Alpha'
held=0; tried=0; last=
for variant in "1 3200" "11 0200000000000000" "3 -"; do
  read -r type data <<< "$variant"
  tried=$((tried + 1))
  drive setvalue "$zelko\\Zvu Bench Alpha" Major "$type" "$data" > /dev/null
  rm -f "$service_log"  # each run writes its log from the start
  net_command start "$service_name"
  found() { grep -aq 'Installed version of Zvu Bench Alpha' "$service_log" 2>/dev/null; }
  wait_for -p 0.01 60 found
  record=$(tr -d '\r' < "$service_log" | grep -aoE 'Installed version of Zvu Bench Alpha.*' | tail -n1)
  pid=$(service_pid)
  echo "service with Major type $type: pid=${pid:-none} record=${record:-none}"
  [ -n "$pid" ] && [ -n "$record" ] && ! grep -aq 'm_strUpdateXml sent' "$service_log" && held=$((held + 1))
  [ -n "$record" ] && last=$record
  stop_service
done
drive setvalue "$zelko\\Zvu Bench Alpha" Major 4 02000000 > /dev/null
rm -f "$service_log"
net_command start "$service_name"
wait_for -p 0.01 90 handed_over && handed_ok=1 || handed_ok=0
verdict=FAIL
[ "$held" = "$tried" ] && [ "$handed_ok" = 1 ] && [ -n "$(service_pid)" ] && verdict=ok
row "the running service with Major as REG_SZ, REG_QWORD and 0-byte REG_BINARY, then REG_DWORD again" "$tried" \
  "service kept running and took no update ($held of $tried logged why), then handed the catalogue to the client it started" \
  "$verdict" "\"${last:-none}\"; then \"m_strUpdateXml sent to client \""
stop_service
