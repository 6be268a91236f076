#!/bin/bash
# The long run's summary decides whether anything grew over the hour: the
# slope must be over the second half only (the first checks load libraries),
# in units per hour, and unknown values must never count as zeros.
#
#   longrun_summary_test.sh <summary.awk>
set -u
summary=$1
. "$(dirname "${BASH_SOURCE[0]}")/check_lib.sh"

# sample <s> <svc KiB> <svc threads> <svc fds> <svc handles> <client KiB> <client fds> <closed>:
# one sample line with fixed values elsewhere (hand-offs grow one a minute).
sample() {
  echo "$1 $2 $3 $4 $5 4 $6 2 $7 - 2 $(($1 / 60)) $(($1 / 60)) $((1000 + $1)) $((500 + $1)) 11 $8 123 2.50"
}
# line <output> <section> <label>: the label's line within that section.
line() {
  awk -v sec="$2" -v lab="$3" '/^service/ { cur = "service" } /^client/ { cur = "client" } /^logs/ { cur = "logs" }
    cur == sec && index($0, lab) { print; exit }' <<< "$1"
}
figures() { line "$@" | sed 's/  */ /g; s/^ //'; }

# One hour, a sample every 30 s. The service's memory jumps by 10 MiB in its
# first minutes (libraries) and is flat after; its descriptors grow by one
# every 10 minutes all along; the client's memory grows 1 MiB every 10 minutes
# in the second half only; handle counts are never known.
for s in $(seq 0 30 3600); do
  svc=$((30000 + (s >= 120 ? 10240 : 0)))
  gui=$((40000 + (s >= 1800 ? (s - 1800) * 1024 / 600 : 0)))
  closed=none; [ $((s % 60)) = 30 ] && closed=closed
  sample "$s" "$svc" 4 $((24 + s / 600)) - "$gui" 18 "$closed"
done > "$scratch/hour.txt"
out=$(awk -v restarts=0 -f "$summary" "$scratch/hour.txt")
check "run line: length, samples, the last sample's hand-offs and catalogues" \
  grep -qxF "run: 3600 s, 121 samples; hand-offs logged 60, catalogues received by the client 60; client restarts 0" <<< "$out"
check "a step in the first minutes is no growth over the hour" \
  test "$(figures "$out" service 'resident set')" = "resident set (MiB) first 29.3 last 39.3 max 39.3 slope +0.00 MiB/h"
check "one descriptor more every 10 minutes: first, last, max" \
  test "$(figures "$out" service 'open descriptors' | cut -d' ' -f1-8)" = "open descriptors first 24.0 last 30.0 max 30.0"
# Whole descriptors come in steps; the fitted slope of the steps is near 6 an hour.
check "... and a slope near 6 an hour" \
  awk '{ exit !($10 > 5 && $10 < 7) }' <<< "$(figures "$out" service 'open descriptors')"
check "1 MiB every 10 minutes in the second half is 6 MiB an hour" \
  test "$(figures "$out" client 'resident set')" = "resident set (MiB) first 39.1 last 42.1 max 42.1 slope +6.00 MiB/h"
check "unknown handle counts are not available, never zeros" \
  test "$(figures "$out" service 'Wine handles')" = "Wine handles not available in any sample"
check "... for the client too" \
  test "$(figures "$out" client 'Wine handles')" = "Wine handles not available in any sample"
check "log growth in KiB an hour" \
  test "$(figures "$out" logs 'service log')" = "service log (KiB) first 1.0 last 4.5 max 4.5 slope +3.52 KiB/h"
check "wizards closed and the mean load" \
  grep -qxF "wizards closed by the sampler: 60; 1-minute load average, mean over the samples: 2.50" <<< "$out"

# A client that was gone in some samples: those samples do not count as zeros,
# so its largest value and first value are those it had.
{
  sample 0 30000 4 24 - 40000 18 none
  sample 30 30000 4 24 - - - none | awk '{ $7 = "-"; $8 = "-"; $9 = "-"; $11 = "-"; print }'
  sample 60 30000 4 24 - 41000 18 none
} > "$scratch/gap.txt"
out=$(awk -v restarts=1 -f "$summary" "$scratch/gap.txt")
check "a sample without the client leaves first, last and max as they were" \
  test "$(figures "$out" client 'resident set' | cut -d' ' -f1-9)" = "resident set (MiB) first 39.1 last 40.0 max 40.0"
check "... and its descriptors are not read as 0" \
  test "$(figures "$out" client 'open descriptors' | cut -d' ' -f1-8)" = "open descriptors first 18.0 last 18.0 max 18.0"
check "client restarts are reported" grep -qF "client restarts 1" <<< "$out"

e2e_finish
