#!/bin/bash
# Builds the install package of the update system,
#   dist/ZelkoVuroUpdate-<version>.msi
# with the version from packaging/version. Configures and builds the two
# programs first (in $ZVU_BUILD_DIR, default build/), like scripts/test.sh.
#
# An administrator installs it silently with
#   msiexec /i ZelkoVuroUpdate-<version>.msi /qn
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZVU_BUILD_DIR:-$root/build}

"$root/scripts/configure.sh" "$build"
cmake --build "$build" -j "$(nproc)" --target zvu_package
version=$(tr -d ' \r\n' < "$root/packaging/version")
mkdir -p "$root/dist"
cp "$build/packaging/ZelkoVuroUpdate-$version.msi" "$root/dist/"
echo "$root/dist/ZelkoVuroUpdate-$version.msi"
