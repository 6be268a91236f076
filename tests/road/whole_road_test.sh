#!/bin/bash
# The road of one update on the real programs, from the package install to
# the finish page:
#   - msiexec /i of the update system's package starts the service, which
#     checks the catalogue, starts the client in the user's session and hands
#     it exactly the served bytes;
#   - the wizard opens on the selection page with the expected rows; Next
#     downloads and installs a Windows Installer package, a setup program and
#     a package that fails; the finish page tells each apart, the registry
#     holds the new version, the download folder the installers;
#   - a second catalogue, served later, reaches the still-running client on
#     the service's next check;
#   - net stop stops the service cleanly.
#
#   whole_road_test.sh <package .msi> <test installers folder> <setup program>
#                      <msiexec stand-in> <desktop probe> <wizard probe> <artifacts folder>
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/e2e.sh"
output_through_file "$@"
: "${ZVU_FIXTURE_DIR:?run through scripts/test.sh}"
package=$1 installers=$2 setup_exe=$3 standin_exe=$4
desktop_probe_exe=$5 wizard_probe_exe=$6 artifacts=$7
. "$here/../../scripts/lib/wizard_ui.sh"
. "$here/../../scripts/lib/road.sh"
mkdir -p "$artifacts"
rm -f "$artifacts"/*.png
scratch=$(mktemp -d)
shot() { shot_file "$artifacts/$1.png"; }

# The sample product's own package is installed by the wizard; it is removed
# again, before (an earlier test may have left it) and after.
remove_sample_product() {
  msiexec_run /x "$installers/alpha-1.1.msi" "$scratch/alpha-remove.log"
  remove_products Alpha Beta Gamma Delta
  download_folders | while read -r folder; do rm -rf "$folder"; done
}
cleanup() {
  remove_msiexec_standin
  msiexec_run /x "$package" "$scratch/package-remove.log"
  remove_service
  client_pids | xargs -r kill 2>/dev/null
  remove_sample_product
  rm -rf "$install_dir" "$scratch" "$ZVU_FIXTURE_DIR/update.xml" "$service_log" "$client_log"
}
trap cleanup EXIT
# Start from no client: a running one would keep the one the service starts
# from registering (one client per desktop).
client_pids | xargs -r kill 2>/dev/null
remove_sample_product
# An earlier run may have left the package installed, or the service entry:
# a service still marked for deletion makes the package's "/Service" fail.
msiexec_run /x "$package" "$scratch/package-remove-before.log"
remove_service
rm -rf "$install_dir"
rm -f "$service_log" "$client_log"
require "no service entry or process of an earlier test is left" wait_for 30 no_service_left

# The demo's catalogue, with one more update whose package fails to install.
awk '/<\/updates>/ { print "    <update><product>Gamma</product><description>Gamma 1.1</description>" \
  "<major>1</major><minor>1</minor><build>0</build><subbuild>0</subbuild>" \
  "<url>http://@UPDATE_HOST@/files/gamma-1.1.msi</url><size>@GAMMA_SIZE@</size>" \
  "<sha256>@GAMMA_SHA256@</sha256></update>" } { print }' \
  "$here/../../scripts/road/catalogue.xml" > "$scratch/catalogue.xml"
road_publish "$scratch/catalogue.xml" "$installers/alpha-1.1.msi" "$setup_exe" "$installers/broken.msi"
cp "$ZVU_FIXTURE_DIR/update.xml" "$scratch/served-1.xml"
set_installed Alpha 1 0 0 0
set_installed Beta 2 0 0 0
set_installed Gamma 1 0 0 0
set_installed Delta 4 3 0 0

# --- The package installs and starts the service; the hand-off ---------------
require "msiexec /i of the package succeeds" msiexec_run /i "$package" "$scratch/package-install.log"
require "the package started the service" wait_for 30 service_running
place_msiexec_standin "$standin_exe"
require "the service log holds \"m_strUpdateXml sent to client \\r\\n\"" wait_for 60 handed_over
require "the client's log holds the reception record of exactly the served bytes" \
  wait_for 20 client_received "$scratch/served-1.xml"
client_pid=$(client_pids)
check "one client runs, started by the service" [ "$(echo "$client_pid" | wc -w)" = 1 ]
# Until the wizard is done, the checks find nothing new, so that the only
# later hand-off is the second catalogue's.
serve() { printf '<?xml version="1.0"?>\r\n<catalogue><products>%s</products><updates>%s</updates></catalogue>\r\n' "$1" "$2" \
  > "$ZVU_FIXTURE_DIR/update.xml"; }
quillet='<product><product>IISQuillet</product><description>IISQuillet</description><major>3</major><minor>0</minor><build>0</build><subbuild>0</subbuild><size>1048576</size></product>'
serve "$quillet" ''

# --- The wizard: selection page, installs, finish page --------------------------
require "the wizard opens on the selection page" wait_for 30 page_is 2
shot 1-selection
expected_rows='0|2|IISQuillet 3.0
0|3|Alpha 1.1
1|0|Alpha 1.1.0.0
0|3|Beta 2.1
1|0|Beta 2.1.0.0
0|3|Gamma 1.1
1|0|Gamma 1.1.0.0'
rows=$(tree_rows)
check "the selection page shows the offered product and the three applicable updates, ticked" \
  [ "$rows" = "$expected_rows" ]
[ "$rows" = "$expected_rows" ] || printf '# rows shown:\n%s\n' "$rows"
next
require "Next starts the downloads" wait_for 20 page_is 3
require "the downloads and installations end on the finish page" wait_for 120 page_is 4
check "Alpha (Windows Installer package): \"Downloaded and installed succefully.\"" \
  result_line_is 0 'Downloaded and installed succefully.'
check "Beta (setup program): \"Downloaded and installed succefully.\"" \
  result_line_is 1 'Downloaded and installed succefully.'
check "Gamma (a package that fails): \"There was an error during installation.\"" \
  result_line_is 2 'There was an error during installation.'
shot 2-finish
finish
check "Finish closes the wizard" wait_for 10 wizard_gone
check "the registry holds Alpha's new version 1.1.0 ($(installed_version Alpha))" [ "$(installed_version Alpha)" = 1.1.0 ]
check "the registry holds Beta's new version 2.1.0 ($(installed_version Beta)), as its setup program leaves it" \
  [ "$(installed_version Beta)" = 2.1.0 ]
holds_installers() {
  local folder file
  folder=$(download_folders | head -n1)
  [ -n "$folder" ] || return 1
  for file in alpha-1.1.msi beta-2.1-setup.exe gamma-1.1.msi; do
    cmp -s "$folder/$file" "$ZVU_FIXTURE_DIR/files/$file" || return 1
  done
}
check "the download folder holds the three installers as served" holds_installers

# --- A second catalogue on a later check -------------------------------------------
serve "$quillet" "<update><product>Alpha</product><description>Alpha 1.2</description><major>1</major><minor>2</minor><build>0</build><subbuild>0</subbuild><url>http://$ZVU_UPDATE_HOST/files/alpha-1.2.msi</url><size>1024</size></update>"
cp "$ZVU_FIXTURE_DIR/update.xml" "$scratch/served-2.xml"
require "the next check hands the second catalogue over" wait_for 90 client_received "$scratch/served-2.xml"
check "... to the client that was already running ($client_pid)" [ "$(client_pids)" = "$client_pid" ]
check "the service logged two hand-offs" [ "$(handed_over_count)" = 2 ]
check "the wizard opens on the selection page again" wait_for 30 page_is 2
second_rows() { [ "$(tree_rows)" = $'0|2|IISQuillet 3.0\n0|3|Alpha 1.2\n1|0|Alpha 1.2.0.0' ]; }
check "... offering Alpha 1.2 over the installed 1.1" wait_for 5 second_rows
shot 3-second-catalogue

# --- net stop ------------------------------------------------------------------------
net_stop() { timeout 60 wine net stop "$service_name" < /dev/null > "$scratch/net-stop.txt" 2>&1; }
check "net stop succeeds" net_stop
check "the service is stopped" wait_for 10 service_stopped
check "the service process has ended" wait_for 10 no_service_process

explain_more() { echo "--- net stop:"; tr -d '\r' < "$scratch/net-stop.txt" 2>/dev/null; }
[ "$e2e_failures" = 0 ] || explain_failure
echo "# screenshots in $artifacts"
e2e_finish
