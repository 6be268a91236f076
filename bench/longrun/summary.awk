# Summary of the long run's samples (bench/longrun/run.sh writes one line a
# sample): first, last and largest value of each column, and the least-squares
# slope over the second half of the run, per hour.
#   awk -v restarts=<client restarts> -f summary.awk <samples>
# Columns: elapsed s; service: resident KiB, Linux threads, fds, Wine handles,
# Wine threads; client: the same five; hand-offs, catalogues received, service
# and client log bytes, catalogue build, what closing the wizard found, client
# pid, 1-minute load. "-" is a value not known in that sample.
function col(label, c, unit, scale) {
  n = 0; sx = sy = sxx = sxy = 0; mx = ""
  for (i = 1; i <= NR; i++) {
    if (v[i, c] == "-") continue
    if (mx == "" || v[i, c] + 0 > mx) mx = v[i, c] + 0
    if (first[c] == "") first[c] = v[i, c]
    last[c] = v[i, c]
    if (t[i] >= t[NR] / 2) { n++; sx += t[i]; sy += v[i, c]; sxx += t[i] * t[i]; sxy += t[i] * v[i, c] }
  }
  if (mx == "") { printf "  %-34s not available in any sample\n", label; return }
  slope = (n > 1 && n * sxx - sx * sx != 0) ? (n * sxy - sx * sy) / (n * sxx - sx * sx) * 3600 : 0
  printf "  %-34s first %9.1f  last %9.1f  max %9.1f  slope %+8.2f %s/h\n", label, first[c] / scale, last[c] / scale, mx / scale, slope / scale, unit
}
{ t[NR] = $1; for (c = 2; c <= NF; c++) v[NR, c] = $c; f = NF }
END {
  printf "run: %d s, %d samples; hand-offs logged %d, catalogues received by the client %d; client restarts %d\n", t[NR], NR, v[NR, 12], v[NR, 13], restarts
  print "service (ZelkoVuroUpdate.exe):"
  col("resident set (MiB)", 2, "MiB", 1024); col("Linux threads", 3, "", 1); col("open descriptors", 4, "", 1)
  col("Wine handles", 5, "", 1); col("Wine threads", 6, "", 1)
  print "client (ZelkoVuroUpdateGui.exe):"
  col("resident set (MiB)", 7, "MiB", 1024); col("Linux threads", 8, "", 1); col("open descriptors", 9, "", 1)
  col("Wine handles", 10, "", 1); col("Wine threads", 11, "", 1)
  print "logs:"
  col("service log (KiB)", 14, "KiB", 1024); col("client log (KiB)", 15, "KiB", 1024)
  for (i = 1; i <= NR; i++) la += v[i, 19]
  for (i = 1; i <= NR; i++) if (v[i, 17] == "closed") w++
  printf "wizards closed by the sampler: %d; 1-minute load average, mean over the samples: %.2f\n", w, la / NR
}