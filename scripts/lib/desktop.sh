# Shell helpers that look at Wine's desktop from outside the programs (the
# desktop probe), take screenshots and drive the tray icon with real mouse
# input (xdotool). Source it after e2e.sh, with desktop_probe_exe set to the
# desktop probe program.

: "${desktop_probe_exe:?set desktop_probe_exe before sourcing desktop.sh}"

dprobe() { wine "$desktop_probe_exe" "$@" 2>/dev/null | tr -d '\r'; }

# visible_windows: every visible top-level window, "<class>|<title>" after its place.
visible_windows() { dprobe list | awk '$3 == 1'; }

# main_window: the tray client's hidden main window exists.
main_window() { dprobe find 'VuroUpdate_{93F58607-6692-42a5-B316-8BAD954921AB}' | grep -q 'Zelko Vuro Update'; }

# locate_tray: sets icon_x and icon_y to the tray icon, the rightmost 20
# pixels of the taskbar (Wine's notification area is a small window of its
# own when the desktop has no taskbar), and bar_visible, bar_left, bar_top,
# bar_right, bar_bottom to the taskbar's window.
locate_tray() {
  read -r _ _ bar_visible bar_left bar_top bar_right bar_bottom _ <<< "$(dprobe taskbar)"
  icon_x=$((${bar_right:-0} - 10))
  icon_y=$(((${bar_top:-0} + ${bar_bottom:-0}) / 2))
}

# tray_has_icon: the notification area is shown, wide enough for an icon.
tray_has_icon() { locate_tray; [ "${bar_visible:-0}" = 1 ] && [ $((bar_right - bar_left)) -ge 16 ]; }

menu_shown() { dprobe menus | grep -q .; }
# open_tray_menu: right click on the tray icon; true once the menu shows.
open_tray_menu() {
  locate_tray
  xdotool mousemove "$icon_x" "$icon_y" click 3
  wait_for 5 menu_shown
}
# menu_item <n of 3>: the centre of the nth item of the visible menu.
menu_item() {
  local left top right bottom
  read -r _ _ _ left top right bottom _ <<< "$(dprobe menus | head -n1)"
  echo "$(((left + right) / 2)) $((top + (bottom - top) * (2 * $1 - 1) / 6))"
}
# tray_menu_command <n of 3>: opens the tray menu and clicks its nth item
# ("Check for Updates", "About", "Exit").
tray_menu_command() {
  open_tray_menu || return 1
  local x y
  read -r x y <<< "$(menu_item "$1")"
  xdotool mousemove "$x" "$y" click 1
}
# double_click_tray: a double click on the tray icon (opens the wizard).
double_click_tray() {
  locate_tray
  xdotool mousemove "$icon_x" "$icon_y" click --repeat 2 --delay 80 1
}

# balloon_shown <text>: a balloon (a visible tooltip window) shows the text.
balloon_shown() { dprobe tooltips | grep -qF "|$1"; }

# shot_file <file.png>: a screenshot of the whole screen once it has stopped
# changing (two pictures in a row alike, at most 5 s), so that the picture
# shows the windows as painted, not half-way.
shot_file() {
  local raw=$1.ppm previous=$1.previous.ppm rc
  import -window root "ppm:$raw" || return 1
  wait_for -p 0.2 5 screen_still "$raw" "$previous"
  convert "ppm:$raw" "$1"
  rc=$?
  rm -f "$raw" "$previous"
  return $rc
}
screen_still() {  # screen_still <picture> <previous picture>
  mv -f "$1" "$2"
  import -window root "ppm:$1" && cmp -s "$1" "$2"
}
