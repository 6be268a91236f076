#!/bin/sh
# Builds the install package from two built programs:
#   build-msi.sh <version> <ZelkoVuroUpdate.exe> <ZelkoVuroUpdateGui.exe> <output .msi>
# The version is major.minor.build (at most 255.255.65535; the Windows
# Installer compares these three fields only).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
[ $# = 4 ] || { echo "usage: build-msi.sh <version> <service exe> <client exe> <output .msi>" >&2; exit 2; }
version=$1 service_exe=$2 client_exe=$3 output=$4

valid_version() {
  echo "$1" | grep -Eqx '[0-9]{1,3}\.[0-9]{1,3}\.[0-9]{1,5}' || return 1
  IFS=. read -r major minor build <<VERSION
$1
VERSION
  [ "$major" -le 255 ] && [ "$minor" -le 255 ] && [ "$build" -le 65535 ]
}
valid_version "$version" || { echo "build-msi.sh: '$version' is no package version (major.minor.build, at most 255.255.65535)" >&2; exit 2; }
for program in "$service_exe" "$client_exe"; do
  [ -f "$program" ] || { echo "build-msi.sh: $program is missing" >&2; exit 2; }
done

# wixl takes file sources relative to the working folder: stage the programs
# under their installed names.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$service_exe" "$stage/ZelkoVuroUpdate.exe"
cp "$client_exe" "$stage/ZelkoVuroUpdateGui.exe"
mkdir -p "$(dirname "$output")"
output_abs="$(cd "$(dirname "$output")" && pwd)/$(basename "$output")"
(cd "$stage" && wixl -a x64 -D Version="$version" -o "$output_abs.tmp" "$here/zelko-vuro-update.wxs")
# wixl knows no Execute="rollback": the custom actions named Rollback* come
# out as deferred ones and get the rollback bit (msidbCustomActionTypeRollback,
# 0x100) here.
rollbacks=$(msiinfo export "$output_abs.tmp" CustomAction | tr -d '\r' |
  awk -F'\t' 'NR > 3 && $1 ~ /^Rollback/ { print $1 "=" $2 }')
for rollback in $rollbacks; do
  msibuild "$output_abs.tmp" -q "UPDATE CustomAction SET Type = $((${rollback#*=} | 256)) WHERE Action = '${rollback%%=*}'"
done
mv "$output_abs.tmp" "$output_abs"
