#!/bin/bash
# Runs every benchmark once and writes docs/PERFORMANCE.md from their figures.
#   bench/run-all.sh        (about 70 minutes, as root on a fresh clone)
# The hour-long run of the service and a client runs in a test environment of
# its own in the background while the other benchmarks run one after another,
# each in its own. The raw output of each benchmark stays in
# <build>/bench-results/.
#   ZVU_BENCH_QUICK=1       cut-down sizes and lengths, to try the script out
#                           (the report then says so in its first lines)
# Uses the build in $ZVU_BUILD_DIR (default: build/); ZVU_BENCH_REPORT=<file>
# writes the report elsewhere.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/lib/check.sh"
build=${ZVU_BUILD_DIR:-$root/build}
out=$build/bench-results
report=${ZVU_BENCH_REPORT:-$root/docs/PERFORMANCE.md}
quick=${ZVU_BENCH_QUICK:-}

if [ -n "$quick" ]; then
  export ZVU_BENCH_MB=${ZVU_BENCH_MB:-32} ZVU_BENCH_ROUNDS=${ZVU_BENCH_ROUNDS:-1}
  export ZVU_BENCH_SECONDS=${ZVU_BENCH_SECONDS:-120} ZVU_BENCH_BASELINE_SECONDS=${ZVU_BENCH_BASELINE_SECONDS:-20}
  export ZVU_BENCH_RUNS=${ZVU_BENCH_RUNS:-3} ZVU_BENCH_LONG_SECONDS=${ZVU_BENCH_LONG_SECONDS:-300}
  export ZVU_BENCH_CHANGE_SECONDS=${ZVU_BENCH_CHANGE_SECONDS:-120}
  counts=(100 10000 30000)
else
  export ZVU_BENCH_MB=${ZVU_BENCH_MB:-256} ZVU_BENCH_ROUNDS=${ZVU_BENCH_ROUNDS:-3}
  counts=(100 10000 100000)
fi

"$root/scripts/configure.sh" "$build"
echo "building ($(date +%T))"
cmake --build "$build" -j 2 --target ZelkoVuroUpdate ZelkoVuroUpdateGui zvu_gui_stand_in zvu_pipe_client \
  ui_bench catalogue_bench http_download_bench http_floor_bench service_fetch_bench wizard_download_bench > "$build/bench-build.log" 2>&1 || { tail -30 "$build/bench-build.log"; exit 1; }
rm -rf "$out"
mkdir -p "$out"

# The machine's load over the whole run, every 30 s: other work on the same
# two cores moves every figure, so the report states it.
( while :; do echo "$(date +%s) $(cut -d' ' -f1-3 /proc/loadavg)"; sleep 30; done ) > "$out/loadavg.txt" &
load_sampler=$!
longrun=
finish() {
  kill "$load_sampler" 2>/dev/null || true
  [ -z "$longrun" ] || kill "$longrun" 2>/dev/null || true
}
trap finish EXIT

# run <name> <script> [args...]: one benchmark in its own test environment,
# its output in $out/<name>.txt, with the wall time and load around it.
run() {
  local name=$1 t0 rc
  shift
  t0=$(date +%s)
  echo "$name: started $(date +%T), load $(cut -d' ' -f1 /proc/loadavg)"
  set +e
  "$root/scripts/isolated-env.sh" "$@" > "$out/$name.txt" 2>&1
  rc=$?
  # A test environment that did not come up (its Wine desktop is slow to start
  # on a loaded machine) measured nothing: once more.
  if [ "$rc" != 0 ] && grep -q '^isolated-env:' "$out/$name.txt"; then
    echo "$name: the test environment did not start ($(head -n1 "$out/$name.txt")); once more"
    "$root/scripts/isolated-env.sh" "$@" > "$out/$name.txt" 2>&1
    rc=$?
  fi
  set -e
  echo "$rc $t0 $(date +%s) $(cut -d' ' -f1 /proc/loadavg)" > "$out/$name.status"
  echo "$name: exit code $rc after $(($(date +%s) - t0)) s"
}

started=$(date +%s)
echo "$started $(uname -r) $(nproc)" > "$out/started.txt"
ZVU_BENCH_LONG_SAMPLES=$out/longrun-samples.txt run longrun "$root/bench/longrun/run.sh" --inside "$build" &
longrun=$!
# The others start once the long run's environment is up, not beside its start.
longrun_up() { grep -q '^client pid' "$out/longrun.txt" 2>/dev/null || [ -f "$out/longrun.status" ]; }
wait_for -p 1 120 longrun_up || true
# The floor, GetToFile, curl, the download page and the service's download
# in interleaved rounds of one benchmark (bench/wizard/run.sh, the page alone
# against GetToFile, stays for runs by hand).
run http "$root/bench/http/run.sh" --inside "$build"
run catalogue "$root/bench/catalogue/run.sh" --inside "$build" -- "${counts[@]}"
run idle "$root/bench/service/idle.sh" --inside "$build"
run handoff "$root/bench/service/handoff.sh" --inside "$build"
run ui "$root/bench/ui/run.sh" --inside "$build"
echo "waiting for the long run ($(date +%T))"
wait "$longrun" || true
longrun=
echo "$(date +%s)" > "$out/ended.txt"

"$root/bench/report.sh" "$out" "$report" "$quick"
echo "report: $report"
