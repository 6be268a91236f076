#!/bin/bash
# Download throughput of the wizard's download page against XHttpClient::GetToFile
# alone, for the same file in the same run, over loopback from the fixture server.
#   bench/wizard/run.sh            (256 MiB, 2 rounds; ZVU_BENCH_MB=<n>, ZVU_BENCH_ROUNDS=<n>)
# Uses the build in $ZVU_BUILD_DIR (default: build/), building the benchmark first (bench/enter.sh).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ "${1:-}" != "--inside" ]; then
  exec "$root/bench/enter.sh" "$here/run.sh" wizard_download_bench
fi

build=$2
. "$root/scripts/lib/e2e.sh"
mb=${ZVU_BENCH_MB:-256}
rounds=${ZVU_BENCH_ROUNDS:-2}
name="bench-${mb}m.bin"
truncate -s "${mb}M" "$ZVU_FIXTURE_DIR/files/$name"
log=$(winpath "$ZVU_ENV_DIR/bench.log")

echo "file: $mb MiB, http://$ZVU_UPDATE_HOST/files/$name, $rounds rounds"
wine "$build/bench/wizard/wizard_download_bench.exe" "$ZVU_UPDATE_HOST" "/files/$name" "$log" "$rounds" \
  | tr -d '\r' | awk '
    $1 == "getfile" && $4 == "complete" { g[++ng] = $2 / $3 / 1048576; printf "GetToFile alone: %d bytes in %.3f s = %.1f MiB/s\n", $2, $3, g[ng] }
    $1 == "page" && $4 == "complete"    { p[++np] = $2 / $3 / 1048576; printf "download page:   %d bytes in %.3f s = %.1f MiB/s (ratio to the GetToFile before it: %.2f)\n", $2, $3, p[np], p[np] / g[np] }
    $4 != "complete" { print "failed: " $0; bad = 1 }
    function median(a, n,   i, j, t) {
      for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j] < a[j - 1]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
    END {
      if (ng && np) printf "medians: GetToFile %.1f MiB/s, page %.1f MiB/s, ratio %.2f\n", median(g, ng), median(p, np), median(p, np) / median(g, ng)
      exit bad }'
