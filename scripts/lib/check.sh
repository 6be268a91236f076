# Checks and waits of the shell tests, benchmarks, the road demo and the
# reliability campaign. Needs no Wine; e2e.sh builds on it.

e2e_passes=0
e2e_failures=0

# check <description> <command...>: runs the command and records the outcome.
check() {
  local description=$1
  shift
  if "$@"; then
    echo "ok   - $description"
    e2e_passes=$((e2e_passes + 1))
  else
    echo "FAIL - $description"
    e2e_failures=$((e2e_failures + 1))
  fi
}

# require <description> <command...>: a check that the steps after it cannot
# do without. When it fails, the test prints what explains the failure (the
# function explain_failure, when the script or a library defines one) and
# ends at once with failure, instead of running on into time-outs that would
# hide the reason.
require() {
  local failures_before=$e2e_failures
  check "$@"
  [ "$e2e_failures" = "$failures_before" ] && return 0
  echo "# the test cannot go on without it"
  if declare -F explain_failure > /dev/null; then explain_failure; fi
  echo "$e2e_passes passed, $e2e_failures failed; ended early"
  exit 1
}

# now_us: the wall clock in microseconds (no process started).
now_us() { echo "${EPOCHREALTIME/[.,]/}"; }

# wait_for [-p <poll seconds>] <seconds> <command...>: true once the command
# succeeds within <seconds> of wall clock (whole or decimal seconds), trying
# again every 0.1 s or every <poll seconds>. The command is tried at least
# once; how long each try takes (a Wine program can take a second on a busy
# machine) counts against the bound.
wait_for() {
  local poll=0.1
  if [ "$1" = -p ]; then poll=$2; shift 2; fi
  local whole=${1%.*} fraction=${1#*.}
  [ "$fraction" = "$1" ] && fraction=0
  fraction=${fraction}000000
  local deadline=$(($(now_us) + ${whole:-0} * 1000000 + 10#${fraction:0:6}))
  shift
  while :; do
    "$@" && return 0
    [ "$(now_us)" -lt "$deadline" ] || return 1
    sleep "$poll"
  done
}

# e2e_finish: prints the summary line and exits with the outcome.
e2e_finish() {
  echo "$e2e_passes passed, $e2e_failures failed"
  [ "$e2e_failures" = 0 ]
  exit $?
}
