#!/bin/bash
# The install package under Wine's msiexec, installed silently as an
# administrator would:
#   - install: both programs in Program Files, the service entry and the
#     AppID entries exactly as "/Service" makes them, the service running;
#     the service starts the installed client, which receives the catalogue;
#   - upgrade from an older package version: one product, one service, one
#     service process; the old client is ended, and the new service hands
#     the catalogue to the new client;
#   - the older package is refused while the newer one is installed;
#   - uninstall: no files, folder, service entry, AppID keys, product entry
#     or processes are left.
#
#   package_install_test.sh <older .msi> <older version> <current .msi> <current version>
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/e2e.sh"
output_through_file "$@"
: "${ZVU_FIXTURE_DIR:?run through scripts/test.sh}"
older_msi=$1 older_version=$2 current_msi=$3 current_version=$4

appid='{CA3EC9AC-25E4-4AB4-83E0-C7E6CDADFE6B}'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
event_source_key="HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\$service_name"
scratch=$(mktemp -d)

msiexec() {  # msiexec <switch> <package>: silent, with a log; status of msiexec
  msiexec_run "$1" "$2" "$scratch/$(basename "$2" .msi)-${1#/}-$((++msiexec_runs)).log"
}
msiexec_runs=0
client_runs() { [ -n "$(client_pids)" ]; }
no_client_process() { [ -z "$(client_pids)" ]; }
end_programs() { { service_pids; client_pids; } | xargs -r kill 2>/dev/null; }

cleanup() {
  msiexec /x "$current_msi"
  msiexec /x "$older_msi"
  remove_service
  end_programs
  end_clients
  rm -rf "$install_dir" "$scratch" "$ZVU_FIXTURE_DIR/update.xml" "$service_log" "$client_log"
  remove_products 'Zvu Package Alpha'
}
trap cleanup EXIT

key_gone() { ! key_exists "$1"; }
# Product entries of the package (any version), as "<DisplayVersion>" lines.
product_versions() {
  wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | awk '
    /^HKEY_/ { if (name == "Zelko Vuro Update") print version; name = ""; version = "" }
    $1 == "DisplayName" { sub(/^ *DisplayName +REG_SZ +/, ""); name = $0 }
    $1 == "DisplayVersion" { sub(/^ *DisplayVersion +REG_SZ +/, ""); version = $0 }
    END { if (name == "Zelko Vuro Update") print version }'
}
service_entries() { wine reg query 'HKLM\System\CurrentControlSet\Services' 2>/dev/null | tr -d '\r' | grep -ci "\\\\$service_name\$"; }

# The served catalogue: an update that applies to the product created below.
set_installed 'Zvu Package Alpha' 2 3 10
catalogue="<?xml version=\"1.0\"?><catalogue><products><product><product>Zvu Package Alpha</product>\
<description>Alpha</description><major>2</major><minor>3</minor><build>0</build><size>1024</size>\
</product></products><updates><update><product>Zvu Package Alpha</product>\
<description>Alpha update</description><major>2</major><minor>3</minor><build>11</build>\
<subbuild>0</subbuild><url>http://$ZVU_UPDATE_HOST/files/alpha.msi</url><size>2048</size></update></updates></catalogue>"
printf '%s' "$catalogue" > "$ZVU_FIXTURE_DIR/update.xml"

# hand_off_checks <when>: the running service starts the installed client in
# the user's session and hands it the catalogue.
hand_off_checks() {
  require "$1: the service runs" wait_for 30 service_running
  check "$1: the service starts the client" wait_for 20 client_runs
  check "$1: the service hands the catalogue over" wait_for 30 handed_over
  check "$1: the client logs the catalogue it received" wait_for 20 client_received
}
logs_from_here_on() {  # the running programs keep writing to the unlinked files
  rm -f "$service_log" "$client_log"
}

# Other tests copy programs into the same folder; start from none, and from
# no service entry: one still marked for deletion makes the install fail.
remove_service
rm -rf "$install_dir"
logs_from_here_on
require "no service entry or process of an earlier test is left" wait_for 30 no_service_left

# --- Install the older version -------------------------------------------------
end_clients  # a client of an earlier test would keep the service's one from running
require "msiexec /i $older_version /qn succeeds" msiexec /i "$older_msi"
check "the service program is installed" test -f "$install_dir/ZelkoVuroUpdate.exe"
check "the client is installed beside it" test -f "$install_dir/ZelkoVuroUpdateGui.exe"
check_service_entry "$service_name" "$service_program"
check "AppID key default value" [ "$(reg_value "HKCR\\AppID\\$appid" /ve)" = "REG_SZ $service_name" ]
check "AppID key LocalService" [ "$(reg_value "HKCR\\AppID\\$appid" LocalService)" = "REG_SZ $service_name" ]
check "ZelkoVuroUpdate.EXE AppID" [ "$(reg_value 'HKCR\AppID\ZelkoVuroUpdate.EXE' AppID)" = "REG_SZ $appid" ]
check "the event source names the installed program" \
  [ "$(reg_value "$event_source_key" EventMessageFile)" = "REG_EXPAND_SZ $service_program" ]
check "product $older_version is registered" [ "$(product_versions)" = "$older_version" ]
hand_off_checks "after install"

# --- Upgrade ---------------------------------------------------------------------
logs_from_here_on
old_service=$(service_pids)
old_client=$(client_pids)
require "msiexec /i $current_version /qn succeeds over $older_version" msiexec /i "$current_msi"
check "one product entry, version $current_version ($(product_versions | paste -sd ' '))" \
  [ "$(product_versions)" = "$current_version" ]
check "one service entry" [ "$(service_entries)" = 1 ]
check "the service path is unchanged" [ "$(reg_value "$service_key" ImagePath)" = "REG_SZ \"$service_program\"" ]
old_service_ended() { [ -n "$old_service" ] && ! kill -0 $old_service 2>/dev/null; }
old_client_ended() { [ -n "$old_client" ] && ! kill -0 $old_client 2>/dev/null; }
check "the old service process has ended" wait_for 10 old_service_ended
check "the old client has been ended" wait_for 10 old_client_ended
hand_off_checks "after upgrade"
check "one service process" [ "$(service_pids | wc -l)" = 1 ]
check "one client process" [ "$(client_pids | wc -l)" = 1 ]

# --- Downgrade refused -------------------------------------------------------------
msiexec /i "$older_msi"
downgrade_status=$?
check "msiexec /i $older_version /qn is refused (status $downgrade_status)" [ "$downgrade_status" != 0 ]
check "version $current_version stays installed" [ "$(product_versions)" = "$current_version" ]
check "the service keeps running (state $(service_state))" service_running

# --- Uninstall -----------------------------------------------------------------------
check "msiexec /x /qn succeeds" msiexec /x "$current_msi"
check "no service process is left" wait_for 10 no_service_process
check "no client process is left" wait_for 10 no_client_process
check "the program folder is gone" test ! -e "$install_dir"
check "the service entry is gone" key_gone "$service_key"
check "the AppID key is gone" key_gone "HKCR\\AppID\\$appid"
check "ZelkoVuroUpdate.EXE is gone" key_gone 'HKCR\AppID\ZelkoVuroUpdate.EXE'
check "HKCR\\AppID itself stays" key_exists 'HKCR\AppID'
check "the event source is gone" key_gone "$event_source_key"
check "no product entry is left" [ -z "$(product_versions)" ]

[ "$e2e_failures" = 0 ] || explain_failure
e2e_finish
