#!/bin/bash
# Hand-off latency of the update service: from `net start` to the catalogue at
# a client that registers right after the start, with a catalogue that holds an
# applicable update. The first check runs on the first 5-second timer tick.
#   bench/service/handoff.sh     (10 runs; ZVU_BENCH_RUNS=<n> for another count)
# Uses the build in $ZVU_BUILD_DIR (default: build/), building what it needs first (bench/enter.sh).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ "${1:-}" != "--inside" ]; then
  exec "$root/bench/enter.sh" "$here/handoff.sh" ZelkoVuroUpdate zvu_gui_stand_in zvu_pipe_client
fi

build=$2
. "$here/../../scripts/lib/service.sh"
runs=${ZVU_BENCH_RUNS:-10}
scratch="$ZVU_ENV_DIR/handoff"
mkdir -p "$scratch"
cp "$build/tests/service/pipe/zvu_pipe_client.exe" "$scratch/zvu-bench-client.exe"
record="$scratch/client.record.txt"
results="$scratch/results.txt"

install_service "$build"
write_catalogue 11
expected="catalogue $(od -An -tx1 -v "$ZVU_FIXTURE_DIR/update.xml" | tr -d ' \n')"

# start_client: starts the test client, which registers at once; its pid is kept to end it.
start_client() {
  rm -f "$record"
  wine "$scratch/zvu-bench-client.exe" --record "$(winpath "$record")" --lifetime 60000 \
    < /dev/null > /dev/null 2>&1 &
  client=$!
}
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }
registered() { grep -q '^registered' "$record" 2>/dev/null; }
register_failed() { grep -q '^register-failed' "$record" 2>/dev/null; }
check_begun() { grep -aqF 'Start Logging' "$service_log" 2>/dev/null; }
received() { [ -f "$record" ] && tr -d '\r' < "$record" | grep -qxF "$expected"; }
uptime_ms() { awk '{ printf "%d", $1 * 1000 }' /proc/uptime; }

: > "$results"
for run in $(seq "$runs"); do
  rm -f "$service_log" "$record"
  t0=$(date +%s%N)
  up0=$(uptime_ms)
  net_command start "$service_name" || { echo "net start $service_name failed" >&2; exit 1; }
  started=$(ms_since "$t0")
  start_client
  retries=0
  svc=$(service_pid)
  # The process start time counts clock ticks since boot, like /proc/uptime.
  process=$(($(sed 's/.*) //' "/proc/$svc/stat" | awk -v t="$clk_tck" '{ printf "%d", $20 * 1000 / t }') - up0))
  reg=; check=; sent=; total=
  deadline=$((t0 + 30000000000))
  while [ -z "$total" ] && [ "$(date +%s%N)" -lt "$deadline" ]; do
    [ -z "$reg" ] && registered && reg=$(ms_since "$t0")
    # The service reports itself running before its registration pipe exists:
    # a client that came too early starts again, as a user's client would later.
    if [ -z "$reg" ] && register_failed && [ "$retries" -lt 20 ]; then
      wait "$client" 2>/dev/null || true
      retries=$((retries + 1))
      start_client
    fi
    [ -z "$check" ] && check_begun && check=$(ms_since "$t0")
    [ -z "$sent" ] && handed_over && sent=$(ms_since "$t0")
    received && total=$(ms_since "$t0")
    sleep 0.01
  done
  if [ -z "$total" ]; then
    echo "run $run: no catalogue at the client within 30 s; client record:" >&2
    cut -c1-80 "$record" >&2 2>/dev/null || true
    echo "service log (without transfer records):" >&2
    tr -d '\r' < "$service_log" 2>/dev/null | grep -av '^ ' >&2 || true
    exit 1
  fi
  [ -n "$reg" ] || reg=$total
  [ -n "$check" ] || check=$total
  [ -n "$sent" ] || sent=$total
  echo "$run $total $started $process $reg $check $sent $retries" >> "$results"
  echo "run $run: catalogue at the client after $total ms (net start returned $started ms," \
    "service process $process ms, client registered $reg ms after $retries failed tries," \
    "check began $check ms, hand-off logged $sent ms)"
  stop_service
  kill "$client" 2>/dev/null || true
  wait "$client" 2>/dev/null || true
done

# Figures: min / median / max over the runs of each column.
stats() {
  awk -v col="$1" '{ print $col }' "$results" | sort -n \
    | awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
             printf "%6d / %6d / %6d ms", v[1], m, v[NR] }'
}
awk '{ print $1, $2, $3, $4, $5, $6, $2 - 5000, $2 - $6, $6 - $4, $7 - $6, $8 }' "$results" > "$results.more"
mv "$results.more" "$results"
echo "over $runs runs ($(awk '$11 > 0' "$results" | wc -l) with a client that came before the" \
  "registration pipe and started again), min / median / max:"
row() { printf '  %-48s %s\n' "$1" "$(stats "$2")"; }
row "net start to catalogue at the client" 2
row "the same less the 5000 ms timer period" 7
row "first check's begin to catalogue at the client" 8
row "first check's begin to hand-off logged" 10
row "net start returned" 3
row "service process created" 4
row "service process created to first check's begin" 9
row "client registered" 5
wine reg delete "$products_key" /f > /dev/null 2>&1 || true
