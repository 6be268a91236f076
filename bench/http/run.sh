#!/bin/bash
# Download throughput over loopback from the fixture server in the isolated
# test environment, all of the same file, in interleaved rounds so that the
# load of the shared machine drifts over all of them alike. Each round:
#   floor      the bare asynchronous WinHTTP loop with the same 8192-byte
#              reads, writing to a file: no log, no window (http_floor_bench)
#   GetToFile  XHttpClient::GetToFile with the program log open, as the
#              programs run it; and again without the log
#   curl       the same file, curl's own large reads
#   page       the wizard's download page, the file its only chosen update
#   service    the service's own download of an installer (FetchInstaller)
#   bench/http/run.sh     (256 MiB, 7 rounds; ZVU_BENCH_MB=<n>, ZVU_BENCH_HTTP_ROUNDS=<n>)
# Prints each round, then the median of each figure with its range, and the
# ratios (median of the rounds' ratios, with their range).
# Uses the build in $ZVU_BUILD_DIR (default: build/), building the benchmarks first (bench/enter.sh).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ "${1:-}" != "--inside" ]; then
  exec "$root/bench/enter.sh" "$here/run.sh" http_download_bench http_floor_bench service_fetch_bench \
    wizard_download_bench
fi

build=$2
. "$root/scripts/lib/e2e.sh"
mb=${ZVU_BENCH_MB:-256}
rounds=${ZVU_BENCH_HTTP_ROUNDS:-7}
name="bench-${mb}m.bin"
source_file="$ZVU_FIXTURE_DIR/files/$name"
truncate -s "${mb}M" "$source_file"
out="$ZVU_ENV_DIR/bench-out"
mkdir -p "$out"
winout=$(winpath "$out")
url="http://$ZVU_UPDATE_HOST/files/$name"
figures="$out/figures.txt"
: > "$figures"

# one <label> <output file> <command...>: runs a timed download that prints
# "<bytes> <seconds> complete", checks the file against the source, and adds
# "<label> <round> <bytes> <seconds>" to the figures.
one() {
  local label=$1 file=$2 bytes secs state
  shift 2
  read -r bytes secs state < <("$@" | tr -d '\r' | tail -n1) || true
  if [ "${state:-}" != complete ] || { [ -n "$file" ] && ! cmp -s "$file" "$source_file"; }; then
    echo "$label: failed or differs in round $round (${bytes:-?} bytes, ${state:-no result})" >&2
    exit 1
  fi
  [ -z "$file" ] || rm -f "$file"
  echo "$label $round $bytes $secs" >> "$figures"
}

echo "file: $mb MiB, $url, $rounds rounds"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq 1 "$rounds"); do
  one floor "$out/floor.bin" wine "$build/bench/http/http_floor_bench.exe" "$ZVU_UPDATE_HOST" \
    "/files/$name" "$winout\\floor.bin"
  one getfile "$out/xhttp.bin" wine "$build/bench/http/http_download_bench.exe" "$ZVU_UPDATE_HOST" \
    "/files/$name" "$winout\\xhttp.bin" "$winout\\bench.log"
  one nolog "$out/xhttp.bin" wine "$build/bench/http/http_download_bench.exe" "$ZVU_UPDATE_HOST" \
    "/files/$name" "$winout\\xhttp.bin"
  one curl "$out/curl.bin" curl -sS -o "$out/curl.bin" -w '%{size_download} %{time_total} complete\n' "$url"
  # The page writes to the user's download folder and deletes the file itself.
  one page "" bash -c 'wine "$0" "$1" "$2" "$3" 1 page | tr -d "\r" |
      awk "\$1 == \"page\" { print \$2, \$3, \$4 }"' \
    "$build/bench/wizard/wizard_download_bench.exe" "$ZVU_UPDATE_HOST" "/files/$name" "$winout\\page.log"
  one service "$out/service.bin" wine "$build/bench/http/service_fetch_bench.exe" "$ZVU_UPDATE_HOST" \
    "/files/$name" "$winout\\service.bin" "$winout\\service.log"
  awk -v r="$round" '$2 == r { v[$1] = $3 / $4 / 1048576 } END {
    printf "round %d: floor %.1f, GetToFile %.1f (no log %.1f), curl %.1f, page %.1f, service %.1f MiB/s\n",
      r, v["floor"], v["getfile"], v["nolog"], v["curl"], v["page"], v["service"] }' "$figures"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

awk '
  { v[$1, $2] = $3 / $4 / 1048576; if ($2 > n) n = $2 }
  function median(a, k,   i, j, t) {
    for (i = 2; i <= k; i++) for (j = i; j > 1 && a[j] < a[j - 1]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2 }
  # figure <label> <over label or empty>: median and range over the rounds
  # of the throughput, or of its ratio to another figure of the same round.
  function figure(label, over,   a, r, lo, hi) {
    for (r = 1; r <= n; r++) {
      a[r] = over == "" ? v[label, r] : v[label, r] / v[over, r]
      if (r == 1 || a[r] < lo) lo = a[r]
      if (r == 1 || a[r] > hi) hi = a[r]
    }
    return sprintf(over == "" ? "%.1f MiB/s (%.1f–%.1f)" : "%.2f (%.2f–%.2f)", median(a, n), lo, hi) }
  END {
    printf "medians over %d rounds (range):\n", n
    printf "floor:                         %s\n", figure("floor", "")
    printf "GetToFile:                     %s\n", figure("getfile", "")
    printf "GetToFile without program log: %s\n", figure("nolog", "")
    printf "curl:                          %s\n", figure("curl", "")
    printf "download page:                 %s\n", figure("page", "")
    printf "service download:              %s\n", figure("service", "")
    printf "ratio GetToFile/floor:         %s\n", figure("getfile", "floor")
    printf "ratio no log/floor:            %s\n", figure("nolog", "floor")
    printf "ratio page/GetToFile:          %s\n", figure("page", "getfile")
    printf "ratio service/GetToFile:       %s\n", figure("service", "getfile")
    printf "ratio GetToFile/curl:          %s\n", figure("getfile", "curl")
    printf "ratio floor/curl:              %s\n", figure("floor", "curl")
  }' "$figures"
