#!/bin/bash
# Second half of scripts/run.sh, inside the isolated environment.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$1

name=ZelkoVuroUpdate
install_dir="$WINEPREFIX/drive_c/Program Files/Zelko Vuro Update"
program='C:\Program Files\Zelko Vuro Update\ZelkoVuroUpdate.exe'
log="$WINEPREFIX/drive_c/VuroUpdateService.log"
client_log="$WINEPREFIX/drive_c/VurUpdateGui.log"
shots="$build/road-screenshots"

step() { printf '\n== %s\n' "$*"; }
. "$here/../../tests/support/e2e.sh"  # wait_for, prefix_pids
handed_over() { grep -aq 'm_strUpdateXml sent to client' "$log" 2>/dev/null; }

step "Update server: catalogue and installer at https://$ZVU_UPDATE_HOST/update/"
cp "$build/tests/fixtures/installers/alpha-1.1.msi" "$ZVU_FIXTURE_DIR/files/" 2>/dev/null || true
# The installer is built with the tests, so its size and digest are filled in here.
alpha="$ZVU_FIXTURE_DIR/files/alpha-1.1.msi"
sed -e "s/@UPDATE_HOST@/$ZVU_UPDATE_HOST/" -e "s/@ALPHA_SIZE@/$(stat -c %s "$alpha" 2>/dev/null || echo 0)/" \
    -e "s/@ALPHA_SHA256@/$(sha256sum "$alpha" 2>/dev/null | cut -c1-64)/" "$here/catalogue.xml" > "$ZVU_FIXTURE_DIR/update.xml"
sed -n '/<updates>/,/<\/updates>/p' "$ZVU_FIXTURE_DIR/update.xml"

step "The catalogue as ZelkoVuroCatalogue.exe checks it"
wine "$build/tools/catalogue_checker/ZelkoVuroCatalogue.exe" check "Z:$(echo "$ZVU_FIXTURE_DIR/update.xml" | tr / '\\')" \
  --installed Alpha=1.0.0.0 < /dev/null 2>&1 | tr -d '\r'

step "Installed product: HKLM\\Software\\Zelko\\Alpha 1.0.0"
for value in Major:1 Minor:0 build:0 subbuild:0; do
  wine reg add 'HKLM\Software\Zelko\Alpha' /v "${value%%:*}" /t REG_DWORD /d "${value##*:}" /f > /dev/null 2>&1
done
wine reg query 'HKLM\Software\Zelko\Alpha' 2>/dev/null | tr -d '\r' | grep REG_

step "Install the service and its client in C:\\Program Files\\Zelko Vuro Update"
mkdir -p "$install_dir"
cp "$build/service/host/ZelkoVuroUpdate.exe" "$install_dir/"
cp "$build/client/ZelkoVuroUpdateGui.exe" "$install_dir/"
rm -f "$log" "$client_log"
mkdir -p "$shots"
wine "$program" /Service < /dev/null > /dev/null 2>&1 && echo "registered: $program /Service"

step "Start the service"
started=$(date +%s)
timeout 60 wine net start "$name" < /dev/null 2>&1 | tr -d '\r' | grep -v '^$'

step "Waiting for the service to check for updates and hand the catalogue to a client"
if wait_for 60 handed_over; then
  result=0
  echo "catalogue handed to a client after $(($(date +%s) - started)) s"
else
  result=1
  echo "no hand-off within 60 s"
fi

step "Service log (c:\\VuroUpdateService.log), without the transfer records"
tr -d '\r' < "$log" | grep -v '^ ' | grep -v '^$'

step "The client's log (c:\\VurUpdateGui.log): the catalogue it received"
tr -d '\r' < "$client_log" 2>/dev/null | grep -v '^ [A-Z]' | head -c 1500; echo

step "The client's balloon on the desktop"
sleep 3
import -window root "$shots/balloon.png" && echo "screenshot: $shots/balloon.png"

step "Stop and remove the service"
timeout 60 wine net stop "$name" < /dev/null 2>&1 | tr -d '\r' | grep -v '^$'
prefix_pids '^ZelkoVuroUpdateGui\.exe' | xargs -r kill 2>/dev/null
wine "$program" /UnregServer < /dev/null > /dev/null 2>&1 && echo "unregistered"
exit $result
