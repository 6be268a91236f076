#!/bin/bash
# Builds everything and runs every test under Wine in the isolated test
# environment. Extra arguments go to ctest, e.g. scripts/test.sh -R catalogue
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZVU_BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"
mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release > "$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)"
"$root/scripts/isolated-env.sh" ctest --test-dir "$build" --output-on-failure "$@"
