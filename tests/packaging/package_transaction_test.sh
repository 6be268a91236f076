#!/bin/bash
# The install package as one transaction, under Wine's msiexec:
#   - an installation that fails after /Service (the package with one more
#     action, right after RegisterService, that fails) is rolled back and
#     leaves no service entry and no product behind (under Wine the rollback
#     removes the installed files before it runs the program's /UnregServer,
#     which then cannot start; the package's "sc delete" removes the entry
#     there, see docs/handle-access.md);
#   - a repair keeps the service entry itself and the start type an
#     administrator chose, and the service runs again afterwards.
#
#   package_transaction_test.sh <package .msi> <failing package .msi> <zvu_service_start_type.exe>
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/e2e.sh"
output_through_file "$@"
package=$1 failing_package=$2 start_type=$3
scratch=$(mktemp -d)
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

cleanup() {
  msiexec_run /x "$package" "$scratch/remove.log"
  remove_service
  rm -rf "$scratch" "$install_dir"
}
trap cleanup EXIT

product_entries() {
  wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | grep -c 'DisplayName *REG_SZ *Zelko Vuro Update$'
}
# repair: the package's repair, silent, with a log (as msiexec_run). Wine's
# msiexec cannot repair by /f (it takes no package there, and /f with a
# product code is not implemented); the repair is the installation with
# REINSTALL=ALL and REINSTALLMODE=vamus, as "msiexec /fvamus" runs it on
# Windows.
repair() {
  msiexec_log=$scratch/repair.log
  timeout 120 wine msiexec /i "$(winpath "$package")" REINSTALL=ALL REINSTALLMODE=vamus /qn \
    /l*v "$(winpath "$msiexec_log")" < /dev/null > /dev/null 2>&1
  msiexec_status=$?
  return "$msiexec_status"
}
# action_result <log> <action>: the return value of the action's last run.
action_result() {
  tr -d '\r' < "$1" | sed -n "s/^Action ended .*: $2\. Return value \([0-9]*\)\..*\$/\1/p" | tail -n1
}

remove_service
end_clients
rm -rf "$install_dir"
require "no service entry or process of an earlier test is left" wait_for 30 no_service_left

# --- A failure after /Service --------------------------------------------------------
msiexec_run /i "$failing_package" "$scratch/failing.log"
check "the installation fails (status $msiexec_status)" [ "$msiexec_status" != 0 ]
check "/Service ran and succeeded (return value $(action_result "$scratch/failing.log" RegisterService))" \
  [ "$(action_result "$scratch/failing.log" RegisterService)" = 1 ]
check "the action after it failed (return value $(action_result "$scratch/failing.log" FailAfterService))" \
  [ "$(action_result "$scratch/failing.log" FailAfterService)" = 0 ]
check "the rollback removed the service entry" [ -z "$(service_state)" ]
check "no service entry is left in the registry" bash -c "! wine reg query '$service_key' > /dev/null 2>&1"
check "no product entry is left" [ "$(product_entries)" = 0 ]
check "the program folder is gone" test ! -e "$install_dir/ZelkoVuroUpdate.exe"

# --- A repair keeps the administrator's start type -----------------------------------
require "msiexec /i succeeds" msiexec_run /i "$package" "$scratch/install.log"
require "the service runs" wait_for 30 service_running
require "the administrator makes the service start on demand" \
  timeout 60 wine "$start_type" "$service_name" demand < /dev/null > /dev/null 2>&1
# A value only this entry holds: a deleted and re-created entry would not.
wine reg add "$service_key" /v ZvuEntryMarker /t REG_SZ /d kept /f > /dev/null 2>&1
old_service=$(service_pids)
check "the repair succeeds" repair
check "/Service ran in the repair (return value $(action_result "$scratch/repair.log" RegisterService))" \
  [ "$(action_result "$scratch/repair.log" RegisterService)" = 1 ]
check "the start type stays 'demand'" [ "$(reg_value "$service_key" Start)" = "REG_DWORD 0x3" ]
check "the service entry is the same one" [ "$(reg_value "$service_key" ZvuEntryMarker)" = "REG_SZ kept" ]
check "the service path is unchanged" [ "$(reg_value "$service_key" ImagePath)" = "REG_SZ \"$service_program\"" ]
check "the service runs after the repair" wait_for 30 service_running
echo "# service process before the repair: $old_service, after: $(service_pids | paste -sd ' ')"

[ "$e2e_failures" = 0 ] || explain_failure
e2e_finish
