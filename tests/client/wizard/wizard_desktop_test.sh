#!/bin/bash
# The update wizard of the real ZelkoVuroUpdateGui.exe on Wine's desktop,
# driven with real mouse input (xdotool).
#
#   wizard_desktop_test.sh <client.exe> <service.exe> <msiexec stand-in> <setup program>
#                          <alpha-1.1.msi> <scripted service> <desktop probe> <wizard probe>
#                          <artifacts folder>
#
# 1. From the tray: "Check for Updates" -> welcome -> search -> selection ->
#    download and install of a Windows Installer package (alpha-1.1.msi) and
#    a setup program -> finish page; the registry shows Alpha 1.1.
# 2. Cancel on the welcome page: "Vuro Update was interrupted by user.".
# 3. Cancel during a download: the finish page reports it.
# 4. A stand-in service (not the update service) is refused: it gets no
#    registration, so its unparsable catalogue never reaches the client.
# 5. A catalogue handed over by the real service: balloon, selection page.
# A screenshot of every page goes to the artifacts folder.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../../scripts/lib/e2e.sh"
output_through_file "$@"

client_exe=$1 service_exe=$2 standin_exe=$3 setup_exe=$4 alpha_msi=$5
scripted_exe=$6 desktop_probe_exe=$7 wizard_probe_exe=$8 artifacts=$9
. "$here/../../../scripts/lib/wizard_ui.sh"
. "$here/../../../scripts/lib/msiexec_standin.sh"
mkdir -p "$artifacts"
rm -f "$artifacts"/*.png

scripted_pattern='^Z:.*zvu_scripted_service\.exe'
mkdir -p "$install_dir"
cp "$client_exe" "$install_dir/ZelkoVuroUpdateGui.exe"
cp "$service_exe" "$install_dir/ZelkoVuroUpdate.exe"
# The client starts the system folder's msiexec: the stand-in takes its place there.
place_msiexec_standin "$standin_exe"
cp "$alpha_msi" "$ZVU_FIXTURE_DIR/files/alpha-1.1.msi"
cp "$setup_exe" "$ZVU_FIXTURE_DIR/files/beta-setup.exe"
head -c 2097152 /dev/zero > "$ZVU_FIXTURE_DIR/files/slow.bin"

cleanup() {
  remove_service
  remove_msiexec_standin
  # The wizard installed Alpha through Wine's msiexec: the installer tests
  # that install it too must find it removed.
  msiexec_run /x "$alpha_msi" "$ZVU_ENV_DIR/wizard-alpha-remove.log"
  end_clients
  prefix_pids "$scripted_pattern" | xargs -r kill 2>/dev/null
  remove_products Alpha Beta
  rm -rf "$install_dir" "$ZVU_FIXTURE_DIR/update.xml"
}
trap cleanup EXIT

shot() { shot_file "$artifacts/$1.png"; }

wizard_update() {  # wizard_update <product> <major> <minor> <build> <path on the server>
  update_xml "$1" "$2" "$3" "$4" "$5" 1500000 "Update of $1.\\nSee http://www.zelko.example/$1 for what is new."
}
omega='<product><product>Omega</product><description>Our new product.</description><major>1</major><minor>0</minor><build>0</build><subbuild>0</subbuild><size>4096</size></product>'

client_count() { client_pids | wc -l; }
check_for_updates() { tray_menu_command 1; }  # from the tray menu, as a user would
exit_client() { tray_menu_command 3; }
client_gone() { [ "$(client_count)" = 0 ]; }

remove_products Alpha Beta
set_installed Alpha 1 0 0
set_installed Beta 1 0 0
serve_updates "$omega" "$(wizard_update Alpha 1 1 0 /files/alpha-1.1.msi)$(wizard_update Beta 1 1 0 /files/beta-setup.exe)"

# --- 1. From the tray to installed updates ------------------------------------
(cd "$install_dir" && exec wine "$client_program" < /dev/null > /dev/null 2>&1 &)
require "client starts with its hidden main window" wait_for 30 main_window
check "its icon is in the notification area" wait_for 10 tray_has_icon
check "\"Check for Updates\" in the tray menu opens the wizard" check_for_updates
check "the wizard opens on the welcome page" wait_for 20 page_is 0
check "welcome lists the installed products" [ "$(wprobe page | grep -c '^1023|')" = 1 ]
shot 1-welcome
check "a second \"Check for Updates\" opens no second wizard" check_for_updates
no_menu() { ! menu_shown; }
wait_for 5 no_menu  # the command has been taken
check "... and the one wizard is still on its welcome page" page_is 0
next
check "Next on the welcome page searches and leads to the selection page" wait_for 30 page_is 2
shot 2-selection
next
check "Next on the selection page starts the downloads" wait_for 10 page_is 3
shot 3-download
check "the downloads and installations end on the finish page" wait_for 150 page_is 4
check "Alpha (Windows Installer package): \"Downloaded and installed succefully.\"" \
  result_line_is 0 'Downloaded and installed succefully.'
shot 4-finish
check "Beta (setup program): \"Downloaded and installed succefully.\"" \
  result_line_is 1 'Downloaded and installed succefully.'
check "the registry shows Alpha 1.1" [ "$(installed_version Alpha)" = 1.1.0 ]
finish
check "Finish closes the wizard" wait_for 10 wizard_gone
check "the client keeps running" [ "$(client_count)" = 1 ]

# --- 2. Cancel on the welcome page ---------------------------------------------
double_click_tray
check "a double click on the icon opens the wizard" wait_for 20 page_is 0
cancel
check "Cancel on the welcome page shows the error page" wait_for 10 page_is 5
check "... with \"Vuro Update was interrupted by user.\"" page_shows -1 Static 'Vuro Update was interrupted by user.'
check "... and Finish" wait_for 5 button_enabled 12325
shot 5-interrupted
finish
check "Finish closes it" wait_for 10 wizard_gone

# --- 3. Cancel during a download -------------------------------------------------
set_installed Alpha 1 1 0
serve_updates "$omega" "$(wizard_update Beta 1 1 0 /fault/drip/slow.bin)"
double_click_tray
check "the wizard opens again" wait_for 20 page_is 0
next
check "selection page" wait_for 30 page_is 2
next
check "download page" wait_for 10 page_is 3
downloading() { control_text 1034 | grep -q ' Kb of '; }
check "the slow download shows its progress" wait_for 20 downloading
shot 6-downloading
cancel
check "Cancel during the download leads to the finish page" wait_for 10 page_is 4
check "... which reports \"There was an error during download.\"" \
  result_line_is 0 'There was an error during download.'
shot 7-cancelled
finish
check "Finish closes it" wait_for 10 wizard_gone

# --- 4. A stand-in service that is not the update service is refused ---------------
exit_client
check "Exit ends the client" wait_for 15 client_gone
record="$ZVU_ENV_DIR/wizard-scripted.txt"
rm -f "$record"
garbage=$(printf 'this is no catalogue <' | od -An -tx1 -v | tr -d ' \n')ff
wine "$scripted_exe" --record "$(winpath "$record")" "w$garbage" < /dev/null > /dev/null 2>&1 &
require "the stand-in service waits for the client" wait_for 15 grep -qs '^ready' "$record"
rm -f "$client_log"
(cd "$install_dir" && exec wine "$client_program" < /dev/null > /dev/null 2>&1 &)
stand_in_refused() { grep -aqF 'Registration refused: pipe server PID: ' "$client_log" 2>/dev/null; }
check "the client refuses the stand-in and logs why" wait_for 30 stand_in_refused
check "... which gets no registration and no handle" wait_for 10 grep -qs '^registration-failed' "$record"
prefix_pids "$scripted_pattern" | xargs -r kill 2>/dev/null
check "the client shows its icon again" wait_for 10 tray_has_icon
exit_client
check "Exit ends the client again" wait_for 15 client_gone

# --- 5. A catalogue handed over by the real service ----------------------------------
set_installed Beta 1 0 0
serve_updates "$omega" "$(wizard_update Beta 1 1 0 /files/beta-setup.exe)"
require "/Service installs the service" timeout 60 wine "$service_program" /Service < /dev/null > /dev/null 2>&1
require "net start starts it" net_command start "$service_name"
# No client runs: the service starts it in the user's session, and hands it
# the catalogue once it has registered.
check "the service starts the client and hands it the catalogue: the wizard opens on the selection page" wait_for 60 page_is 2
shot 9-handed-over
cancel
check "Cancel there shows the interrupted page" wait_for 10 page_is 5
finish
check "Finish closes it" wait_for 10 wizard_gone

echo "# screenshots in $artifacts"
e2e_finish
