#!/bin/sh
# Builds a package whose installation fails right after /Service: the
# product's package with one more deferred action, after RegisterService,
# that ends with exit code 7. The product's own build script and source are
# used, copied with the change into a folder of their own.
#   build-failing-package.sh <packaging folder> <version> <ZelkoVuroUpdate.exe> <ZelkoVuroUpdateGui.exe> <output .msi>
set -eu
[ $# = 5 ] || { echo "usage: build-failing-package.sh <packaging folder> <version> <service exe> <client exe> <output .msi>" >&2; exit 2; }
packaging=$1 version=$2 service_exe=$3 client_exe=$4 output=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$packaging/build-msi.sh" "$work/"
awk '
  /<InstallExecuteSequence>/ {
    print "    <CustomAction Id=\"FindFailingCommand\" Property=\"FAILAFTERSERVICE\" Value=\"[System64Folder]cmd.exe\" />"
    print "    <CustomAction Id=\"FailAfterService\" Property=\"FAILAFTERSERVICE\" ExeCommand=\"/c exit 7\""
    print "                  Execute=\"deferred\" Impersonate=\"no\" Return=\"check\" />"
    print
    print "      <Custom Action=\"FindFailingCommand\" Sequence=\"1430\" />"
    print "      <Custom Action=\"FailAfterService\" Sequence=\"4020\" />"
    found = 1
    next
  }
  { print }
  END { if (!found) exit 1 }
' "$packaging/zelko-vuro-update.wxs" > "$work/zelko-vuro-update.wxs"
sh "$work/build-msi.sh" "$version" "$service_exe" "$client_exe" "$output"
