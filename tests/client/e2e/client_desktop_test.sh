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
# The tray icon: the rightmost 20 pixels of the taskbar (Wine's notification
# area is a small window of its own when the desktop has no taskbar).
locate_tray() {
  read -r _ _ bar_visible bar_left bar_top bar_right bar_bottom _ <<< "$(probe taskbar)"
  icon_x=$((${bar_right:-0} - 10))
  icon_y=$(((${bar_top:-0} + ${bar_bottom:-0}) / 2))
}
tray_has_icon() { locate_tray; [ "${bar_visible:-0}" = 1 ] && [ $((bar_right - bar_left)) -ge 16 ]; }
tray_empty_or_gone() { locate_tray; [ "${bar_visible:-0}" = 0 ] || [ "$(compare -metric AE "$scratch/tray-icon.png" <(import -window root -crop "20x20+$((bar_right - 20))+$bar_top" +repage png:-) null: 2>&1)" != 0 ]; }

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
check "the icon appears in the notification area" wait_for 10 tray_has_icon
sleep 1
import -window root -crop "20x20+$((bar_right - 20))+$bar_top" +repage "$scratch/tray-icon.png"

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
check "\"Exit\" removed the icon" wait_for 5 tray_empty_or_gone

echo "# screenshots in $artifacts"
e2e_finish
