#!/bin/sh
# Runs a test program with its output going to a file, then prints the file.
# A Windows program that first needs the desktop makes Wine start
# "explorer.exe /desktop", which inherits the program's output handles and can
# outlive it; ctest would then wait for the output pipe until the test times
# out. With a file in between, only this script holds ctest's pipe.
out=$(mktemp)
"$@" > "$out" 2>&1 < /dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
