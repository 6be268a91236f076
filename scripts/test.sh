#!/bin/bash
# Builds everything and runs every test under Wine in the isolated test
# environment. Extra arguments go to ctest, e.g. scripts/test.sh -R catalogue
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZVU_BUILD_DIR:-$root/build}

"$root/scripts/configure.sh" "$build"
cmake --build "$build" -j "$(nproc)"
"$root/scripts/isolated-env.sh" ctest --test-dir "$build" --output-on-failure "$@"
