#!/bin/bash
# The install pipe of the real service under Wine's service control manager:
# a request from another process reaches the service (the client finds the
# pipe served by the service's own process), is logged with its requester,
# and is refused when the service's catalogue lists the update without a
# sha256, lists it for an older version, or does not list it even after a
# fresh fetch. Nothing is installed here; the pipe's name is free again once
# the service has stopped.
#
#   install_pipe_service_test.sh <ZelkoVuroUpdate.exe> <zvu_install_request.exe>
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../../scripts/lib/e2e.sh"
output_through_file "$@"
: "${ZVU_FIXTURE_DIR:?run through scripts/test.sh}"

product='Zvu Pipe Alpha'
digest=9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08
scratch=$(mktemp -d)
cleanup() {
  local before=$SECONDS
  remove_service
  end_clients
  remove_products "$product"
  rm -rf "$scratch"
  echo "# cleanup took $((SECONDS - before)) s"
}
trap cleanup EXIT
explain_failure() { echo "# service log:"; tr -d '\r' < "$service_log" 2>/dev/null | tail -n 40 | sed 's/^/#   /'; }

mkdir -p "$install_dir"
# The service alone: with an applicable update and no client registered it
# would start a tray client found beside it.
rm -f "$install_dir/ZelkoVuroUpdateGui.exe"
cp "$1" "$install_dir/"
cp "$2" "$scratch/zvu-install-request.exe"

set_installed "$product" 2 3 10
# 2.3.11 applies but has no digest; 2.3.9 has one but is older than 2.3.10.
older=$(update_xml "$product" 2 3 9 /files/alpha-old.msi 2048 | sed "s|</update>|<sha256>$digest</sha256></update>|")
serve_updates '' "$(update_xml "$product" 2 3 11 /files/alpha.msi 2048)" "$older"

# Every Wine program here writes to files, never to the test's output: a
# Wine process it starts on demand (and that lives on) would inherit that
# output and keep ctest waiting for its end.
ask() {
  timeout 60 wine "$scratch/zvu-install-request.exe" "$product" "$1" \
    < /dev/null > "$scratch/answer.txt" 2> /dev/null
  tr -d '\r' < "$scratch/answer.txt"
}
logged() { service_logged "$1"; }
start_service_alone

answer=$(ask 2.3.11.0)
check "an update listed without a sha256 is refused ($answer)" [ "$answer" = 'refused: listed without a sha256' ]
requested() { tr -d '\r' < "$service_log" | grep -qE "^Install requested PID: [0-9]+ user: .+ product: $product version: $1 \$"; }
check "the request is logged with its requester and what was asked" requested 2.3.11.0
check "… and why it was refused" logged "Install of $product 2.3.11.0 for user: "

answer=$(ask 2.3.9.0)
check "an update older than the installed version is refused ($answer)" [ "$answer" = 'refused: does not apply' ]

catalogue_requests() { wc -l < "$ZVU_FIXTURE_DIR/catalogue.log" 2>/dev/null || echo 0; }
requests_before=$(catalogue_requests)
answer=$(ask 2.3.12.0)
check "an update the catalogue does not list is refused ($answer)" [ "$answer" = "refused: not in the service's catalogue" ]
check "… after the service fetched the catalogue again" [ "$(catalogue_requests)" -gt "$requests_before" ]

stop_started=$SECONDS
net_command stop "$service_name"
check "net stop ends the service" wait_for 20 no_service_process
echo "# the service was gone after $((SECONDS - stop_started)) s"
answer=$(ask 2.3.11.0)
check "without the service nothing answers ($answer)" [ "$answer" = 'service not reached' ]

[ "$e2e_failures" = 0 ] || explain_failure
e2e_finish
