#!/bin/bash
# ZelkoVuroUpdateGui.exe on Wine's desktop, driven with real mouse input.
#
#   client_desktop_test.sh <ZelkoVuroUpdateGui.exe> <scripted service.exe> <desktop probe.exe> <artifacts folder>
#
# A scripted service takes the client's registration. Screenshots of the
# tray icon with its tooltip, the menu and the About box go to the artifacts
# folder.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../support/e2e.sh"

artifacts=$4
mkdir -p "$artifacts"
scratch=$(mktemp -d)
trap 'prefix_pids "zvu-client-desktop" | xargs -r kill 2>/dev/null; rm -rf "$scratch"' EXIT
mkdir -p "$scratch/zvu-client-desktop"
client="$scratch/zvu-client-desktop/ZelkoVuroUpdateGui.exe"
service="$scratch/zvu-client-desktop/zvu_scripted_service.exe"
cp "$1" "$client"
cp "$2" "$service"
probe_exe=$3
probe() { wine "$probe_exe" "$@" 2>/dev/null | tr -d '\r'; }
winpath() { echo "Z:$1" | tr / '\\'; }

client_pids() { prefix_pids 'zvu-client-desktop.ZelkoVuroUpdateGui\.exe'; }
client_count() { client_pids | wc -l; }
main_window() { probe find 'VuroUpdate_{93F58607-6692-42a5-B316-8BAD954921AB}' | grep -q 'Zelko Vuro Update'; }
registered() { grep -q '^registered' "$1" 2>/dev/null; }
ready() { grep -q '^ready' "$1" 2>/dev/null; }
start_service() {  # start_service <record>: a scripted service that takes one registration
  rm -f "$1"
  wine "$service" --record "$(winpath "$1")" < /dev/null > /dev/null 2>&1 &
  wait_for 15 ready "$1"
}
shot() { import -window root "$artifacts/$1.png"; }
# The tray icon: the rightmost 20 pixels of the taskbar.
read -r _ _ _ bar_left bar_top bar_right bar_bottom _ <<< "$(probe taskbar)"
icon_x=$((bar_right - 10))
icon_y=$(((bar_top + bar_bottom) / 2))
tray_crop() { import -window root -crop "24x$((bar_bottom - bar_top))+$((bar_right - 24))+$bar_top" +repage "$1"; }
tray_crop "$scratch/tray-before.png"
same_picture() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; }

# menu_item <n of 3>: the centre of the nth item of the visible menu.
menu_item() {
  local left top right bottom
  read -r _ _ _ left top right bottom _ <<< "$(probe menus | head -n1)"
  echo "$(((left + right) / 2)) $((top + (bottom - top) * (2 * $1 - 1) / 6))"
}
open_menu() {
  xdotool mousemove "$icon_x" "$icon_y" click 3
  wait_for 5 bash -c "wine '$probe_exe' menus > /dev/null 2>&1"
}

# --- Start: hidden main window, tray icon, registration ----------------------
check "scripted service waits for a client" start_service "$scratch/first.txt"
wine "$client" < /dev/null > /dev/null 2>&1 &
check "client creates its hidden main window" wait_for 20 main_window
check "client registers with the service" wait_for 10 registered "$scratch/first.txt"
check "one client process" [ "$(client_count)" = 1 ]
sleep 1
tray_crop "$scratch/tray-icon.png"
check "the icon appears in the notification area" bash -c "! [ \"\$(compare -metric AE '$scratch/tray-before.png' '$scratch/tray-icon.png' null: 2>&1)\" = 0 ]"

xdotool mousemove "$icon_x" "$icon_y"
tooltip_shown() { probe tooltips | grep -q '|Zelko Vuro Update$'; }
check "hovering shows the tooltip \"Zelko Vuro Update\"" wait_for 10 tooltip_shown
shot tray-tooltip
xdotool mousemove 500 300

# --- A second start ends at once and does not register -------------------------
check "second scripted service waits" start_service "$scratch/second.txt"
before=$(date +%s%N)
timeout 30 wine "$client" < /dev/null > /dev/null 2>&1
second_rc=$?
second_ms=$((($(date +%s%N) - before) / 1000000))
check "second start ends at once (${second_ms} ms, exit code $second_rc)" [ "$second_rc" = 0 -a "$second_ms" -lt 10000 ]
check "still one client process" [ "$(client_count)" = 1 ]
sleep 1
check "second start did not register" bash -c "! grep -q '^registered' '$scratch/second.txt'"
prefix_pids 'zvu-client-desktop.zvu_scripted_service\.exe' | xargs -r kill 2>/dev/null

# --- The menu: "Check for Updates" (bold), "About", "Exit" --------------------
check "right click opens the menu" open_menu
sleep 0.5
shot tray-menu
read -r about_x about_y <<< "$(menu_item 2)"
xdotool mousemove "$about_x" "$about_y" click 1
about_shown() { probe titled 'About Vuro Update' | grep -q .; }
check "\"About\" opens the About box" wait_for 10 about_shown
sleep 0.5
shot about-box
probe command 'About Vuro Update' 1 > /dev/null
check "OK closes the About box" wait_for 10 bash -c "! wine '$probe_exe' titled 'About Vuro Update' > /dev/null 2>&1"

check "right click opens the menu again" open_menu
read -r exit_x exit_y <<< "$(menu_item 3)"
xdotool mousemove "$exit_x" "$exit_y" click 1
client_gone() { [ "$(client_count)" = 0 ]; }
check "\"Exit\" ends the process" wait_for 10 client_gone
xdotool mousemove 500 300
sleep 0.5
tray_crop "$scratch/tray-after.png"
check "\"Exit\" removed the icon" same_picture "$scratch/tray-before.png" "$scratch/tray-after.png"

echo "# screenshots in $artifacts"
e2e_finish
