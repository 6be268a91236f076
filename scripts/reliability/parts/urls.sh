#!/bin/bash
# Update urls without host, with odd ports, very long, with odd schemes and
# embedded NUL, spaces and %-escapes, through the wizard's download start (a
# batch driver linking the same code) and through the wizard itself.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../lib.sh"

driver="$build/tests/fixtures/badinput_driver/zvu_badinput_driver.exe"
wizard_tests="$build/tests/client/wizard/client_wizard_tests.exe"
work=$(mktemp -d /tmp/zvu-urls.XXXXXX)
trap 'rm -rf "$work"' EXIT
host=$ZVU_UPDATE_HOST
mkdir -p "$ZVU_FIXTURE_DIR/files"
head -c 4096 /dev/urandom > "$ZVU_FIXTURE_DIR/files/x.msi"

section "Bad input: installer urls" \
  "Each update url below went through the wizard's download start (connect to the url's host on port 80," \
  "file name from its last segment) and was waited for at most 90 s; the transfer was then" \
  "cancelled. The service fetches only its fixed address and takes no url from a catalogue."

# kind|url, written with printf escapes (\x00 for a NUL).
long8k=$(printf 'a%.0s' $(seq 1 8192))
long64k=$(head -c 65536 /dev/zero | tr '\0' 'b')
urls=(
  "no host|http:///files/x.msi"
  "no host|/files/x.msi"
  "no host|files/x.msi"
  "no host|http://"
  "no host|http://:80/files/x.msi"
  "no host|"
  "no host|http://@/files/x.msi"
  "odd port|http://$host:0/files/x.msi"
  "odd port|http://$host:65535/files/x.msi"
  "odd port|http://$host:99999/files/x.msi"
  "odd port|http://$host:abc/files/x.msi"
  "odd port|http://$host:-1/files/x.msi"
  "odd port|http://$host:/files/x.msi"
  "odd port|http://$host:4294967376/files/x.msi"
  "very long|http://$host/files/$long8k/x.msi"
  "very long|http://$host/files/$long64k/x.msi"
  "very long|http://$host/files/x.msi?$long64k"
  "very long|http://$host/files/$long8k.msi"
  "very long|http://$long64k.example/files/x.msi"
  "odd scheme|https://$host:8443/files/x.msi"
  "odd scheme|HTTP://$host/files/x.msi"
  "odd scheme|ftp://$host/files/x.msi"
  "odd scheme|file:///C:/windows/notepad.exe"
  "odd scheme|javascript:alert(1)"
  "odd scheme|mailto:admin@$host"
  "odd scheme|\\\\\\\\$host\\\\share\\\\x.msi"
  "NUL|http://$host/files/x\\x00.msi"
  "NUL|http://$host\\x00.evil/files/x.msi"
  "NUL|\\x00http://$host/files/x.msi"
  "embedded|http://$host/files/my file.msi"
  "embedded|http://$host/files/x%2Emsi"
  "embedded|http://$host/files/x.msi%00.exe"
  "embedded|http://$host/files/..%2F..%2F..%2Fwindows%2Fx.msi"
  "embedded|http://$host/files/../../x.msi"
  "embedded|http://$host/files/x.msi\\r\\nX-Injected: 1"
  "embedded|http://user:pass@$host/files/x.msi"
  "embedded|http://$host/files/CON"
  "embedded|http://$host/files/x.msi."
  "embedded|http://$host/files/x.msi?a=b/c\\d"
  "embedded|http://$host/files/\\xff\\xfe.msi"
  "control|http://$host/files/x.msi"
)
: > "$work/list"
for entry in "${urls[@]}"; do
  printf "${entry#*|}" | od -An -tx1 -v | tr -d ' \n' >> "$work/list"
  echo >> "$work/list"
done

rm -f "$work/driver.log"
started=$(date +%s)
timeout 3000 wine "$driver" download "$(winpath "$work/list")" 'C:\zvu-url-downloads' \
  "$(winpath "$work/driver.log")" < /dev/null > "$work/out" 2> "$work/err"
rc=$?
tr -d '\r' < "$work/out" | grep -v '^begin' > "$work/outcomes"
crash=0
{ [ "$rc" != 0 ] || grep -aqiE 'unhandled (exception|page fault)' "$work/err"; } && crash=1
echo "driver exit $rc in $(( $(date +%s) - started )) s"

i=0
declare -A n bad started_n failed_n done_n slow
for entry in "${urls[@]}"; do
  kind=${entry%%|*}
  line=$(grep "^$i " "$work/outcomes")
  echo "url $i ($kind): ${line:-no outcome}"
  n[$kind]=$(( ${n[$kind]:-0} + 1 ))
  if [ -z "$line" ]; then
    bad[$kind]=$(( ${bad[$kind]:-0} + 1 ))
  else
    start=$(sed 's/.*start=\([0-9]*\).*/\1/' <<< "$line")
    state=$(sed 's/.*state=\([0-9]*\).*/\1/' <<< "$line")
    ms=$(sed 's/.*ms=\([0-9]*\).*/\1/' <<< "$line")
    file=$(sed 's/.*file=\([0-9]*\).*/\1/' <<< "$line")
    [ "$ms" -gt "${slow[$kind]:-0}" ] && slow[$kind]=$ms
    if [ "$ms" -gt 90000 ]; then
      bad[$kind]=$(( ${bad[$kind]:-0} + 1 ))
    elif [ "$start" != 0 ]; then
      started_n[$kind]=$(( ${started_n[$kind]:-0} + 1 ))
    elif [ "$state" = 2 ]; then
      failed_n[$kind]=$(( ${failed_n[$kind]:-0} + 1 ))
    elif [ "$state" = 11 ] && [ "$file" = 1 ]; then
      done_n[$kind]=$(( ${done_n[$kind]:-0} + 1 ))
    else
      bad[$kind]=$(( ${bad[$kind]:-0} + 1 ))
    fi
  fi
  i=$((i + 1))
done
# A download fetched the file exactly when the url names the fixture's x.msi
# on the update host: every such one must be the file the server holds.
fetched_ok=1
for f in "$WINEPREFIX/drive_c/zvu-url-downloads/"*; do
  [ -f "$f" ] || continue
  [ "$(basename "$f")" = x.msi ] && ! cmp -s "$f" "$ZVU_FIXTURE_DIR/files/x.msi" && fetched_ok=0
done
transfer_record=$(tr -d '\r' < "$work/driver.log" 2>/dev/null | grep -aoE 'An error occurred while sending an HTTP request.*' | head -n1)
for kind in "no host" "odd port" "very long" "odd scheme" "NUL" "embedded" "control"; do
  outcome=ok
  { [ "$crash" = 1 ] || [ "${bad[$kind]:-0}" != 0 ] || [ "$fetched_ok" = 0 ]; } && outcome=FAIL
  [ "$kind" = control ] && [ "${done_n[$kind]:-0}" != 1 ] && outcome=FAIL
  # A NUL cut the url where the system read it: such a url must start nothing.
  [ "$kind" = NUL ] && [ "${started_n[$kind]:-0}" != "${n[$kind]}" ] && outcome=FAIL
  row "urls: $kind" "${n[$kind]}" \
    "no crash, slowest ${slow[$kind]:-0} ms: ${started_n[$kind]:-0} not started (error returned at once), ${failed_n[$kind]:-0} failed in transfer (state 2), ${done_n[$kind]:-0} fetched over HTTP port 80 from the url's host (scheme and port not used)" \
    "$outcome" "wizard: \"Download of <product> update not started: url \"<url>\" Err:<n> \" or the transfer's \"${transfer_record:-An error occurred while sending an HTTP request...}\""
done

# The wizard itself: four bad urls through the download page, the finish
# page and the client log (a test case of the wizard's own tests).
timeout 300 wine "$wizard_tests" --gtest_filter='DownloadPageTest.UrlsThatCannotStartADownloadAreLoggedAndNothingIsInstalled' \
  < /dev/null > "$work/wizard.out" 2>&1
rc=$?
tr -d '\r' < "$work/wizard.out" | tail -n 5
outcome=FAIL
[ "$rc" = 0 ] && grep -aq '\[  PASSED  \] 1 test' "$work/wizard.out" && outcome=ok
row "the wizard with urls without host, port 99999, a line end, a 5000-character file name" 4 \
  "no crash; each download failed at once, nothing installed, the finish page says \"There was an error during download.\"" \
  "$outcome" "\"Download of Alpha update not started: url \"http:///files/alpha.exe\" Err:<n> \" (one such record per update)"
note "Urls with a NUL or a name Windows cannot store never reach the file system: they end as" \
  "\"not started\"; WinHTTP sends a line end in the path %-escaped. The client log shows a url with" \
  "control characters as '?' and cut after 1024 characters. A transfer that fails after its request" \
  "was sent leaves its (empty or partial) file in the download folder, reported as not downloaded" \
  "and never run. The file name is the url's last segment as the shell's path functions see it, so" \
  "a ':' or '\\' in the query also separates (\"x.msi?a=b/c\\d\" is stored as \"d\")."
