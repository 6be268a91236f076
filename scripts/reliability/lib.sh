# Shared by the parts of the reliability campaign; sourced by a part, which
# runs inside the isolated test environment as
#   bash <part>.sh <build folder> <results file>
# A part writes one section of the report: a heading, a sentence on what it
# covers, and a table with one row per kind of fault or input.
: "${WINEPREFIX:?run through scripts/reliability.sh}"
. "$(dirname "${BASH_SOURCE[0]}")/../lib/e2e.sh"

build=$1
results=$2
: > "$results"

# section <title> <sentence...>: starts the part's section and its table.
section() {
  local title=$1
  shift
  {
    echo "## $title"
    echo
    echo "$*"
    echo
    echo "| tried | times | survived | outcome | what the log says |"
    echo "|---|---|---|---|---|"
  } >> "$results"
}

# row <tried> <times> <survived> <ok|FAIL> <log line>: one row of the table.
# <survived> says what held (e.g. "no crash, no hang past 60 s, catalogue kept
# pending"); <log line> is the record an administrator finds, quoted as logged.
row() {
  local cell
  local cells=()
  for cell in "$@"; do cells+=("$(printf '%s' "$cell" | tr '\r\n|' '  /')"); done
  printf '| %s | %s | %s | %s | %s |\n' "${cells[@]}" >> "$results"
  echo "row: ${cells[0]}: ${cells[3]}"
}

# note <text...>: a paragraph after the table (findings, bounds, mended faults).
note() { { echo; echo "$*"; } >> "$results"; }

# seed: the campaign's fixed seed (recorded in the report's header).
seed() { echo "${ZVU_RELIABILITY_SEED:-20261208}"; }
