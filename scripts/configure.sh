#!/bin/bash
# Installs missing packages and configures the cross-build in the given folder.
#   configure.sh <build folder>
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$1

"$root/scripts/install-deps.sh"
mkdir -p "$build"
# The update host is compiled in; the test environment maps the same name.
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DZVU_UPDATE_HOST="${ZVU_UPDATE_HOST:-update.zelko.example}" > "$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
