#!/bin/bash
# ZelkoVuroUpdateGui.exe on Wine's desktop, driven with real mouse input.
#
#   client_desktop_test.sh <ZelkoVuroUpdateGui.exe> <scripted service.exe> <desktop probe.exe>
#                          <artifacts folder> <ZelkoVuroUpdate.exe>
#
# A scripted service, which is not the update service, serves the
# registration pipe: the client refuses it. A second start asks the running
# client to register again: it refuses a second stand-in, then registers with
# the real service. Screenshots of the tray icon with its tooltip, the menu
# and the About box go to the artifacts folder.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../../scripts/lib/e2e.sh"
output_through_file "$@"

artifacts=$4
mkdir -p "$artifacts"
scratch=$(mktemp -d)
trap 'remove_service; prefix_pids "zvu-client-desktop" | xargs -r kill 2>/dev/null; rm -rf "$scratch"' EXIT
mkdir -p "$scratch/zvu-client-desktop"
client="$scratch/zvu-client-desktop/ZelkoVuroUpdateGui.exe"
service="$scratch/zvu-client-desktop/zvu_scripted_service.exe"
cp "$1" "$client"
cp "$2" "$service"
desktop_probe_exe=$3
. "$here/../../../scripts/lib/desktop.sh"

desktop_client_pids() { prefix_pids 'zvu-client-desktop.ZelkoVuroUpdateGui\.exe'; }
client_count() { desktop_client_pids | wc -l; }
registration_failed() { grep -q '^registration-failed' "$1" 2>/dev/null; }
refusals() { count_in "$client_log" 'Registration refused: pipe server PID: '; }
refusals_are() { [ "$(refusals)" = "$1" ]; }
ready() { grep -q '^ready' "$1" 2>/dev/null; }
start_scripted_service() {  # start_scripted_service <record>: a scripted service that takes one registration
  rm -f "$1"
  wine "$service" --record "$(winpath "$1")" < /dev/null > /dev/null 2>&1 &
  wait_for 15 ready "$1"
}
shot() { shot_file "$artifacts/$1.png"; }
# tray_picture <file>: the icon's place in the notification area.
tray_picture() { import -window root -crop "20x20+$((bar_right - 20))+$bar_top" +repage "ppm:$1"; }
# icon_painted: the icon's place shows more than one colour, and the same
# picture twice in a row.
icon_painted() {
  mv -f "$scratch/tray-icon.ppm" "$scratch/tray-icon.previous.ppm" 2>/dev/null
  tray_picture "$scratch/tray-icon.ppm" && cmp -s "$scratch/tray-icon.ppm" "$scratch/tray-icon.previous.ppm" &&
    [ "$(identify -format %k "$scratch/tray-icon.ppm")" -gt 1 ]
}
tray_empty_or_gone() {
  locate_tray
  [ "${bar_visible:-0}" = 0 ] || { tray_picture "$scratch/tray-now.ppm" && ! cmp -s "$scratch/tray-icon.ppm" "$scratch/tray-now.ppm"; }
}


# --- Start: hidden main window, tray icon; a stand-in service is refused ------
check "scripted service waits for a client" start_scripted_service "$scratch/first.txt"
rm -f "$client_log"
wine "$client" < /dev/null > /dev/null 2>&1 &
check "client creates its hidden main window" wait_for 20 main_window
check "client refuses the stand-in, which is not the update service, and logs why" wait_for 10 refusals_are 1
check "... which gets no registration and no handle" wait_for 10 registration_failed "$scratch/first.txt"
check "one client process" [ "$(client_count)" = 1 ]
check "the icon appears in the notification area" wait_for 10 tray_has_icon
check "... and is painted" wait_for -p 0.2 10 icon_painted

xdotool mousemove "$icon_x" "$icon_y"
tooltip_shown() { dprobe tooltips | grep -q '|Zelko Vuro Update$'; }
check "hovering shows the tooltip \"Zelko Vuro Update\"" wait_for 10 tooltip_shown
shot tray-tooltip
xdotool mousemove 500 300

# --- A second start ends at once; the running client tries the pipe again ------
check "second scripted service waits" start_scripted_service "$scratch/second.txt"
before=$(date +%s%N)
timeout 30 wine "$client" < /dev/null > /dev/null 2>&1
second_rc=$?
second_ms=$((($(date +%s%N) - before) / 1000000))
check "second start ends at once (${second_ms} ms, exit code $second_rc)" [ "$second_rc" = 0 -a "$second_ms" -lt 10000 ]
check "still one client process" [ "$(client_count)" = 1 ]
check "the running client, asked by the second start, refuses the second stand-in too" wait_for 10 refusals_are 2
check "... which gets no registration either" wait_for 10 registration_failed "$scratch/second.txt"
prefix_pids 'zvu-client-desktop.zvu_scripted_service\.exe' | xargs -r kill 2>/dev/null

# --- With the real service running, a second start makes the client register --
mkdir -p "$install_dir"
cp "$5" "$install_dir/ZelkoVuroUpdate.exe"
require "/Service installs the service" timeout 60 wine "$service_program" /Service < /dev/null > /dev/null 2>&1
rm -f "$service_log"
require "net start starts it" net_command start "$service_name"
service_took_client() { grep -aqF 'Client registered PID: ' "$service_log" 2>/dev/null; }
timeout 30 wine "$client" < /dev/null > /dev/null 2>&1
third_rc=$?
check "a second start ends at once (exit code $third_rc)" [ "$third_rc" = 0 -a "$(client_count)" = 1 ]
check "the running client registers with the service" wait_for 20 service_took_client
check "... once, and is not refused" [ "$(count_in "$service_log" 'Client registered PID: ')" = 1 -a "$(refusals)" = 2 ]
remove_service

# --- The menu: "Check for Updates" (bold), "About", "Exit" --------------------
check "right click opens the menu" open_tray_menu
shot tray-menu
read -r about_x about_y <<< "$(menu_item 2)"
xdotool mousemove "$about_x" "$about_y" click 1
about_shown() { dprobe titled 'About Vuro Update' | grep -q .; }
check "\"About\" opens the About box" wait_for 10 about_shown
shot about-box
dprobe command 'About Vuro Update' 1 > /dev/null
about_gone() { ! about_shown; }
check "OK closes the About box" wait_for 10 about_gone

check "right click opens the menu again" open_tray_menu
read -r exit_x exit_y <<< "$(menu_item 3)"
xdotool mousemove "$exit_x" "$exit_y" click 1
client_gone() { [ "$(client_count)" = 0 ]; }
check "\"Exit\" ends the process" wait_for 10 client_gone
xdotool mousemove 500 300
check "\"Exit\" removed the icon" wait_for 5 tray_empty_or_gone

echo "# screenshots in $artifacts"
e2e_finish
