#!/bin/bash
# Writes the performance report from the raw results of bench/run-all.sh.
#   report.sh <results folder> <report file> [quick]
# Every figure is read from the benchmarks' own output; a benchmark that
# failed or printed no figure shows as "n/a" and its output is quoted.
set -euo pipefail
out=$1
report=$2
quick=${3:-}

txt() { cat "$out/$1.txt" 2>/dev/null | tr -d '\r' || true; }
status_of() { [ -f "$out/$1.status" ] && cut -d' ' -f1 "$out/$1.status" || echo missing; }
# field <benchmark> <line pattern> <awk expression over the matched line's $0>
field() {
  txt "$1" | awk -v re="$2" "\$0 ~ re { $3; found = 1; exit } END { if (!found) print \"n/a\" }"
}
# nth <benchmark> <line pattern> <n>: the nth number on the first matching line.
nth() {
  txt "$1" | awk -v re="$2" -v n="$3" '$0 ~ re {
      s = $0; k = 0
      while (match(s, /[-+]?[0-9]+(\.[0-9]+)?/)) { k++; if (k == n) { print substr(s, RSTART, RLENGTH); found = 1; exit }
        s = substr(s, RSTART + RLENGTH) } }
    END { if (!found) print "n/a" }'
}
# calc <awk expression> <values...>: prints n/a when a value is missing.
calc() {
  local expr=$1 v
  shift
  for v in "$@"; do [[ "$v" =~ ^[-+]?[0-9.]+$ ]] || { echo n/a; return; }; done
  awk -v a="${1:-0}" -v b="${2:-0}" -v c="${3:-0}" -v d="${4:-0}" "BEGIN { $expr }"
}
# verdict <condition over a, b> <values...>: "met" or "not met" (n/a when a value is missing).
verdict() {
  local r
  r=$(calc "print (($1) ? \"met\" : \"not met\")" "${@:2}")
  echo "$r"
}

started=$(cut -d' ' -f1 "$out/started.txt")
ended=$(cat "$out/ended.txt" 2>/dev/null || date +%s)
load_stats=$(awk -v s="$started" -v e="$ended" '$1 >= s && $1 <= e { n++; t += $2; if ($2 > m) m = $2 }
  END { if (n) printf "%.2f %.2f", t / n, m; else print "n/a n/a" }' "$out/loadavg.txt")
read -r load_mean load_max <<< "$load_stats"
load_during() {  # mean 1-minute load while the named benchmark ran
  local s
  [ -f "$out/$1.status" ] || { echo n/a; return; }
  read -r _ s e _ < "$out/$1.status"
  awk -v s="$s" -v e="$e" '$1 >= s - 30 && $1 <= e { n++; t += $2 } END { if (n) printf "%.1f", t / n; else print "n/a" }' "$out/loadavg.txt"
}

# --- Figures --------------------------------------------------------------------
# Medians over the rounds of bench/http/run.sh, each with its range (lo–hi).
med() { nth http "$1" 1; }
range() { echo "$(nth http "$1" 2)–$(nth http "$1" 3)"; }
x_mib=$(med '^GetToFile:'); x_range=$(range '^GetToFile:')
x_nolog=$(med '^GetToFile without program log:')
floor_mib=$(med '^floor:'); floor_range=$(range '^floor:')
curl_mib=$(med '^curl:')
page_mib=$(med '^download page:'); page_range=$(range '^download page:')
svc_mib=$(med '^service download:'); svc_range=$(range '^service download:')
x_floor=$(med '^ratio GetToFile/floor:'); x_floor_range=$(range '^ratio GetToFile/floor:')
nolog_floor=$(med '^ratio no log/floor:')
page_x=$(med '^ratio page/GetToFile:'); page_x_range=$(range '^ratio page/GetToFile:')
svc_x=$(med '^ratio service/GetToFile:'); svc_x_range=$(range '^ratio service/GetToFile:')
x_ratio=$(med '^ratio GetToFile/curl:')
floor_curl=$(med '^ratio floor/curl:')
http_mb=$(txt http | awk '/^file:/ { print $2; exit }')
http_rounds=$(txt http | awk '/^medians over/ { print $3; exit }')
http_load_before=$(txt http | awk '/^load average before:/ { print $4, $5, $6; exit }')
http_load_after=$(txt http | awk '/^load average after:/ { print $4, $5, $6; exit }')

# Catalogue: "<updates> <bytes> <first ms> <median ms> <peak before MiB> <peak after MiB>" per count.
txt catalogue | awk '
  /^catalogue:/ { n = $2; bytes = $7 }
  /^before parsing:/ { before = $6 }
  /^after parsing:/ { after = $6 }
  /^first run/ { first = $(NF - 1) }
  /^later runs:/ { median = $4; printf "%s %s %s %s %s %s\n", n, bytes, first, median, before, after }' > "$out/catalogue.figures"
cat_row() { awk -v n="$1" -v k="$2" '$1 == n { print $k; found = 1 } END { if (!found) print "n/a" }' "$out/catalogue.figures"; }
counts=$(cut -d' ' -f1 "$out/catalogue.figures" | tr '\n' ' ')
read -r c_small c_mid c_big _ <<< "$counts $(printf 'n/a %.0s' 1 2 3)"
p_small=$(cat_row "$c_small" 4); p_mid=$(cat_row "$c_mid" 4); p_big=$(cat_row "$c_big" 4)
m_small=$(cat_row "$c_small" 6); m_mid=$(cat_row "$c_mid" 6); m_big=$(cat_row "$c_big" 6)
mb_before=$(cat_row "$c_mid" 5)
growth_time=$(calc 'printf "%.1f", a / b' "$p_big" "$p_mid")
growth_count=$(calc 'printf "%.0f", a / b' "$c_big" "$c_mid")
per_update_mid=$(calc 'printf "%.1f", a * 1000 / b' "$p_mid" "$c_mid")
per_update_big=$(calc 'printf "%.1f", a * 1000 / b' "$p_big" "$c_big")
mem_per_update=$(calc 'printf "%.1f", (a - b) * 1024 / c' "$m_big" "$mb_before" "$c_big")

i_window=$(nth idle '^window:' 1)
i_checks=$(nth idle '^window:' 2)
i_checks_expected=$(nth idle '^window:' 4)
i_cpu=$(nth idle '^service CPU' 1)
i_cpu_pct=$(nth idle '^service CPU' 2)
i_ws=$(nth idle '^wineserver CPU:' 1)
i_ws_base_min=$(nth idle '^wineserver CPU without' 1)
i_ws_extra=$(nth idle '^wineserver CPU without' 3)
i_per_check=$(nth idle '^per check' 1)
i_hwm=$(nth idle '^peak working set' 1)
i_hwm0=$(nth idle '^peak working set' 2)
i_rss0=$(nth idle '^resident' 1)
i_rss1=$(nth idle '^resident' 2)
i_thr0=$(nth idle '^threads first' 1); i_thr1=$(nth idle '^threads first' 2)
i_fd0=$(nth idle '^threads first' 3); i_fd1=$(nth idle '^threads first' 4)
i_h0=$(nth idle '^Wine handles of the service [(]every' 4); i_h1=$(nth idle '^Wine handles of the service [(]every' 5)
i_hmax=$(nth idle '^Wine handles of the service [(]every' 6)
if [ "$i_h0" = n/a ]; then
  i_handles="Wine handles not obtainable (Wine answers 0 for another process)"
  i_handles_verdict=$(verdict 'a <= b + 2 && c <= d + 1' "$i_fd1" "$i_fd0" "$i_thr1" "$i_thr0")
else
  i_handles="Wine handles $i_h0 → $i_h1 (max $i_hmax)"
  i_handles_verdict=$(verdict 'a <= b + 2' "$i_h1" "$i_h0")
fi
i_log=$(nth idle '^service log' 1); i_log_check=$(nth idle '^service log' 2)
i_log_day=$(calc 'printf "%.2f", b * 86400 / 50 / 1048576' "$i_log" "$i_log_check")
i_base_rss=$(nth idle 'without the service, start' 5)
i_win_rss=$(nth idle 'with the service, start' 5)
i_base_thr=$(nth idle 'without the service, start' 6)
i_win_thr=$(nth idle 'with the service, start' 6)
i_base_fd=$(nth idle 'without the service, start' 7)
i_win_fd=$(nth idle 'with the service, start' 7)
i_ws_ratio=$(calc 'printf "%.2f", a / (b * c / 60000)' "$i_ws" "$i_ws_base_min" "$i_window")

h_total=$(nth handoff 'net start to catalogue at the client' 2)
h_total_min=$(nth handoff 'net start to catalogue at the client' 1)
h_total_max=$(nth handoff 'net start to catalogue at the client' 3)
h_check=$(nth handoff "first check's begin to catalogue" 2)
h_ratio=$(calc 'printf "%.2f", a / 5000' "$h_total")

u_tray=$(nth ui 'to the icon in the notification area' 2)
u_tray_min=$(nth ui 'to the icon in the notification area' 1)
u_tray_max=$(nth ui 'to the icon in the notification area' 3)
u_window=$(nth ui 'to its hidden main window' 2)
u_welcome=$(nth ui 'to the welcome page' 2)
u_next=$(nth ui 'Next on the welcome page' 2)
u_select=$(nth ui 'Updates" to the selection page' 2)
u_select_max=$(nth ui 'Updates" to the selection page' 3)

l_secs=$(nth longrun '^run:' 1)
l_samples=$(nth longrun '^run:' 2)
l_handoffs=$(nth longrun '^run:' 3)
l_received=$(nth longrun '^run:' 4)
l_restarts=$(nth longrun '^run:' 5)
# long <section> <label> <n of first last max slope>
long() {
  txt longrun | awk -v sec="$1" -v lab="$2" -v n="$3" '
    /^service/ { cur = "service" } /^client/ { cur = "client" } /^logs/ { cur = "logs" }
    cur == sec && index($0, lab) && index($0, "not available") { print "n/a"; found = 1; exit }
    cur == sec && index($0, lab) { split($0, parts, /first|last|max|slope/); v = parts[n + 1]; gsub(/[^-+0-9.]/, "", v); print v; found = 1; exit }
    END { if (!found) print "n/a" }'
}
lrow() {  # lrow <section> <label>: "first / last / max, slope"
  local f l m s
  f=$(long "$1" "$2" 1); l=$(long "$1" "$2" 2); m=$(long "$1" "$2" 3); s=$(long "$1" "$2" 4)
  if [ "$f" != n/a ]; then echo "$f / $l / $m, $s /h"
  elif [ "$2" = 'Wine handles' ]; then echo "not obtainable under Wine"
  else echo "not available"; fi
}
l_svc_rss_slope=$(long service 'resident set' 4); l_gui_rss_slope=$(long client 'resident set' 4)
l_svc_h_first=$(long service 'Wine handles' 1); l_svc_h_last=$(long service 'Wine handles' 2)
l_gui_h_first=$(long client 'Wine handles' 1); l_gui_h_last=$(long client 'Wine handles' 2)
l_svc_h_slope=$(long service 'Wine handles' 4); l_gui_h_slope=$(long client 'Wine handles' 4)
l_svc_t_slope=$(long service 'Wine threads' 4); l_gui_t_slope=$(long client 'Wine threads' 4)
l_svc_t_last=$(long service 'Wine threads' 2); l_gui_t_last=$(long client 'Wine threads' 2)
l_svc_fd_slope=$(long service 'open descriptors' 4); l_gui_fd_slope=$(long client 'open descriptors' 4)
l_load=$(txt longrun | awk '/load average/ { print $NF; exit }')

# --- The report ------------------------------------------------------------------
{
cat <<HEAD
# Performance

Measured by \`bench/run-all.sh\` on $(date -u -d "@$started" '+%Y-%m-%d'), one run, from $(date -u -d "@$started" '+%H:%M') to $(date -u -d "@$ended" '+%H:%M') UTC
($(( (ended - started) / 60 )) minutes), under Wine $(wine --version 2>/dev/null | sed 's/^wine-//') on $(nproc) cores (Linux $(uname -r)).
The machine's 1-minute load average over the run: mean $load_mean, highest $load_max
(sampled every 30 s; other builds and test runs shared the two cores). The
long run of the service and a client ($(( ${ZVU_BENCH_LONG_SECONDS:-3600} / 60 )) minutes) ran in a test environment of its own
in the background, alongside every other benchmark, so each figure below was
taken with it running. Raw output of each benchmark: \`<build>/bench-results/\`.
HEAD
if [ -n "$quick" ]; then
  echo
  echo "**A short try-out run (\`ZVU_BENCH_QUICK=1\`): sizes and lengths are cut down; these are not the figures of record.**"
fi
for b in http catalogue idle handoff ui longrun; do
  [ "$(status_of "$b")" = 0 ] || echo -e "\n**$b benchmark: exit code $(status_of "$b")** — its output is quoted in its section."
done
cat <<TABLE

## Summary

| figure | value | peer or limit | ratio | what bounds it | goal: where it stands |
|---|---|---|---|---|---|
| installer download, \`GetToFile\` ($http_mb MiB over loopback, median of $http_rounds interleaved rounds) | $x_mib MiB/s ($x_range; $x_nolog without the program log) | the floor, a bare WinHTTP loop with the same reads, same rounds: $floor_mib MiB/s ($floor_range); curl: $curl_mib MiB/s | $x_floor ($x_floor_range; to curl: $x_ratio) | WinHTTP's own cycle of each 8192-byte read under Wine (the floor's too); the reads' log records are written in batches | ≥ 0.8 × the floor: $(verdict 'a >= 0.8' "$x_floor"); ≥ 10 MiB/s: $(verdict 'a >= 10' "$x_mib") |
| installer download through the wizard's download page (median of $http_rounds) | $page_mib MiB/s ($page_range) | \`GetToFile\` alone, same rounds: $x_mib MiB/s | $page_x ($page_x_range) | the same reads; progress to the window at most every 30 ms, status redrawn at most every 40 ms | page ≥ 0.9 × \`GetToFile\`: $(verdict 'a >= 0.9' "$page_x") |
| installer download by the service (\`FetchInstaller\`, median of $http_rounds) | $svc_mib MiB/s ($svc_range) | \`GetToFile\` alone, same rounds: $x_mib MiB/s | $svc_x ($svc_x_range) | the same transfer, its end seen by the service's 200 ms polls | — |
| catalogue parse, $c_small updates (median) | $p_small ms | — | — | loading MSXML's document, then one walk over each entry's children | < 1 s: $(verdict 'a < 1000' "$p_small") |
| catalogue parse, $c_mid updates (median) | $p_mid ms ($per_update_mid µs an update) | $c_small updates: $p_small ms | $(calc 'printf "%.1f", a / b' "$p_mid" "$p_small") | MSXML's parse and the walk, linear in the entries | < 1 s: $(verdict 'a < 1000' "$p_mid") |
| catalogue parse, $c_big updates (median) | $p_big ms ($per_update_big µs an update) | $c_mid updates: $p_mid ms | $growth_time for $growth_count × the updates | as above | grows linearly (ratio ≤ 1.2 × $growth_count): $(verdict "a <= 1.2 * b" "$growth_time" "$growth_count") |
| peak working set of the parse, $c_mid / $c_big updates | $m_mid / $m_big MiB | before parsing: $mb_before MiB; $c_small updates: $m_small MiB | $(calc 'printf "%.1f", (a - c) / (b - c)' "$m_big" "$m_mid" "$mb_before") (growth over the start) | MSXML's DOM of the whole text, about $mem_per_update KiB an update | $c_mid updates under 100 MiB: $(verdict 'a < 100' "$m_mid") |
| service idle CPU over $i_window s | $i_cpu s ($i_cpu_pct % of a core), $i_per_check ms a check | wineserver: $i_ws s, without the service $i_ws_base_min ms a minute | wineserver $i_ws_ratio × its rate without the service | the 5-second tick; a check every tenth tick (50 s): $i_checks checks (expected $i_checks_expected) | < 0.1 % of a core: $(verdict 'a < 0.1' "$i_cpu_pct") |
| service idle working set | peak $i_hwm MiB, resident $i_rss0 → $i_rss1 MiB | the prefix's Wine processes without the service: $i_base_rss MiB | $(calc 'printf "%.2f", a / b' "$i_hwm" "$i_base_rss") | the first check loads the HTTP, TLS and XML libraries | < 50 MiB, no growth: $(verdict 'a < 50 && b <= a' "$i_hwm" "$i_rss1") |
| service idle handles / threads / descriptors | $i_handles; threads $i_thr0 → $i_thr1; fds $i_fd0 → $i_fd1 | the prefix without the service: $i_base_thr threads, $i_base_fd fds ($i_win_thr / $i_win_fd with it) | — | a check's transfer threads and connections come and go | back to the start after checks: $i_handles_verdict |
| service log growth idle | $i_log_check bytes a check, $i_log_day MiB a day | its limit 16 MiB, then it starts over | $(calc 'printf "%.0f days to the limit", 16 / a' "$i_log_day") | one check's transfer records every 50 s | bounded by the log's 16 MiB limit, where it starts over |
| \`net start\` to the catalogue at a registered client (median of ${ZVU_BENCH_RUNS:-10}) | $h_total ms ($h_total_min–$h_total_max) | the 5000 ms timer period | $h_ratio | the first check waits for the first 5-second tick; the check's 200 ms polls of the transfer ($h_check ms from its begin) | < 6 s: $(verdict 'a < 6000' "$h_total") |
| client start to its tray icon (median of ${ZVU_BENCH_RUNS:-10}) | $u_tray ms ($u_tray_min–$u_tray_max) | — | — | Wine starting a GUI process, the main window ($u_window ms), then the icon | < 2 s: $(verdict 'a < 2000' "$u_tray") |
| tray "Check for Updates" to the selection page (median of ${ZVU_BENCH_RUNS:-10}) | $u_select ms (welcome page $u_welcome ms, then Next to selection $u_next ms) | — | — | the search page's catalogue fetch, read in the 200 ms polls of the transfer | < 3 s: $(verdict 'a < 3000' "$u_select") |
| long run: service resident set, first / last / max MiB, slope over the second half | $(lrow service 'resident set') | ${l_secs} s, $l_samples samples, $l_handoffs hand-offs | — | libraries loaded by the first check; nothing kept per check | slope < 1 MiB/h: $(verdict 'a < 1' "$l_svc_rss_slope") |
| long run: service Wine handles / threads / fds (first / last / max, slope) | handles $(lrow service 'Wine handles'); threads $(lrow service 'Wine threads'); fds $(lrow service 'open descriptors') | — | — | a check's threads and connections | no growth (descriptor and thread slopes < 5 /h): $(verdict 'a < 5 && b < 5' "$l_svc_fd_slope" "$l_svc_t_slope") |
| long run: client resident set, first / last / max MiB, slope | $(lrow client 'resident set') | $l_received catalogues received, each a new wizard | — | one wizard at a time, closed again | slope < 1 MiB/h: $(verdict 'a < 1' "$l_gui_rss_slope") |
| long run: client Wine handles / threads / fds (first / last / max, slope) | handles $(lrow client 'Wine handles'); threads $(lrow client 'Wine threads'); fds $(lrow client 'open descriptors') | — | — | each wizard's windows, fonts and images, freed when it closes | no growth (descriptor and thread slopes < 5 /h): $(verdict 'a < 5 && b < 5' "$l_gui_fd_slope" "$l_gui_t_slope") |

"Slope" is the least-squares slope over the second half of the long run, per
hour, after the first checks have loaded their libraries. A verdict reads
"n/a" where the benchmark gave no figure.
TABLE
} > "$report.tmp"

section() {  # section <benchmark> <title> <command> <prose file or ->
  local name=$1
  echo
  echo "## $2"
  echo
  echo "    $3"
  echo
  echo "Exit code $(status_of "$name"), mean load $(load_during "$name") while it ran. Its output:"
  echo
  echo '```'
  { txt "$name" | grep -av '^$' || true; } | head -80
  echo '```'
}
{
  section http "Installer download: \`GetToFile\` against the floor, curl, the download page and the service" "bench/http/run.sh    (ZVU_BENCH_MB=$http_mb ZVU_BENCH_HTTP_ROUNDS=$http_rounds)"
  echo
  echo "The machine's load average (1, 5, 15 minutes) before the rounds: $http_load_before; after them: $http_load_after."
  cat "$(dirname "$0")/report/http.md"
  section catalogue "Catalogue parse: time and memory against the number of updates" "bench/catalogue/run.sh $counts"
  echo
  echo "| updates | catalogue bytes | first parse (loads MSXML) | later parses, median | peak working set before / after |"
  echo "|---|---|---|---|---|"
  awk '{ printf "| %s | %s | %s ms | %s ms | %s / %s MiB |\n", $1, $2, $3, $4, $5, $6 }' "$out/catalogue.figures"
  cat "$(dirname "$0")/report/catalogue.md"
  section idle "The service idle, against the same prefix without it" "bench/service/idle.sh    (ZVU_BENCH_SECONDS=${ZVU_BENCH_SECONDS:-600})"
  cat "$(dirname "$0")/report/idle.md"
  section handoff "\`net start\` to the catalogue at a registered client" "bench/service/handoff.sh    (ZVU_BENCH_RUNS=${ZVU_BENCH_RUNS:-10})"
  cat "$(dirname "$0")/report/handoff.md"
  section ui "Client start to tray icon; tray command to the selection page" "bench/ui/run.sh    (ZVU_BENCH_RUNS=${ZVU_BENCH_RUNS:-10})"
  cat "$(dirname "$0")/report/ui.md"
  section longrun "The long run: service and client for an hour, the catalogue changing" "bench/longrun/run.sh    (ZVU_BENCH_LONG_SECONDS=${ZVU_BENCH_LONG_SECONDS:-3600})"
  echo
  echo "The samples (elapsed s; service: resident KiB, Linux threads, fds, Wine handles, Wine threads;"
  echo "client: the same five; hand-offs, catalogues received, service and client log bytes, build served,"
  echo "wizard closed, client pid, load), every tenth:"
  echo
  echo '```'
  awk 'NR % 10 == 1' "$out/longrun-samples.txt" 2>/dev/null || true
  tail -n1 "$out/longrun-samples.txt" 2>/dev/null || true
  echo '```'
  cat "$(dirname "$0")/report/longrun.md"
} >> "$report.tmp"
mv "$report.tmp" "$report"
