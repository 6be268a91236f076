#!/bin/bash
# Idle cost of the update service: CPU time and peak working set of its process
# over 10 minutes with a catalogue that offers nothing applicable (the offered
# version equals the installed one), measured from Linux, with the CPU time of
# this environment's wineserver over the same period and the checks that ran.
#   bench/service/idle.sh        (600 s; ZVU_BENCH_SECONDS=<n> for another length,
#                                 after a 60 s baseline without the service:
#                                 ZVU_BENCH_BASELINE_SECONDS=<n>)
# Uses the build in $ZVU_BUILD_DIR (default: build/), building what it needs first (bench/enter.sh).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ "${1:-}" != "--inside" ]; then
  exec "$root/bench/enter.sh" "$here/idle.sh" ZelkoVuroUpdate zvu_gui_stand_in ui_bench
fi

build=$2
. "$here/../../scripts/lib/service.sh"
seconds=${ZVU_BENCH_SECONDS:-600}
samples="$ZVU_ENV_DIR/idle-samples.txt"

# wine_ticks: "<pid> <name> <ticks>" for every Wine process of this environment.
wine_ticks() {
  local p
  for p in /proc/[0-9]*; do
    p=${p#/proc/}
    in_this_env "$p" || continue
    case "$(readlink "/proc/$p/exe" 2>/dev/null)" in *wine*) ;; *) continue ;; esac
    echo "$p $(tr '\0' '\n' < "/proc/$p/cmdline" | head -n1 | sed 's/.*[\\/]//; s/ /_/g') $(cpu_ticks "$p")"
  done 2>/dev/null
}

# env_totals: "<resident KiB> <threads> <open fds> <processes>" summed over
# this environment's Wine processes (wineserver included).
env_totals() {
  local p rss=0 thr=0 fd=0 n=0
  for p in /proc/[0-9]*; do
    p=${p#/proc/}
    in_this_env "$p" || continue
    case "$(readlink "/proc/$p/exe" 2>/dev/null)" in *wine*) ;; *) continue ;; esac
    rss=$((rss + $(status_kib "$p" VmRSS 2>/dev/null || echo 0)))
    thr=$((thr + $(status_kib "$p" Threads 2>/dev/null || echo 0)))
    fd=$((fd + $(ls "/proc/$p/fd" 2>/dev/null | wc -l)))
    n=$((n + 1))
  done
  echo "$rss $thr $fd $n"
}
# wine_handles: the service's handle and thread count as Wine keeps them.
wine_handles() {
  wine "$build/bench/ui/ui_bench.exe" handles ZelkoVuroUpdate.exe 2>/dev/null | tr -d '\r' \
    | awk '{ print $3, $4; exit }'
}

install_service "$build"
write_catalogue 10

# The prefix's own processes keep Wine busy without the service too (the
# device host of the USB and HID bus drivers polls); their cost in a window
# before the service starts is the baseline the service's figures stand on.
baseline=${ZVU_BENCH_BASELINE_SECONDS:-60}
ws=$(wineserver_pid)
[ -n "$ws" ] || { echo "wineserver process not found" >&2; exit 1; }
wine_ticks > "$ZVU_ENV_DIR/wine-base-start.txt"
base_totals0=$(env_totals)
base_ws0=$(cpu_ticks "$ws")
base_ns=$(date +%s%N)
echo "baseline without the service: $baseline s"
sleep "$baseline"
base_ws=$(($(cpu_ticks "$ws") - base_ws0))
base_ms=$((($(date +%s%N) - base_ns) / 1000000))
wine_ticks > "$ZVU_ENV_DIR/wine-base-end.txt"
base_totals1=$(env_totals)

rm -f "$service_log"
net_command start "$service_name" || { echo "net start $service_name failed" >&2; exit 1; }
wait_for -p 0.01 10 have_service || true
svc=$(service_pid)
[ -n "$svc" ] || { echo "service process not found" >&2; exit 1; }

start_ns=$(date +%s%N)
start_svc=$(cpu_ticks "$svc")
start_ws=$(cpu_ticks "$ws")
start_hwm=$(status_kib "$svc" VmHWM)
wine_ticks > "$ZVU_ENV_DIR/wine-start.txt"
win_totals0=$(env_totals)
echo "service pid $svc, wineserver pid $ws; measuring for $seconds s"

# One sample a second: elapsed ms, service ticks, wineserver ticks, checks so
# far, service resident KiB, its threads and open file descriptors.
: > "$samples"
handles="$ZVU_ENV_DIR/idle-handles.txt"
: > "$handles"
next_handles=0
end_ns=$((start_ns + seconds * 1000000000))
while :; do
  now=$(date +%s%N)
  [ -d "/proc/$svc" ] || { echo "the service process ended during the run" >&2; exit 1; }
  echo "$(((now - start_ns) / 1000000)) $(cpu_ticks "$svc") $(cpu_ticks "$ws") $(checks_logged)" \
    "$(status_kib "$svc" VmRSS) $(status_kib "$svc" Threads) $(ls "/proc/$svc/fd" | wc -l)" >> "$samples"
  if [ "$now" -ge "$next_handles" ]; then
    echo "$(((now - start_ns) / 1000000)) $(wine_handles)" >> "$handles"
    next_handles=$((now + 120000000000))
  fi
  [ "$now" -lt "$end_ns" ] || break
  next=$((now + 1000000000 < end_ns ? now + 1000000000 : end_ns))
  sleep "$(awk -v d=$((next - $(date +%s%N))) 'BEGIN { printf "%.3f", (d > 0 ? d : 0) / 1e9 }')"
done
end_hwm=$(status_kib "$svc" VmHWM)
wine_ticks > "$ZVU_ENV_DIR/wine-end.txt"
win_totals1=$(env_totals)
echo "$(((end_ns - start_ns) / 1000000)) $(wine_handles)" >> "$handles"
log_bytes=$(stat -c %s "$service_log")

awk -v tck="$clk_tck" -v s0="$start_svc" -v w0="$start_ws" -v h0="$start_hwm" -v h1="$end_hwm" \
    -v logb="$log_bytes" -v bw="$base_ws" -v bms="$base_ms" '
  { t[NR] = $1; s[NR] = $2; w[NR] = $3; c[NR] = $4; rss[NR] = $5; thr[NR] = $6; fd[NR] = $7 }
  END {
    n = NR; secs = t[n] / 1000
    svc = (s[n] - s0) / tck; ws = (w[n] - w0) / tck
    printf "window: %.1f s, checks logged: %d (one every 50 s expected: %d)\n", secs, c[n], int((secs + 1 - 5) / 50) + 1
    printf "service CPU (user+system): %.2f s in the window = %.3f %% of one core; %.2f s before it (start-up)\n", svc, 100 * svc / secs, s0 / tck
    printf "wineserver CPU:            %.2f s in the window = %.3f %% of one core\n", ws, 100 * ws / secs
    bws = bw / tck * 1000 / bms
    printf "wineserver CPU without the service (baseline): %.1f ms per minute, so %.2f s of the window above it\n", 60000 * bws, ws - bws * secs
    # Seconds in which a check was logged, and the one after, count as check time.
    for (i = 2; i <= n; i++) {
      busy = c[i] > c[i - 1] || (i > 2 && c[i - 1] > c[i - 2])
      if (busy) { cs += s[i] - s[i - 1]; cw += w[i] - w[i - 1] }
      else { qs += s[i] - s[i - 1]; qw += w[i] - w[i - 1]; qt += t[i] - t[i - 1] }
    }
    if (c[n] > 0) printf "per check (its second and the next): service %.0f ms, wineserver %.0f ms CPU\n", 1000 * cs / tck / c[n], 1000 * cw / tck / c[n]
    if (qt > 0) printf "between checks: service %.1f ms, wineserver %.1f ms CPU per minute\n", 60000 * 1000 * qs / tck / qt, 60000 * 1000 * qw / tck / qt
    printf "peak working set (VmHWM): %.1f MiB (%.1f MiB at the start of the window)\n", h1 / 1024, h0 / 1024
    printf "resident (VmRSS) first / last sample: %.1f / %.1f MiB\n", rss[1] / 1024, rss[n] / 1024
    printf "threads first / last: %d / %d, open fds first / last: %d / %d\n", thr[1], thr[n], fd[1], fd[n]
    printf "service log: %d bytes, %.0f bytes per check\n", logb, (c[n] > 0 ? logb / c[n] : 0)
  }' "$samples"

awk '$2 != "" && $2 != "-" { n++; if (n == 1) { f = $2; ft = $3 } l = $2; lt = $3; if ($2 > m) m = $2; if ($3 > mt) mt = $3 }
  END { if (n) printf "Wine handles of the service (every 120 s): first / last / max %d / %d / %d; its Wine threads %d / %d / %d\n", f, l, m, ft, lt, mt
        else print "Wine handles of the service: not available (Wine answers 0 for another process)" }' "$handles"
read -r b0rss b0thr b0fd b0n <<< "$base_totals0"
read -r b1rss b1thr b1fd b1n <<< "$base_totals1"
read -r w0rss w0thr w0fd w0n <<< "$win_totals0"
read -r w1rss w1thr w1fd w1n <<< "$win_totals1"
echo "the prefix's Wine processes together (resident MiB / threads / open fds / processes):"
printf '  without the service, start / end of the baseline: %.1f / %d / %d / %d  -  %.1f / %d / %d / %d\n' \
  "$(awk -v k="$b0rss" 'BEGIN { print k / 1024 }')" "$b0thr" "$b0fd" "$b0n" \
  "$(awk -v k="$b1rss" 'BEGIN { print k / 1024 }')" "$b1thr" "$b1fd" "$b1n"
printf '  with the service, start / end of the window:      %.1f / %d / %d / %d  -  %.1f / %d / %d / %d\n' \
  "$(awk -v k="$w0rss" 'BEGIN { print k / 1024 }')" "$w0thr" "$w0fd" "$w0n" \
  "$(awk -v k="$w1rss" 'BEGIN { print k / 1024 }')" "$w1thr" "$w1fd" "$w1n"
echo "Wine processes of this environment, CPU in the baseline ($baseline s, no service):"
join <(sort "$ZVU_ENV_DIR/wine-base-start.txt") <(sort "$ZVU_ENV_DIR/wine-base-end.txt") \
  | awk -v tck="$clk_tck" '{ printf "%.2f %s(%s)\n", ($5 - $3) / tck, $2, $1 }' | sort -rn \
  | awk '$1 > 0 { printf "  %-32s %7.2f s\n", $2, $1 }'
echo "Wine processes of this environment, CPU in the window ($seconds s, service running):"
join <(sort "$ZVU_ENV_DIR/wine-start.txt") <(sort "$ZVU_ENV_DIR/wine-end.txt") \
  | awk -v tck="$clk_tck" '{ printf "%.2f %s(%s)\n", ($5 - $3) / tck, $2, $1 }' | sort -rn \
  | awk '$1 > 0 || /ZelkoVuroUpdate/ { printf "  %-32s %7.2f s\n", $2, $1 }'

stop_service
wine reg delete "$products_key" /f > /dev/null 2>&1 || true
