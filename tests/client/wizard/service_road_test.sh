#!/bin/bash
# The wizard of a client started with the limited token, with the real
# service running under Wine's service control manager: a verified update
# installs through the service (the installer runs from the service's folder
# as its child, the registry shows the new version, the finish page reports
# success), and a download whose bytes differ from the listed digest runs
# nothing. The wizard's side is checked by its in-process tests
# (download_page_test.cpp), the service's log here.
#
#   service_road_test.sh <ZelkoVuroUpdate.exe> <zvu_limited_start.exe> <client_wizard_tests.exe>
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../../scripts/lib/e2e.sh"
output_through_file "$@"
: "${ZVU_FIXTURE_DIR:?run through scripts/test.sh}"

scratch=$(mktemp -d)
cleanup() {
  remove_service
  end_clients
  remove_products Alpha Beta
  rm -rf "$scratch"
}
trap cleanup EXIT
explain_more() {
  echo "--- the wizard's tests:"
  tr -d '\r' < "$scratch/wizard.txt" 2>/dev/null | tail -n 60
}

mkdir -p "$install_dir"
# The service alone: with an applicable update and no client registered it
# would start a tray client found beside it.
rm -f "$install_dir/ZelkoVuroUpdateGui.exe"
cp "$1" "$install_dir/"
serve_updates '' ''  # the wizard's tests serve their own catalogues

logged() { service_logged "$1"; }
start_service_alone

# Wine programs write to files, never to the test's output: a Wine process
# started on demand would inherit it and keep ctest waiting.
timeout 200 wine "$2" "$3" --gtest_brief=1 \
  --gtest_filter='DownloadPageTest.AVerifiedUpdateOfALimitedClientInstallsThroughTheService:DownloadPageTest.TheServiceRunsNothingWhoseDigestDiffers' \
  < /dev/null > "$scratch/wizard.txt" 2>&1
status=$?
tr -d '\r' < "$scratch/wizard.txt" | sed 's/^/# /'
check "the wizard's tests pass with the limited token (status $status)" [ "$status" = 0 ]
ran_both() { tr -d '\r' < "$scratch/wizard.txt" | grep -qE '^\[  PASSED  \] 2 tests'; }
check "… both of them, none skipped" ran_both

requested() { tr -d '\r' < "$service_log" | grep -qE "^Install requested PID: [0-9]+ user: .+ product: $1 version: 1\.1\.0\.0 \$"; }
check "the service logs who asked for Alpha" requested Alpha
check "the service installed Alpha from its own copy" logged "Service install of Alpha 1.1.0.0 succeeded, log "
check "the service logs why Beta's download was not run" \
  logged "Installer of Beta rejected: expected sha256 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"
check "… and did not run it" eval '! logged "Service install of Beta 1.1.0.0 succeeded"'

[ "$e2e_failures" = 0 ] || explain_failure
e2e_finish
