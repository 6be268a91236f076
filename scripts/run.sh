#!/bin/bash
# The road of one update under Wine, against the bundled local update server:
# installs the update system from its own package, and lets the service find
# an update, start the user's tray client and hand it the catalogue; the
# wizard then downloads and installs the chosen updates. Then the same for a
# client started with the limited token (as on a user-account-control
# desktop): its verified update is installed by the service.
#
#   scripts/run.sh                 clicks through the wizard with real input,
#                                  keeps a screenshot of every page
#   scripts/run.sh --interactive   shows the desktop on your display ($DISPLAY)
#                                  and leaves the wizard to you
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZVU_BUILD_DIR:-$root/build}

mode=auto
case "${1:-}" in
  "") ;;
  --interactive)
    mode=interactive
    case "${DISPLAY:-}" in
      :*) export ZVU_SHOW_ON_DISPLAY=$DISPLAY ;;
      *) echo "run.sh: --interactive needs a local X display (DISPLAY=:N), found '${DISPLAY:-}'" >&2; exit 2 ;;
    esac ;;
  *) echo "usage: scripts/run.sh [--interactive]" >&2; exit 2 ;;
esac

"$root/scripts/configure.sh" "$build"
# The programs and their package; the sample installers, the msiexec stand-in
# and the probes that read the wizard's pages come from the test fixtures.
cmake --build "$build" -j "$(nproc)" --target zvu_package ZelkoVuroCatalogue zvu_test_packages \
  zvu_fake_setup zvu_msiexec_standin zvu_desktop_probe zvu_wizard_probe zvu_limited_start
exec "$root/scripts/isolated-env.sh" "$root/scripts/road/run-inside.sh" "$build" "$mode"
