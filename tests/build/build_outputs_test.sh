#!/bin/bash
# The build's outputs read from the files themselves:
#   build_outputs_test.sh <packaging/version> <x64 MsiHooks.dll> <x86 MsiHooks.dll> <program or DLL>...
# - both MsiHooks.dll export exactly the 19 custom actions, undecorated (a
#   32-bit __stdcall export would otherwise read CheckMMC@4);
# - every named file's version resource (numbers and texts) is packaging/version.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
version_file=$1 dll64=$2 dll32=$3
shift 3
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

expected_exports="CheckMMC CheckPrevVersion DeleteAllForUninstall DeleteInstallFiles DeletePrevFiles
DeletePrevRegEntries FilterExists InsertFilter InstallSnapin InstallStarted KillVuroUpdate RemoveFilter
ReplaceFilterPath StartVuroUpdate StartW3Progress StartW3SVC StopW3SVC UnInstallStarted UninstallSnapin"
expected_exports=$(echo $expected_exports | tr ' ' '\n' | sort)

# The names of objdump's export name table, one a line.
export_names() {
  "$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort
}

check_exports() {
  local objdump=$1 dll=$2 machine=$3 names
  [ -f "$dll" ] || { fail "$dll was not built"; return; }
  "$objdump" -f "$dll" | grep -q "file format $machine" || fail "$dll is not $machine: $("$objdump" -f "$dll" | grep 'file format')"
  names=$(export_names "$objdump" "$dll")
  if [ "$names" != "$expected_exports" ]; then
    fail "$dll exports other names than the 19 custom actions:"
    diff <(echo "$expected_exports") <(echo "$names")
  else
    echo "ok: $dll ($machine) exports the 19 custom actions"
  fi
}
check_exports x86_64-w64-mingw32-objdump "$dll64" pei-x86-64
check_exports i686-w64-mingw32-objdump "$dll32" pei-i386

read -r version < "$version_file"
expected="fixed $version.0 $version.0
FileVersion $version.0
ProductVersion $version.0"
for file in "$@" "$dll64" "$dll32"; do
  got=$(python3 "$here/read_file_version.py" "$file" 2>&1)
  if [ "$got" != "$expected" ]; then
    fail "$(basename "$file")'s version resource is not packaging/version ($version):"
    echo "$got"
  else
    echo "ok: $file has version $version.0"
  fi
done

[ $failures = 0 ] || { echo "$failures failure(s)"; exit 1; }
