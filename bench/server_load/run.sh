#!/bin/bash
# What one installation's update checks cost the update server, with and
# without conditional requests, for the demo catalogue and a 1 MB catalogue.
#   bench/server_load/run.sh          (ZVU_BENCH_CHECKS=<n> checks each, default 20)
# Measured inside the isolated test environment, whose only traffic is the
# benchmark's: the loopback interface's byte count (/proc/net/dev; TCP/IP,
# TLS and HTTP, both directions) before and after the checks, and the HTTP
# bytes of one answer (status line, headers and body) as curl sees them.
# Checks come 50 s apart in the field, each with its own WinHTTP session, so
# every check here opens its own TLS connection too (the fixture server
# closes the connection after each catalogue answer).
# Uses the build in $ZVU_BUILD_DIR (default: build/), building the benchmark first (bench/enter.sh).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ "${1:-}" != "--inside" ]; then
  exec "$root/bench/enter.sh" "$here/run.sh" server_load_bench
fi

build=$2
checks=${ZVU_BENCH_CHECKS:-20}
bench="$build/bench/server_load/server_load_bench.exe"
per_day=$((86400 / 50))   # one check every 50 seconds

. "$root/scripts/lib/e2e.sh"
# The product the demo's update applies to.
set_installed Alpha 1 0 0 0

lo_bytes() { awk -F'[: ]+' '$2 == "lo" { print $3 }' /proc/net/dev; }  # received = sent on loopback

demo="$ZVU_FIXTURE_DIR/demo.xml"
# The demo's catalogue, with sizes and digests of the right length in place of the built installers'.
sed -e "s/@UPDATE_HOST@/$ZVU_UPDATE_HOST/g" -e "s/@[A-Z]*_SIZE@/40960/g" \
    -e "s/@[A-Z]*_SHA256@/$(printf '%064d' 0)/g" "$root/scripts/road/catalogue.xml" > "$demo"
big="$ZVU_FIXTURE_DIR/big.xml"
python3 - "$demo" "$big" <<'PY'
import sys
demo = open(sys.argv[1], encoding="latin-1").read()
products = []
i = 0
while sum(map(len, products)) < 1024 * 1024:
    products.append("    <product><product>Zelko Product %05d</product><description>Zelko "
                    "product %d, the one that does it all, now faster</description><major>%d"
                    "</major><minor>0</minor><build>0</build><subbuild>0</subbuild><size>%d"
                    "</size></product>\n" % (i, i, 1 + i % 9, 40960 + i))
    i += 1
open(sys.argv[2], "w", encoding="latin-1").write(
    demo.replace("  <products>\n", "  <products>\n" + "".join(products), 1))
PY

touch "$ZVU_FIXTURE_DIR/update.close"
printf '%-8s %-14s %9s %11s %13s %13s %14s\n' catalogue requests body answer "wire/check" "per day" "304 answers"
for name in demo big; do
  cp "${!name}" "$ZVU_FIXTURE_DIR/update.xml"
  size=$(stat -c %s "$ZVU_FIXTURE_DIR/update.xml")
  url="https://$ZVU_UPDATE_HOST/update/"
  full=$(curl -sS -o /dev/null -w '%{size_header} %{size_download}' "$url" | awk '{ print $1 + $2 }')
  etag=$(curl -sS -D - -o /dev/null "$url" | tr -d '\r' | awk -F': ' 'tolower($1) == "etag" { print $2 }')
  short=$(curl -sS -o /dev/null -H "If-None-Match: $etag" -w '%{size_header} %{size_download}' "$url" | awk '{ print $1 + $2 }')
  for mode in unconditional conditional; do
    : > "$ZVU_FIXTURE_DIR/catalogue.log"
    before=$(lo_bytes)
    read -r _ found ms < <(wine "$bench" "$checks" "$mode" | tr -d '\r')
    after=$(lo_bytes)
    wire=$(( (after - before) / checks ))
    # Once the catalogue is kept, a check costs a 304 exchange: leave out the
    # first check, which fetched the whole catalogue like an unconditional one.
    [ "$mode" = unconditional ] && full_wire=$wire
    [ "$mode" = conditional ] && wire=$(( (after - before - full_wire) / (checks - 1) ))
    answers304=$(grep -c '^304' "$ZVU_FIXTURE_DIR/catalogue.log" || true)
    answer=$full; [ "$mode" = conditional ] && answer="$short*"
    printf '%-8s %-14s %9d %11s %13d %13s %14s\n' "$name" "$mode" "$size" "$answer" "$wire" \
      "$(awk -v b="$wire" -v n="$per_day" 'BEGIN { printf "%.1f MB", b * n / 1e6 }')" \
      "$answers304/$checks"
    [ "$found" = "$checks" ] || echo "  (only $found of $checks checks found the update)" >&2
  done
done
echo "answer: HTTP bytes of a full answer (status line, headers, body); * = a 304 answer"
echo "wire/check: loopback bytes per check, both directions, TCP/IP + TLS + HTTP;"
echo "  conditional: the checks after the first, which fetched the whole catalogue"
echo "per day: $per_day checks (one every 50 s)"
