#!/bin/bash
# The install package whose /Service fails, run by Wine's msiexec on a window
# station that no one can see (as the package runs /Service in session 0 on
# Windows): the installation ends by itself and reports the failure, and the
# service program tells why in an error event instead of a message box that
# would hold the installation until someone closed it.
#
# /Service is made to fail by another service that already uses the service's
# display name, so that creating the service entry is refused.
#
#   package_service_failure_test.sh <package .msi> <zvu_hidden_station_start.exe>
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/e2e.sh"
output_through_file "$@"
package=$1
hidden_start=$2
scratch=$(mktemp -d)
other=ZvuOther

cleanup() {
  timeout 60 wine sc delete "$other" < /dev/null > /dev/null 2>&1
  msiexec_run /x "$package" "$scratch/remove.log"
  remove_service
  rm -rf "$scratch" "$install_dir"
}
trap cleanup EXIT

remove_service
end_clients
rm -rf "$install_dir"
require "no service entry or process of an earlier test is left" wait_for 30 no_service_left
timeout 60 wine sc create "$other" binPath= 'C:\windows\notepad.exe' DisplayName= "$service_name" \
  < /dev/null > /dev/null 2>&1
require "another service holds the display name $service_name" [ -n "$(service_state "$other")" ]

# Status: the low 8 bits of msiexec's; 124 when it did not end within 120 s,
# as it would not while a box waits on the hidden station. Windows ends such
# an installation with 1603; Wine's msiexec with 1627 (91).
msiexec_log="$scratch/install.log"
started=$(date +%s)
WINEDEBUG=err+eventlog timeout 120 wine "$hidden_start" msiexec /i "$(winpath "$package")" /qn \
  /l*v "$(winpath "$msiexec_log")" < /dev/null > /dev/null 2> "$scratch/stderr.txt"
msiexec_status=$?
echo "# msiexec ended with status $msiexec_status after $(($(date +%s) - started)) s"
events=$(tr -d '\r' < "$scratch/stderr.txt" | sed -n 's/^.*err:eventlog:ReportEventW L"\(.*\)"$/\1/p' | paste -sd '|')
echo "# error events: $events"

check "the installation ends by itself" [ "$msiexec_status" != 124 ]
check "the installation reports a failure (status $msiexec_status)" [ "$msiexec_status" != 0 ]
# Its last run (the deferred one) did not end in success (1); Windows writes 3.
register_result=$(tr -d '\r' < "$msiexec_log" | sed -n 's/^Action ended .*: RegisterService\. Return value \([0-9]*\)\..*$/\1/p' | tail -n1)
check "the custom action that runs /Service failed (return value $register_result)" \
  [ "${register_result:-1}" != 1 ]
check "the service program reports 'Could not start service' as an error event" \
  [ "$events" = "Could not start service" ]
check "no service entry of $service_name is left" [ -z "$(service_state)" ]

[ "$e2e_failures" = 0 ] || explain_failure
e2e_finish
