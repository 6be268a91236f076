#!/bin/bash
# Renders one picture of the tray client from its SVG source.
#   render.sh icon   <source.svg> <out.ico>            16x16 and 32x32, 32-bit with alpha
#   render.sh bitmap <source.svg> <out.bmp> <w> <h>    24-bit BMP (BMP3), no alpha
# An icon may have a hand-tuned small version beside it: <name>-16.svg.
set -euo pipefail

kind=$1 source=$2 out=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

case "$kind" in
  icon)
    small=${source%.svg}-16.svg
    [ -f "$small" ] || small=$source
    rsvg-convert -w 16 -h 16 -o "$work/16.png" "$small"
    rsvg-convert -w 32 -h 32 -o "$work/32.png" "$source"
    convert "$work/16.png" "$work/32.png" "$out.tmp.ico"
    ;;
  bitmap)
    width=$4 height=$5
    rsvg-convert -w "$width" -h "$height" -b white -o "$work/full.png" "$source"
    convert "$work/full.png" -background white -alpha remove -alpha off -type TrueColor \
      "BMP3:$out.tmp.bmp"
    ;;
  *)
    echo "render.sh: unknown kind '$kind'" >&2
    exit 2
    ;;
esac
mv "$out.tmp.${out##*.}" "$out"
