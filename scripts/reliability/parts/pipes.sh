#!/bin/bash
# Reliability: garbage on the service's registration pipe. Each kind of
# garbage is thrown at the real service under Wine's service control manager;
# afterwards the same service process must still run, must have logged what
# it refused, and a probe client must register and receive the pending
# catalogue whole. Floods and held-open connections run while the probe
# registers: it must get through within its own busy wait (20 s).
set -u
. "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
. "$(dirname "${BASH_SOURCE[0]}")/../pipes-lib.sh"

# A real registration must be answered within this bound (the client's own
# wait for a busy pipe), and the pending catalogue handed to it within one
# check interval and a tick (50 s + 5 s) plus slack.
register_bound=20
catalogue_bound=65

section "Registration pipe" \
  "Garbage written to the registration pipe of the running service (short, long, random," \
  "hello-only, hundreds of connections at once, connections held open); after each kind the" \
  "same service process must run, must have logged the refused connections, and a probe client" \
  "must register within ${register_bound} s and receive the pending catalogue whole."

install_bare_service || { row "service installed" 1 "nothing: /Service failed" FAIL ""; exit 1; }
start_the_service || { row "service started" 1 "nothing: net start failed" FAIL ""; exit 1; }
first_pid=$(service_pid)
echo "# service pid $first_pid"

# survived_after <tried> <times> <garbage bound s> <log regex> [probe started already]
# (the log regex lists the records expected, the one to quote first)
# Decides one row: garbage ended within its bound, same service, probe
# registered within the bound and received the catalogue, the log tells.
survived_after() {
  local tried=$1 times=$2 bound=$3 regex=$4 probe_running=${5:-}
  local problems=() said
  [ "$garbage_rc" = 0 ] || problems+=("garbage peer ended with $garbage_rc (124: hung past ${bound} s)")
  [ "$(service_pid)" = "$first_pid" ] || problems+=("service process gone or replaced ($(service_pid))")
  if [ -z "$probe_running" ]; then
    register_probe "$register_bound" || problems+=("probe not registered within ${register_bound} s")
  else
    wait_for -p 0.01 "$register_bound" probe_answered
    probe_registered || problems+=("probe not registered within ${register_bound} s of the garbage")
  fi
  wait_for -p 0.01 "$catalogue_bound" probe_received || problems+=("catalogue not handed over within ${catalogue_bound} s")
  local expected=${regex%%|*} records
  said=$(log_first_since "$expected")
  [ -n "$said" ] || said=$(log_first_since "$regex")
  records=$(log_count_since "$regex")
  [ -n "$said" ] || problems+=("no log record of the refused connections")
  echo "# $tried: $garbage_summary; registration answered in ${register_ms:-?} ms"
  [ "${register_ms:-0}" -gt "$slowest_register" ] && slowest_register=$register_ms
  if [ ${#problems[@]} = 0 ]; then
    row "$tried" "$times" "no crash (same service process), no hang past ${bound} s, ${records} connections logged, a real registration answered in ${register_ms} ms, pending catalogue handed over whole" ok "$said"
  else
    row "$tried" "$times" "$(IFS=';'; echo "${problems[*]}")" FAIL "${said:-(nothing)}"
  fi
  end_probes
}

slowest_register=0
incomplete='Registration not completed'
refused='Registration refused'

mark_log
garbage 120 short --count 200 --parallel 4
survived_after "connections that write 1 to 7 random bytes and hang up" 200 120 "$incomplete"

mark_log
garbage 120 long --count 20 --parallel 2 --size 65536
survived_after "connections that write 64 KiB of random bytes" 20 120 "$refused|$incomplete"

mark_log
garbage 120 random --count 300 --parallel 4
survived_after "connections that read the hello or not, write 0 to 300 random bytes, linger up to 0.3 s" 300 120 "$refused|$incomplete"

mark_log
garbage 120 hello --count 100 --parallel 4
survived_after "connections that read the hello and hang up without registering" 100 120 "$incomplete"

# Hundreds at once: every connection is opened at the same moment and held
# 0.5 s; the probe starts while they are queued.
run_with_probe() {  # run_with_probe <bound s> <garbage args...>: probe starts 1 s into the garbage
  local bound=$1 before
  shift
  timeout "$bound" wine "$garbage_exe" "$@" --seed "$(seed)" < /dev/null > "$scratch/garbage.out" 2> /dev/null &
  local garbage_job=$!
  sleep 1
  before=$(date +%s%N)
  start_probe
  wait_for -p 0.01 "$register_bound" probe_answered
  register_ms=$(ms_since "$before")
  wait "$garbage_job"
  garbage_rc=$?
  garbage_summary=$(tr -d '\r' < "$scratch/garbage.out" 2>/dev/null)
}
mark_log
run_with_probe 120 silent --count 300 --parallel 300 --hold 500
survived_after "300 connections opened at once, each held 0.5 s without a byte; a real client registers meanwhile" 300 120 "$incomplete" probe

mark_log
run_with_probe 120 silent --count 40 --parallel 40 --hold 30000
survived_after "40 connections held open 30 s without a byte; a real client registers meanwhile" 40 120 "$incomplete" probe

mark_log
run_with_probe 120 trickle --count 20 --parallel 20 --hold 30000
survived_after "20 connections that read the hello and then send one byte a second for 30 s; a real client registers meanwhile" 20 120 "$incomplete" probe

lines=$(log_text | wc -l)
note "Bound: a real registration must be answered within ${register_bound} s (the client's own wait for" \
  "a busy pipe; it does not try again after it). The slowest one here took ${slowest_register} ms; behind" \
  "held-open connections it waits at most one exchange time-out (5 s), as up to 32 connections are served" \
  "at once. The service wrote ${lines} log lines in all during this part, one per connection it took from" \
  "the pipe (two for a refused registration: the check that failed, then the refusal); a connection that" \
  "hangs up before the service has taken it leaves no record of its own" \
  "(compare the connections logged with the tries)."
stop_service
