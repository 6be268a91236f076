#!/bin/bash
# ParseCatalogue on a generated catalogue of 10,000 updates: milliseconds and
# peak memory, under Wine in the isolated test environment.
#   bench/catalogue/run.sh [UPDATES...]   (default 10000; e.g. 100 10000 100000,
#                                          each in a process of its own)
# Uses the build in $ZVU_BUILD_DIR (default: build/), building the benchmark first.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ "${1:-}" != "--inside" ]; then
  exec "$root/bench/enter.sh" "$here/run.sh" catalogue_bench -- "$@"
fi
build=$2
shift 2
[ "${1:-}" = -- ] && shift
[ $# -gt 0 ] || set -- 10000
for count in "$@"; do
  wine "$build/bench/catalogue/catalogue_bench.exe" "$count" | tr -d '\r'
done
