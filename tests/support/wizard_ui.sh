# Shell helpers that look at the update wizard on Wine's desktop and drive it
# with real mouse input (xdotool). Source it after e2e.sh, with
# desktop_probe_exe and wizard_probe_exe set to the two probe programs.

: "${desktop_probe_exe:?set desktop_probe_exe before sourcing wizard_ui.sh}"
: "${wizard_probe_exe:?set wizard_probe_exe before sourcing wizard_ui.sh}"

# Wizard control ids: the sheet's buttons, the selection page's tree, the
# finish page's result list and result line.
wizard_next_id=12324
wizard_finish_id=12325
selection_tree_id=1019
result_list_id=1011
result_line_id=1036

dprobe() { wine "$desktop_probe_exe" "$@" 2>/dev/null | tr -d '\r'; }
wprobe() { wine "$wizard_probe_exe" "$@" 2>/dev/null | tr -d '\r'; }

wizard_gone() { [ -z "$(wprobe page)" ]; }
page_is() { [ "$(wprobe page | head -n1)" = "index $1" ]; }
control_text() { wprobe page | awk -F'|' -v id="$1" '$1 == id { print $3; exit }'; }
button_enabled() { wprobe page | grep -q "^button $1 1 1$"; }
# tree_rows: the selection page's rows as "<depth>|<picture>|<text>" (pictures:
# 0 checked box, 1 unchecked box, 2 product on offer, 3 installed heading).
tree_rows() { wprobe tree "$selection_tree_id"; }

click_control() {  # click_control <id> [row]: the centre of a control, or of a 32-pixel list row
  local left top right bottom y
  read -r left top right bottom <<< "$(wprobe rect "$1")"
  [ -n "${left:-}" ] || return 1
  y=$(((top + bottom) / 2))
  [ -n "${2:-}" ] && y=$((top + 2 + 32 * $2 + 16))
  xdotool mousemove "$(((left + right) / 2))" "$y" click 1
}
next() { click_control "$wizard_next_id"; }
finish() { click_control "$wizard_finish_id"; }
cancel() { click_control 2; }

# result_line <row>: selects a row of the finish page's result list and
# prints the result line it shows.
result_line() {
  click_control "$result_list_id" "$1" || return 1
  sleep 0.5
  control_text "$result_line_id"
}
