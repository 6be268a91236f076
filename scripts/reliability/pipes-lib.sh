# Shared by the parts "pipes" and "handoff": the real service installed under
# Wine's service control manager, a served catalogue with an applicable
# update, and probe clients of the registration pipe that record what they
# receive. Sourced after lib.sh, inside the isolated test environment.
. "$(dirname "${BASH_SOURCE[0]}")/../lib/service.sh"
: "${ZVU_FIXTURE_DIR:?run through scripts/reliability.sh}"

scratch=$(mktemp -d)
probe_exe="$scratch/zvu-probe.exe"
garbage_exe="$scratch/zvu-garbage.exe"
cp "$build/tests/service/pipe/zvu_pipe_client.exe" "$probe_exe"
cp "$build/tests/fixtures/pipe_garbage/zvu_pipe_garbage.exe" "$garbage_exe"
probe_count=0

pipes_cleanup() {
  remove_service "$service_name" "$service_program" 'Zelko Vuro Update.ZelkoVuroUpdate\.exe'
  end_clients
  prefix_pids 'zvu-(probe|garbage)\.exe' | xargs -r kill 2>/dev/null
  rm -rf "$scratch"
}
trap pipes_cleanup EXIT

# install_bare_service: the service alone in its folder (no client program
# beside it, so a catalogue that finds no registered client stays pending;
# the failed start of a client is logged on each tick), product 2.3.10
# installed, the catalogue offering 2.3.11.
install_bare_service() {
  mkdir -p "$install_dir"
  cp "$build/service/host/ZelkoVuroUpdate.exe" "$install_dir/"
  rm -f "$install_dir/ZelkoVuroUpdateGui.exe"
  timeout 60 wine "$service_program" /Service > /dev/null 2>&1 < /dev/null || return 1
  set_installed 'Zvu Bench Alpha' 2 3 10
  write_catalogue 11
}

start_the_service() {
  rm -f "$service_log"
  net_command start "$service_name"
  wait_for -p 0.01 15 have_service
}

# log_text: the service log without carriage returns.
log_text() { tr -d '\r' < "$service_log" 2>/dev/null; }
# log_count <fixed text>: how many lines of the service log contain it.
log_count() { log_text | grep -cF -- "$1"; }
# log_first <extended regex>: the first log line matching it.
log_first() { log_text | grep -aE -m1 -- "$1"; }
# mark_log: remembers how many lines the log holds; the *_since helpers then
# look only at the lines written after the mark.
mark_log() { log_mark=$(log_text | wc -l); }
log_since() { log_text | tail -n +"$((${log_mark:-0} + 1))"; }
# log_first_since <extended regex>, log_count_since <extended regex>
log_first_since() { log_since | grep -aE -m1 -- "$1"; }
log_count_since() { log_since | grep -acE -- "$1"; }

# start_probe [options...]: starts a probe client of the registration pipe
# and sets probe_record to its record file; it ends on its own after 150 s.
start_probe() {
  probe_count=$((probe_count + 1))
  probe_record="$scratch/probe$probe_count.record.txt"
  rm -f "$probe_record"
  wine "$probe_exe" --record "$(winpath "$probe_record")" --lifetime 150000 "$@" \
    < /dev/null > /dev/null 2>&1 &
}
probe_answered() { grep -q '^register' "$probe_record" 2>/dev/null; }
probe_registered() { grep -q '^registered' "$probe_record" 2>/dev/null; }
probe_received() {
  tr -d '\r' < "$probe_record" 2>/dev/null | grep -qx "catalogue $(hex_of "$ZVU_FIXTURE_DIR/update.xml")"
}
end_probes() { prefix_pids 'zvu-probe\.exe' | xargs -r kill 2>/dev/null; sleep 0.3; }

# register_probe <seconds>: starts a probe and waits until the service
# answered it; sets register_ms. True when it registered within the bound.
register_probe() {
  local before=$(date +%s%N)
  start_probe
  wait_for -p 0.01 "$1" probe_answered
  register_ms=$((($(date +%s%N) - before) / 1000000))
  probe_registered
}

# garbage <seconds> <kind> [options...]: runs the hostile peer with a time
# bound; sets garbage_summary and garbage_rc (124: it hung past the bound).
garbage() {
  local bound=$1
  shift
  timeout "$bound" wine "$garbage_exe" "$@" --seed "$(seed)" < /dev/null > "$scratch/garbage.out" 2> /dev/null
  garbage_rc=$?
  garbage_summary=$(tr -d '\r' < "$scratch/garbage.out")
}

ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }
