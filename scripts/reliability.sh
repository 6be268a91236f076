#!/bin/bash
# The reliability campaign: runs every part in scripts/reliability/parts/
# against the real programs under Wine, each part in a fresh isolated test
# environment, and writes what was tried and what survived to
# docs/RELIABILITY.md.
#   scripts/reliability.sh [part name ...]    (default: every part)
# ZVU_RELIABILITY_SEED=<n> replaces the generators' fixed seed.
# Exits non-zero when any row of any part did not survive.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZVU_BUILD_DIR:-$root/build}
export ZVU_RELIABILITY_SEED=${ZVU_RELIABILITY_SEED:-20261208}
report=${ZVU_RELIABILITY_REPORT:-$root/docs/RELIABILITY.md}

"$root/scripts/configure.sh" "$build"
cmake --build "$build" -j "$(nproc)" > "$build/reliability-build.log" 2>&1 \
  || { tail -n 40 "$build/reliability-build.log"; exit 1; }

results=$(mktemp -d /tmp/zvu-reliability.XXXXXX)
trap 'rm -rf "$results"' EXIT

if [ $# -gt 0 ]; then
  parts=("$@")
else
  parts=()
  for script in "$root"/scripts/reliability/parts/*.sh; do parts+=("$(basename "$script" .sh)"); done
fi

started=$(date +%s)
failed=0
for part in "${parts[@]}"; do
  script="$root/scripts/reliability/parts/$part.sh"
  [ -f "$script" ] || { echo "no such part: $part" >&2; exit 2; }
  echo "== $part"
  part_started=$(date +%s)
  if ! "$root/scripts/isolated-env.sh" bash "$script" "$build" "$results/$part.md" 2>&1 | tee "$results/$part.log"; then
    failed=1
  fi
  [ "${PIPESTATUS[0]}" = 0 ] || failed=1
  grep -q '^| .* | FAIL |' "$results/$part.md" 2>/dev/null && failed=1
  echo "$part: $(( $(date +%s) - part_started )) s" >> "$results/durations"
done

{
  cat "$root/scripts/reliability/header.md"
  echo
  echo "Run of $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown),"
  echo "seed $ZVU_RELIABILITY_SEED, $(nproc) cores, $(wine --version 2>/dev/null || echo 'Wine'), $(( $(date +%s) - started )) s in all"
  echo "($(paste -sd, "$results/durations" | sed 's/,/, /g'))."
  for part in "${parts[@]}"; do
    echo
    if [ -s "$results/$part.md" ]; then cat "$results/$part.md"; else echo "## $part"; echo; echo "The part wrote no results (see its output)."; fi
  done
  mended=("$root"/scripts/reliability/mended-*.md)
  if [ -f "${mended[0]}" ]; then
    echo
    echo "## Faults the campaign found, and their mends"
    echo
    echo "Each was mended in the programs and is guarded by the regression test named."
    for file in "${mended[@]}"; do echo; cat "$file"; done
  fi
} > "$report"
echo "report: $report"
[ "$failed" = 0 ] && echo "result: every row survived" || echo "result: some rows did not survive (FAIL in the report)"
exit "$failed"
