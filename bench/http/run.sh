#!/bin/bash
# Download throughput of XHttpClient::GetToFile against curl for the same file,
# both over loopback from the fixture server in the isolated test environment.
#   bench/http/run.sh            (256 MiB; ZVU_BENCH_MB=<n> for another size)
# Uses the build in $ZVU_BUILD_DIR (default: build/), building the benchmark first (bench/enter.sh).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ "${1:-}" != "--inside" ]; then
  exec "$root/bench/enter.sh" "$here/run.sh" http_download_bench
fi

build=$2
. "$root/scripts/lib/e2e.sh"
mb=${ZVU_BENCH_MB:-256}
name="bench-${mb}m.bin"
truncate -s "${mb}M" "$ZVU_FIXTURE_DIR/files/$name"
out="$ZVU_ENV_DIR/bench-out"
mkdir -p "$out"
winout=$(winpath "$out")
url="http://$ZVU_UPDATE_HOST/files/$name"

echo "file: $mb MiB, $url"
read -r xbytes xsecs xstate < <(wine "$build/bench/http/http_download_bench.exe" "$ZVU_UPDATE_HOST" \
  "/files/$name" "$winout\\xhttp.bin" "$winout\\bench.log" | tr -d "\r")
[ "$xstate" = complete ] && cmp -s "$out/xhttp.bin" "$ZVU_FIXTURE_DIR/files/$name" \
  || { echo "XHttpClient download failed or differs" >&2; exit 1; }
rm -f "$out/xhttp.bin"
# The same download with no program log open, to show what the transfer log costs.
read -r nbytes nsecs nstate < <(wine "$build/bench/http/http_download_bench.exe" "$ZVU_UPDATE_HOST" \
  "/files/$name" "$winout\\xhttp.bin" | tr -d "\r")
rm -f "$out/xhttp.bin"
read -r cbytes csecs < <(curl -sS -o "$out/curl.bin" -w '%{size_download} %{time_total}\n' "$url")
rm -f "$out/curl.bin"

awk -v xb="$xbytes" -v xs="$xsecs" -v cb="$cbytes" -v cs="$csecs" -v nb="$nbytes" -v ns="$nsecs" 'BEGIN {
  x = xb / xs / 1048576; c = cb / cs / 1048576;
  printf "XHttpClient GetToFile: %d bytes in %.3f s = %.1f MiB/s\n", xb, xs, x;
  printf "  without program log: %d bytes in %.3f s = %.1f MiB/s\n", nb, ns, nb / ns / 1048576;
  printf "curl:                  %d bytes in %.3f s = %.1f MiB/s\n", cb, cs, c;
  printf "ratio XHttpClient/curl: %.2f\n", x / c }'
