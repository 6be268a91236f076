#!/bin/bash
# Runs a Windows program under Wine in the prefix the test script prepared.
# ctest uses this as the cross-compiling emulator.
#
# The program's output goes through files: Wine may start background
# processes (a desktop, services) on behalf of the program, and those would
# otherwise inherit ctest's output pipes and keep ctest waiting after the
# test has ended.
: "${WINEPREFIX:?WINEPREFIX is not set: run the tests through scripts/test.sh}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
wine "$@" < /dev/null > "$out" 2> "$err"
rc=$?
cat "$out"
cat "$err" >&2
exit $rc
