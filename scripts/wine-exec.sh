#!/bin/sh
# Runs a Windows program under Wine in the prefix the test script prepared.
# ctest uses this as the cross-compiling emulator.
: "${WINEPREFIX:?WINEPREFIX is not set: run the tests through scripts/test.sh}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
