#!/bin/bash
# Builds what a benchmark needs, then runs it inside the isolated test
# environment as "<script> --inside <build folder>".
#   enter.sh <benchmark script> <build targets...> [-- <arguments of the script>]
# The script then runs as "<script> --inside <build folder> -- <arguments>".
# Uses the build in $ZVU_BUILD_DIR (default: build/).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZVU_BUILD_DIR:-$root/build}
script=$1
shift
targets=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do targets+=("$1"); shift; done

[ -f "$build/CMakeCache.txt" ] || "$root/scripts/configure.sh" "$build"
cmake --build "$build" --target "${targets[@]}" -j 2 > /dev/null
exec "$root/scripts/isolated-env.sh" "$script" --inside "$build" "$@"
