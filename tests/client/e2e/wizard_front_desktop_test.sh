#!/bin/bash
# The running wizard of ZelkoVuroUpdateGui.exe comes to the front on Wine's
# desktop while another program's window (Notepad, put in front with a real
# click) is in front:
#   - a click on the balloon "New Updates Found",
#   - "Check for Updates" from the tray menu (real input),
#   - a double click on the tray icon (real input);
# and each time there is still exactly one wizard. The wizard's sheet asks
# for a taskbar button (WS_EX_APPWINDOW). Screenshots go to the artifacts
# folder.
#
# Wine 8's shell sends no notice of a click on a balloon (Windows' shell
# sends the icon's callback message with NIN_BALLOONUSERCLICK), and its
# taskbar shows no button for an owned window, whatever its style: the
# desktop probe sends the balloon click's notice as Windows' shell does.
#
#   wizard_front_desktop_test.sh <ZelkoVuroUpdateGui.exe> <desktop probe.exe>
#                                <wizard probe.exe> <artifacts folder>
#
# The balloon shows when the client is told that a catalogue has arrived:
# the desktop probe sends the client's main window that announcement
# ("UWM_UPDATES_FOUND"), as the client's pipe reader does.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../../scripts/lib/e2e.sh"
output_through_file "$@"

desktop_probe_exe=$2 wizard_probe_exe=$3 artifacts=$4
. "$here/../../../scripts/lib/wizard_ui.sh"
mkdir -p "$artifacts"
rm -f "$artifacts"/front-*.png
scratch=$(mktemp -d)
mkdir -p "$scratch/zvu-wizard-front"
client="$scratch/zvu-wizard-front/ZelkoVuroUpdateGui.exe"
cp "$1" "$client"
cleanup() {
  prefix_pids 'zvu-wizard-front.ZelkoVuroUpdateGui\.exe' | xargs -r kill 2>/dev/null
  prefix_pids '[Nn]otepad\.exe' | xargs -r kill 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

shot() { shot_file "$artifacts/front-$1.png"; }
main_class='VuroUpdate_{93F58607-6692-42a5-B316-8BAD954921AB}'
client_count() { prefix_pids 'zvu-wizard-front.ZelkoVuroUpdateGui\.exe' | wc -l; }
one_wizard() { [ "$(wprobe count)" = 1 ]; }
# wizard_in_front: the wizard's sheet is the foreground window.
wizard_in_front() {
  local sheet
  read -r sheet _ <<< "$(wprobe sheet)"
  [ -n "${sheet:-}" ] && [ "$(dprobe foreground | cut -d' ' -f1)" = "$sheet" ]
}
notepad_window() { dprobe find Notepad | awk '$3 == 1' | head -n1; }
notepad_shown() { [ -n "$(notepad_window)" ]; }
notepad_in_front() { dprobe foreground | grep -q ' Notepad|'; }
# bring_notepad_forward: a click on Notepad's caption where the wizard does
# not cover it, as a user would; true once Notepad is the foreground window.
bring_notepad_forward() {
  local left top right wleft wtop wright wbottom x y
  read -r _ _ _ left top right _ <<< "$(notepad_window)"
  [ -n "${left:-}" ] || return 1
  read -r _ wleft wtop wright wbottom <<< "$(wprobe sheet)"
  y=$((top + 10))
  for ((x = left + 30; x < right - 80; x += 20)); do
    [ -n "${wleft:-}" ] && [ "$x" -ge "$wleft" ] && [ "$x" -lt "$wright" ] &&
      [ "$y" -ge "$wtop" ] && [ "$y" -lt "$wbottom" ] && continue
    xdotool mousemove "$x" "$y" click 1
    wait_for 10 notepad_in_front
    return
  done
  return 1
}
# click_balloon: the notice of a click on the balloon, as Windows' shell
# sends it to the icon's window: callback message 32778, icon id 147,
# NIN_BALLOONUSERCLICK (0x405).
click_balloon() { dprobe notify ZelkoVuroUpdate_TrayIconWindow 32778 147 0x405 > /dev/null; }
# The sheet's extended style, read by the wizard probe ("exstyle"): bit
# 0x40000 is WS_EX_APPWINDOW, the taskbar button.
has_taskbar_button() { [ $(( $(wprobe exstyle) & 0x40000 )) != 0 ]; }

# --- The client, its wizard, and another program in front ----------------------
rm -f "$client_log"
wine "$client" < /dev/null > /dev/null 2>&1 &
require "the client creates its hidden main window" wait_for 30 main_window
require "its icon is in the notification area" wait_for 10 tray_has_icon
require "\"Check for Updates\" in the tray menu opens the wizard" tray_menu_command 1
require "the wizard shows its welcome page" wait_for 20 page_is 0
check "the wizard has a taskbar button (WS_EX_APPWINDOW)" has_taskbar_button
wine notepad < /dev/null > /dev/null 2>&1 &
require "Notepad opens" wait_for 30 notepad_shown
require "a click on Notepad puts it in front of the wizard" bring_notepad_forward
shot 1-notepad-in-front

# --- A click on the balloon ---------------------------------------------------------
announce() { dprobe announce "$main_class" UWM_UPDATES_FOUND > /dev/null; }
require "the client is told of a catalogue" announce
check "the balloon \"New Updates Found\" shows" wait_for 15 balloon_shown 'New Updates Found'
require "a click on Notepad puts it in front again" bring_notepad_forward
check "... while the balloon is still up" balloon_shown 'New Updates Found'
shot 2-balloon
check "a click on the balloon (its notice as Windows' shell sends it)" click_balloon
check "... brings the wizard to the front" wait_for 10 wizard_in_front
check "... the one wizard, still on its welcome page" one_wizard
check "... which is still on its welcome page" page_is 0
shot 3-after-balloon

# --- "Check for Updates" with the wizard open -----------------------------------
require "Notepad in front again" bring_notepad_forward
check "\"Check for Updates\" from the tray menu" tray_menu_command 1
check "... brings the wizard to the front" wait_for 10 wizard_in_front
check "... and opens no second wizard" one_wizard
check "... which is still on its welcome page" page_is 0

# --- A double click on the icon ---------------------------------------------------
require "Notepad in front again" bring_notepad_forward
check "a double click on the tray icon" double_click_tray
check "... brings the wizard to the front" wait_for 10 wizard_in_front
check "... and opens no second wizard" one_wizard
shot 4-after-double-click

# --- The end -----------------------------------------------------------------------------
cancel
check "Cancel on the welcome page shows the error page" wait_for 10 page_is 5
finish
check "Finish closes the wizard" wait_for 10 wizard_gone
check "the client keeps running" [ "$(client_count)" = 1 ]

echo "# screenshots in $artifacts"
e2e_finish
