#!/bin/bash
# The update road under Wine, against the bundled local update server:
# installs and starts the update service, which finds an update for an
# installed product in the server's catalogue and hands the catalogue to the
# user's tray client, starting the client in the user's session first; the
# client logs the catalogue and shows its balloon (kept as a screenshot).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZVU_BUILD_DIR:-$root/build}

"$root/scripts/configure.sh" "$build"
cmake --build "$build" -j "$(nproc)" --target ZelkoVuroUpdate ZelkoVuroUpdateGui zvu_test_packages ZelkoVuroCatalogue
exec "$root/scripts/isolated-env.sh" "$root/scripts/road/run-inside.sh" "$build"
