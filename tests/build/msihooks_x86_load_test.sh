#!/bin/bash
# The 32-bit MsiHooks.dll loaded by a 32-bit program under Wine:
#   msihooks_x86_load_test.sh <x86 probe.exe> <x86 MsiHooks.dll>
# Needs 32-bit Wine (Debian's wine32 from the i386 architecture); without it
# the test reports itself skipped (exit 77).
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ ! -x /usr/lib/wine/wine ]; then
  echo "32-bit Wine (wine32:i386) is not installed: the x86 MsiHooks.dll is checked from the file only"
  exit 77
fi
exec "$here/../../scripts/wine-exec.sh" "$1" "$2"
