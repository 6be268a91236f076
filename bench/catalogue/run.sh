#!/bin/bash
# ParseCatalogue on a generated catalogue of 10,000 updates: milliseconds and
# peak memory, under Wine in the isolated test environment.
#   bench/catalogue/run.sh
# Uses the build in $ZVU_BUILD_DIR (default: build/), building the benchmark first.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${ZVU_BUILD_DIR:-$root/build}

[ -f "$build/CMakeCache.txt" ] || "$root/scripts/configure.sh" "$build"
cmake --build "$build" --target catalogue_bench -j 2 > /dev/null
exec "$root/scripts/isolated-env.sh" wine "$build/bench/catalogue/catalogue_bench.exe"
