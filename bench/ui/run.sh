#!/bin/bash
# The tray client as a user meets it: from the client's start to its icon in
# the notification area, and from the tray menu's "Check for Updates" to the
# wizard's welcome page and, with Next pressed at once, to its selection page
# (the search fetches the catalogue from the fixture server). Each round starts
# a new client and ends it through its "Exit" command. No service runs, so the
# client finds no registration pipe and runs on alone, as it does then.
#   bench/ui/run.sh              (10 rounds; ZVU_BENCH_RUNS=<n> for another count)
# Uses the build in $ZVU_BUILD_DIR (default: build/), building what it needs first (bench/enter.sh).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ "${1:-}" != "--inside" ]; then
  exec "$root/bench/enter.sh" "$here/run.sh" ZelkoVuroUpdateGui ui_bench
fi

build=$2
. "$root/scripts/lib/e2e.sh"
runs=${ZVU_BENCH_RUNS:-10}
products_key='HKLM\Software\Zelko\Zvu Bench Alpha'
results="$ZVU_ENV_DIR/ui-results.txt"
mkdir -p "$install_dir"
cp "$build/client/ZelkoVuroUpdateGui.exe" "$install_dir/"
set_installed 'Zvu Bench Alpha' 2 3 10
serve_catalogue 'Zvu Bench Alpha' 2 3 11
# Output goes through a file: the client that "tray" starts inherits the
# program's standard output and would hold a pipe open for its lifetime.
bench() {
  wine "$build/bench/ui/ui_bench.exe" "$@" > "$ZVU_ENV_DIR/ui-bench.out" 2>/dev/null
  local rc=$?
  tr -d '\r' < "$ZVU_ENV_DIR/ui-bench.out"
  return $rc
}

# The first client start of a prefix also starts Wine's desktop and loads the
# common controls from disk: one round before the timed ones warms it up.
: > "$results"
for run in $(seq 0 "$runs"); do
  out=$(bench tray "$client_program"; sleep 1; bench select; bench close || true)
  sleep 2  # the taskbar repaints without the icon before the next round takes its picture
  if grep -q '^failed' <<< "$out"; then
    echo "round $run failed:" >&2
    echo "$out" >&2
    end_clients
    exit 1
  fi
  line=$(awk '{ v[$1] = $2 } END { printf "%s %s %s %s %s", v["window"], v["tray"], v["welcome"], v["next-to-selection"], v["selection"] }' <<< "$out")
  if [ "$run" = 0 ]; then
    echo "warm-up round: $line"
  else
    echo "$line" >> "$results"
    echo "round $run: main window $(cut -d' ' -f1 <<< "$line") ms, icon $(cut -d' ' -f2 <<< "$line") ms;" \
      "welcome page $(cut -d' ' -f3 <<< "$line") ms, Next to selection $(cut -d' ' -f4 <<< "$line") ms," \
      "command to selection $(cut -d' ' -f5 <<< "$line") ms"
  fi
done

stats() {
  awk -v col="$1" '{ print $col }' "$results" | sort -n \
    | awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
             printf "%7.0f / %7.0f / %7.0f ms", v[1], m, v[NR] }'
}
echo "over $runs rounds, min / median / max:"
row() { printf '  %-52s %s\n' "$1" "$(stats "$2")"; }
row "client start to its hidden main window" 1
row "client start to the icon in the notification area" 2
row "\"Check for Updates\" to the welcome page" 3
row "Next on the welcome page to the selection page" 4
row "\"Check for Updates\" to the selection page" 5
wine reg delete "$products_key" /f > /dev/null 2>&1 || true
