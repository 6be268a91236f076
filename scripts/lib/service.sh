# The update service installed under Wine for the benchmarks and the
# reliability campaign: installs it with one installed product, writes the
# served catalogue, and finds this environment's Linux processes. Source it
# inside the isolated test environment.
. "$(dirname "${BASH_SOURCE[0]}")/e2e.sh"

products_key='HKLM\Software\Zelko\Zvu Bench Alpha'
clk_tck=$(getconf CLK_TCK)
own_netns=$(readlink /proc/self/ns/net)

# install_service <build dir>: copies the service (and the stand-in client it
# would start) into its folder, registers it and installs product 2.3.10.
install_service() {
  mkdir -p "$install_dir"
  cp "$1/service/host/ZelkoVuroUpdate.exe" "$1/tests/service/session/ZelkoVuroUpdateGui.exe" "$install_dir/"
  timeout 60 wine "$service_program" /Service > /dev/null 2>&1 < /dev/null \
    || { echo "ZelkoVuroUpdate.exe /Service failed" >&2; return 1; }
  set_installed 'Zvu Bench Alpha' 2 3 10
}

# write_catalogue <build>: serves a catalogue whose one update is 2.3.<build>
# of the installed product (10: nothing applies, 11: an applicable update).
write_catalogue() { serve_catalogue 'Zvu Bench Alpha' 2 3 "$1"; }

# in_this_env <pid>: the process shares this environment's network namespace
# (other test environments may run their own service and wineserver meanwhile).
in_this_env() { [ "$(readlink "/proc/$1/ns/net" 2>/dev/null)" = "$own_netns" ]; }

# service_pid: the Linux pid of the running service, empty when none. Only a
# process whose first argument is the service program counts, so that no shell
# whose command line merely mentions the name is taken for it.
service_pid() {
  local p first
  for p in $(pgrep -f 'ZelkoVuroUpdate\.exe'); do
    in_this_env "$p" || continue
    first=$(tr '\0' '\n' < "/proc/$p/cmdline" 2>/dev/null | head -n1)
    case "$first" in
      *'\ZelkoVuroUpdate.exe' | *'/ZelkoVuroUpdate.exe' | ZelkoVuroUpdate.exe) echo "$p"; return ;;
    esac
  done
}

wineserver_pid() {
  local p
  for p in $(pgrep '^wineserver'); do in_this_env "$p" && { echo "$p"; return; }; done
}

# cpu_ticks <pid>: utime + stime in clock ticks (fields 14 and 15 of stat;
# the command name in field 2 may hold spaces, so count from its closing bracket).
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }

# status_kib <pid> <field>: a kB figure of /proc/<pid>/status, e.g. VmHWM.
status_kib() { awk -v f="$2:" '$1 == f { print $2 }' "/proc/$1/status"; }

checks_logged() { { grep -aoF 'Start Logging' "$service_log" 2>/dev/null || true; } | wc -l; }

# The benchmarks time these waits: they look every 10 ms.
have_service() { [ -n "$(service_pid)" ]; }
no_service() { [ -z "$(service_pid)" ]; }

stop_service() {
  net_command stop "$service_name"
  wait_for -p 0.01 15 no_service
}
