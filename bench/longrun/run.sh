#!/bin/bash
# The update service and the real tray client side by side for an hour, with a
# catalogue that changes every few minutes: the two processes' resident memory,
# threads, open descriptors and Wine handles, sampled every 30 s, must not grow.
#   bench/longrun/run.sh     (3600 s; ZVU_BENCH_LONG_SECONDS=<n> for another length,
#                             ZVU_BENCH_SAMPLE_SECONDS=<n> between samples (30),
#                             ZVU_BENCH_CHANGE_SECONDS=<n> between catalogue changes (180))
# The service starts the client itself, in the user's session, with the first
# catalogue that holds an applicable update; every check (50 s) hands the
# catalogue over again and the client opens its wizard on the selection page.
# Each sample closes an open wizard, as a user who declines would, so that every
# hand-off builds a new wizard. The catalogue alternates between two applicable
# builds of the installed product.
# Uses the build in $ZVU_BUILD_DIR (default: build/), building what it needs first (bench/enter.sh).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ "${1:-}" != "--inside" ]; then
  exec "$root/bench/enter.sh" "$here/run.sh" ZelkoVuroUpdate ZelkoVuroUpdateGui zvu_gui_stand_in ui_bench
fi

build=$2
. "$root/scripts/lib/service.sh"
seconds=${ZVU_BENCH_LONG_SECONDS:-3600}
every=${ZVU_BENCH_SAMPLE_SECONDS:-30}
change=${ZVU_BENCH_CHANGE_SECONDS:-180}
samples="$ZVU_ENV_DIR/longrun-samples.txt"

install_service "$build"
# The real client in place of the stand-in that install_service puts there.
cp "$build/client/ZelkoVuroUpdateGui.exe" "$install_dir/"
builds=(11 12)
write_catalogue "${builds[0]}"
bench() { wine "$build/bench/ui/ui_bench.exe" "$@" 2>/dev/null | tr -d '\r'; }
client_pid() { client_pids | head -n1 || true; }
handoffs() { { grep -aoF 'm_strUpdateXml sent to client' "$service_log" 2>/dev/null || true; } | wc -l; }
received() { { grep -aoF 'data received from server' "$client_log" 2>/dev/null || true; } | wc -l; }
fds() { ls "/proc/$1/fd" 2>/dev/null | wc -l; }
size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }

rm -f "$service_log" "$client_log"
net_command start "$service_name" || { echo "net start $service_name failed" >&2; exit 1; }
wait_for -p 0.01 10 have_service || true
svc=$(service_pid)
[ -n "$svc" ] || { echo "service process not found" >&2; exit 1; }
echo "service pid $svc; waiting for the client it starts"
have_client() { [ -n "$(client_pid)" ]; }
wait_for -p 0.01 120 have_client || true
sleep 5
gui=$(client_pid)
[ -n "$gui" ] || { echo "the service started no client within 120 s" >&2; tr -d '\r' < "$service_log" | grep -av '^ ' >&2; exit 1; }
echo "client pid $gui; running for $seconds s, a sample every $every s, a new catalogue every $change s"

# One line a sample: elapsed s, then for the service and the client: resident
# KiB, Linux threads, open descriptors, Wine handles, Wine threads; then
# hand-offs logged, catalogues the client received, the two logs' sizes, the
# catalogue build served, what closing the wizard found, the client's pid and
# the 1-minute load average.
: > "$samples"
start=$(date +%s)
next_change=$((start + change))
build_index=0
restarts=0
while :; do
  now=$(date +%s)
  elapsed=$((now - start))
  [ -d "/proc/$svc" ] || { echo "the service process ended after $elapsed s" >&2; exit 1; }
  current=$(client_pid)
  if [ "$current" != "$gui" ]; then
    restarts=$((restarts + 1))
    echo "after $elapsed s the client is pid ${current:-none} (was $gui)"
    gui=$current
  fi
  declare -A wh=() wt=()
  while read -r pname _ handles threads; do
    wh[$pname]=$handles; wt[$pname]=$threads
  done < <(bench handles ZelkoVuroUpdate.exe ZelkoVuroUpdateGui.exe)
  closed=$({ bench cancel || true; } | head -n1 | tr ' ' _)
  g_rss=-; g_thr=-; g_fd=-
  if [ -n "$gui" ] && [ -d "/proc/$gui" ]; then
    g_rss=$(status_kib "$gui" VmRSS); g_thr=$(status_kib "$gui" Threads); g_fd=$(fds "$gui")
  fi
  echo "$elapsed $(status_kib "$svc" VmRSS) $(status_kib "$svc" Threads) $(fds "$svc")" \
    "${wh[ZelkoVuroUpdate.exe]:--} ${wt[ZelkoVuroUpdate.exe]:--}" \
    "$g_rss $g_thr $g_fd ${wh[ZelkoVuroUpdateGui.exe]:--} ${wt[ZelkoVuroUpdateGui.exe]:--}" \
    "$(handoffs) $(received) $(size_of "$service_log") $(size_of "$client_log")" \
    "${builds[$build_index]} $closed ${gui:-none} $(cut -d' ' -f1 /proc/loadavg)" >> "$samples"
  unset wh wt
  [ "$elapsed" -lt "$seconds" ] || break
  if [ "$(date +%s)" -ge "$next_change" ]; then
    build_index=$((1 - build_index))
    write_catalogue "${builds[$build_index]}"
    next_change=$((next_change + change))
  fi
  target=$((start + elapsed / every * every + every))
  [ "$target" -le $((start + seconds)) ] || target=$((start + seconds))
  sleep $((target - $(date +%s) > 0 ? target - $(date +%s) : 0))
done
cp "$samples" "${ZVU_BENCH_LONG_SAMPLES:-/dev/null}" 2>/dev/null || true

# First, last and largest value of each column, and the slope over the second
# half of the run (after the first checks have loaded their libraries).
awk -v restarts="$restarts" -f "$here/summary.awk" "$samples"

t0=$(date +%s%N)
if stop_service; then
  echo "net stop: the service ended after $((($(date +%s%N) - t0) / 1000000)) ms"
else
  echo "net stop: the service was still running 15 s later" >&2
fi
end_clients || true  # a client that ended with the service leaves kill nothing to do
wine reg delete "$products_key" /f > /dev/null 2>&1 || true
