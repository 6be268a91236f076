#!/bin/bash
# The waits and checks every shell test, benchmark and campaign uses:
# a wait ends by the wall clock however long each try takes, a require ends
# its script at once with the explanation, and the summary's status follows
# the failures.
#
#   check_lib_test.sh <check.sh>
set -u
lib=$1
. "$lib"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

elapsed_ms() { echo $((($(now_us) - $1) / 1000)); }

# --- wait_for: a bound in seconds of wall clock ------------------------------
slow_false() { sleep 0.4; false; }
t0=$(now_us)
wait_for 1 slow_false
rc=$? ms=$(elapsed_ms "$t0")
check "a wait whose tries are slow ends near its bound (${ms} ms for 1 s of 0.4 s tries)" \
  [ "$rc" = 1 -a "$ms" -ge 1000 -a "$ms" -lt 4000 ]

t0=$(now_us)
wait_for 0.3 false
rc=$? ms=$(elapsed_ms "$t0")
check "a bound in decimal seconds (${ms} ms for 0.3 s)" [ "$rc" = 1 -a "$ms" -ge 300 -a "$ms" -lt 3000 ]

becomes_true() { [ -f "$scratch/flag" ]; }
( sleep 0.5; touch "$scratch/flag" ) &
t0=$(now_us)
wait_for 10 becomes_true
rc=$? ms=$(elapsed_ms "$t0")
check "a wait ends once the command succeeds (${ms} ms)" [ "$rc" = 0 -a "$ms" -lt 5000 ]
wait

count_tries() { echo x >> "$scratch/tries"; false; }
wait_for -p 0.25 1 count_tries
tries=$(wc -l < "$scratch/tries")
check "-p sets the pause between tries ($tries tries in 1 s at 0.25 s)" [ "$tries" -ge 2 -a "$tries" -le 6 ]

wait_for 0 true
check "a command that already holds is seen with a bound of 0" [ $? = 0 ]
wait_for 5 test x = x
check "the command gets its arguments" [ $? = 0 ]

# --- require: ends the script with the explanation ---------------------------
cat > "$scratch/required.sh" <<SCRIPT
. "$lib"
explain_failure() { echo "EXPLAINED"; }
require "holds" true
require "does not hold" false
echo "NOT REACHED"
SCRIPT
bash "$scratch/required.sh" > "$scratch/required.out" 2>&1
rc=$?
out=$(cat "$scratch/required.out")
check "a failed require ends the script with status 1" [ "$rc" = 1 ]
check "... and nothing after it runs" bash -c "! grep -q 'NOT REACHED' '$scratch/required.out'"
check "... after explain_failure has run" grep -qx EXPLAINED "$scratch/required.out"
check "... and it names the step" grep -q '^FAIL - does not hold' "$scratch/required.out"
check "... and counts the earlier step as passed" grep -q '^1 passed, 1 failed' "$scratch/required.out"
[ "$rc" = 1 ] || printf '%s\n' "$out"

# --- e2e_finish: the status follows the failures ------------------------------
bash -c ". '$lib'; check one true; e2e_finish" > /dev/null
check "all checks passed: status 0" [ $? = 0 ]
bash -c ". '$lib'; check one true; check two false; check three true; e2e_finish" > "$scratch/finish.out"
rc=$?
check "one check failed: status 1, and the run went on" [ "$rc" = 1 ]
check "... and the summary counts both" grep -qx '2 passed, 1 failed' "$scratch/finish.out"

e2e_finish
