#!/bin/sh
# Runs a test program under Wine with its Unix standard error in a file that
# is shown afterwards. Wine hands a program's Unix standard error on to every
# process started from it, including the desktop shell that Wine starts when
# a test first needs the desktop; that shell outlives the test, and ctest
# would wait for it to close the output pipe.
here=$(cd "$(dirname "$0")" && pwd)
errors=$(mktemp)
"$here/../../../scripts/wine-exec.sh" "$@" 2> "$errors"
rc=$?
cat "$errors" >&2
rm -f "$errors"
exit $rc
