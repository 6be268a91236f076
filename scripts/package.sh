#!/bin/bash
# Builds the signed deliverables of the update system into dist/:
#   dist/ZelkoVuroUpdate-<version>.msi   the install package (service and client)
#   dist/ZelkoVuroCatalogue.exe          the catalogue checker
#   dist/MsiHooks/x64/MsiHooks.dll, dist/MsiHooks/x86/MsiHooks.dll
# with the version from packaging/version. Configures and builds the programs
# first (in $ZVU_BUILD_DIR, default build/), like scripts/test.sh. Every file,
# the programs inside the package too, carries an Authenticode signature:
# with the maker's certificate when ZVU_SIGN_PFX and ZVU_SIGN_PASSWORD name
# it, else with a test certificate made in the build folder (see
# scripts/lib/signing.sh and the README).
#
# An administrator installs the package silently with
#   msiexec /i ZelkoVuroUpdate-<version>.msi /qn
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZVU_BUILD_DIR:-$root/build}
. "$root/scripts/lib/signing.sh"
# The build and the packaging tools need no password in their environment.
export -n ZVU_SIGN_PASSWORD

"$root/scripts/configure.sh" "$build"
cmake --build "$build" -j "$(nproc)" \
  --target ZelkoVuroUpdate ZelkoVuroUpdateGui ZelkoVuroCatalogue MsiHooks MsiHooksX86
package_signed "$build" "$root/dist"
