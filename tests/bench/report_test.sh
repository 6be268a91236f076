#!/bin/bash
# The performance report is written from the benchmarks' raw output: each
# figure must come from its own line and column, a missing or failed
# benchmark must read as such, and a verdict must follow the figure.
#
#   report_test.sh <report.sh> <folder of recorded results>
set -u
report_sh=$1
recorded=$2
. "$(dirname "${BASH_SOURCE[0]}")/check_lib.sh"

# row <report> <start of the figure's cell>: the table row of that figure.
row() { grep -F "| $2" "$1" | head -n1; }
has() { grep -qF -- "$2" <<< "$1"; }
lacks() { ! grep -qF -- "$2" <<< "$1"; }

# --- Every benchmark recorded -------------------------------------------------
cp -r "$recorded" "$scratch/all"
bash "$report_sh" "$scratch/all" "$scratch/all.md" 1 > /dev/null 2>&1
check "the report is written" test -s "$scratch/all.md"
r=$(row "$scratch/all.md" 'installer download, `GetToFile`')
check "GetToFile: its median and range, not a round's figure" has "$r" "| 66.7 MiB/s (50.5–75.3; 75.0 without the program log)"
check "GetToFile: the floor's median and range, and curl's" has "$r" "same rounds: 80.1 MiB/s (60.2–90.4); curl: 250.0 MiB/s |"
check "GetToFile: the median of the rounds' ratios to the floor, with their range" has "$r" "| 0.84 (0.67–0.95; to curl: 0.27) |"
check "GetToFile: 0.84 of the floor meets 0.8, 66.7 MiB/s meets 10" has "$r" "≥ 0.8 × the floor: met; ≥ 10 MiB/s: met |"
r=$(row "$scratch/all.md" "installer download through the wizard")
check "download page: its median against GetToFile's" has "$r" "| 64.1 MiB/s (45.3–70.4) | \`GetToFile\` alone, same rounds: 66.7 MiB/s | 0.94 (0.90–0.96)"
check "download page: 0.94 meets 0.9" has "$r" "page ≥ 0.9 × \`GetToFile\`: met |"
r=$(row "$scratch/all.md" "installer download by the service")
check "service download: its median and ratio to GetToFile" has "$r" "| 60.3 MiB/s (44.4–66.6) | \`GetToFile\` alone, same rounds: 66.7 MiB/s | 0.88 (0.86–0.94)"
check "the machine's load around the download rounds" grep -qF "before the rounds: 2.10 1.90 1.50; after them: 2.76 2.00 1.60" "$scratch/all.md"
r=$(row "$scratch/all.md" "catalogue parse, 30000 updates")
check "catalogue: the largest count against the middle one" has "$r" "| 896.7 ms (29.9 µs an update) | 10000 updates: 308.0 ms | 2.9 for 3 × the updates"
r=$(row "$scratch/all.md" "peak working set of the parse")
check "catalogue: peak working sets after parsing, not before" has "$r" "| 75.6 / 171.3 MiB | before parsing: 25.3 MiB"
check "catalogue: one table line per count" \
  test "$(grep -c '^| [0-9]* | [0-9]* | [0-9.]* ms |' "$scratch/all.md")" = 3
r=$(row "$scratch/all.md" "service idle CPU")
check "idle: the wineserver's rate without the service, not the baseline's length" has "$r" "without the service 90.0 ms a minute"
check "idle: the wineserver against its own rate (0.18 s in 60 s at 90 ms a minute)" has "$r" "wineserver 2.00 × its rate"
check "idle: 0.267 % of a core misses the 0.1 % goal" has "$r" ": not met |"
r=$(row "$scratch/all.md" "service idle handles")
check "idle: handle counts Wine does not give are said so, never shown as 0" has "$r" "Wine handles not obtainable"
check "idle: threads and descriptors from the first and last sample" has "$r" "threads 4 → 4; fds 23 → 24"
r=$(row "$scratch/all.md" '`net start` to the catalogue')
check "hand-off: the median and range" has "$r" "| 6259 ms (6148–6275) |"
check "hand-off: above 6 s is not met" has "$r" "< 6 s: not met |"
r=$(row "$scratch/all.md" "client start to its tray icon")
check "tray icon: the median of the icon's column, not the main window's" has "$r" "| 281 ms (129–288) |"
r=$(row "$scratch/all.md" 'tray "Check for Updates"')
check "selection page: command to selection, with its two steps" has "$r" "| 656 ms (welcome page 141 ms, then Next to selection 421 ms)"
r=$(row "$scratch/all.md" "long run: service resident set")
check "long run: first / last / max and slope of the service's resident set" has "$r" "| 35.0 / 34.1 / 35.0, -10.83 /h |"
r=$(row "$scratch/all.md" "long run: client Wine handles")
check "long run: the client's missing handle counts said so" has "$r" "handles not obtainable under Wine"
check "long run: a client resident slope of +3.84 MiB/h is growth" has "$(row "$scratch/all.md" "long run: client resident set")" "slope < 1 MiB/h: not met |"
check "a benchmark that ended with an error is named" grep -qF "**longrun benchmark: exit code 1**" "$scratch/all.md"
check "the try-out run says so" grep -qF "A short try-out run" "$scratch/all.md"

# --- A benchmark that printed nothing --------------------------------------------
cp -r "$recorded" "$scratch/nohttp"
: > "$scratch/nohttp/http.txt"
echo "1 1796713930 1796713954 2.76" > "$scratch/nohttp/http.status"
bash "$report_sh" "$scratch/nohttp" "$scratch/nohttp.md" > /dev/null 2>&1
r=$(row "$scratch/nohttp.md" 'installer download, `GetToFile`')
check "no download figures: n/a, never a verdict" has "$r" "| n/a MiB/s (n/a–n/a; n/a without the program log) |"
check "... and the goal column says n/a" has "$r" "≥ 0.8 × the floor: n/a; ≥ 10 MiB/s: n/a |"
check "... and the failure is named" grep -qF "**http benchmark: exit code 1**" "$scratch/nohttp.md"
check "a run of record does not call itself a try-out" bash -c "! grep -qF 'A short try-out run' '$scratch/nohttp.md'"
r=$(row "$scratch/nohttp.md" "catalogue parse, 30000 updates")
check "the other figures stand" has "$r" "| 896.7 ms"

e2e_finish
