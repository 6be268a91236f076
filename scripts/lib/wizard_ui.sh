# Shell helpers that look at the update wizard on Wine's desktop and drive it
# with real mouse input (xdotool). Source it after e2e.sh, with
# desktop_probe_exe and wizard_probe_exe set to the two probe programs.

: "${wizard_probe_exe:?set wizard_probe_exe before sourcing wizard_ui.sh}"
. "$(dirname "${BASH_SOURCE[0]}")/desktop.sh"

# Wizard control ids: the sheet's buttons, the selection page's tree, the
# finish page's result list and result line.
wizard_next_id=12324
wizard_finish_id=12325
selection_tree_id=1019
result_list_id=1011
result_line_id=1036

wprobe() { wine "$wizard_probe_exe" "$@" 2>/dev/null | tr -d '\r'; }

wizard_gone() { [ -z "$(wprobe page)" ]; }
page_is() { [ "$(wprobe page | head -n1)" = "index $1" ]; }
control_text() { wprobe page | awk -F'|' -v id="$1" '$1 == id { print $3; exit }'; }
# page_shows <id> <class> <text>: the current page has that control with that text.
page_shows() { wprobe page | grep -qxF -- "$1|$2|$3"; }
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

# result_line_is <row> <text>: selects a row of the finish page's result list
# and waits until the result line shows the text (the wizard answers the
# click a moment later). Says what the line shows when it never does.
result_line_is() {
  click_control "$result_list_id" "$1" || return 1
  wait_for 5 result_line_shows "$2" && return 0
  echo "# row $1: the result line shows \"$(control_text "$result_line_id")\""
  return 1
}
result_line_shows() { [ "$(control_text "$result_line_id")" = "$1" ]; }

# result_line <row>: selects a row of the finish page's result list and
# prints the result line once it shows one; a row whose line reads like the
# one selected before can still show the earlier row's (use result_line_is
# where the text is known).
result_line() {
  click_control "$result_list_id" "$1" || return 1
  wait_for 5 result_line_filled
  control_text "$result_line_id"
}
result_line_filled() { [ -n "$(control_text "$result_line_id")" ]; }
