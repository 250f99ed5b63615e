#!/bin/sh
# Times `tessal-cli scan` of a hole-free ISO image against `cat` of the same
# file to /dev/null, in the same run, and prints the ratio.
#   bench/scan_vs_cat.sh [BUILD_DIR] [SIZE_MB]
# The image is made in a scratch folder (removed afterwards). Both readers
# get a warm page cache: the file is read once before either is timed, so
# the ratio is the cost of the scan itself, not of the disk.
set -eu
build=${1:-build}
size_mb=${2:-700}
name=scan
. "$(dirname "$0")/iso-source.sh"
# ROUNDS rounds (default 3), cat then the scan; the fastest of each is
# compared, so that a burst of other work on the machine does not decide it.
rounds=${ROUNDS:-3}
times=""
i=0
while [ "$i" -lt "$rounds" ]; do
  t0=$(now); cat "$image" > /dev/null; t1=$(now)
  rows=$("$cli" scan "$image" 2>/dev/null | wc -l); t2=$(now)
  times="$times $t0 $t1 $t2"
  i=$((i + 1))
done

echo "$times" | awk -v b="$bytes" -v rows="$rows" '{
  c = s = 1e9
  for (i = 1; i + 2 <= NF; i += 3) {
    if ($(i+1) - $i < c) c = $(i+1) - $i
    if ($(i+2) - $(i+1) < s) s = $(i+2) - $(i+1)
  }
  if (c <= 0) c = 0.001; if (s <= 0) s = 0.001
  printf "image     %d MB (%d sectors), %d error rows, fastest of %d rounds\n", b / 1048576, b / 2048, rows - 1, NF / 3
  printf "cat       %.3f s  %.0f MB/s\n", c, b / 1048576 / c
  printf "scan      %.3f s  %.0f MB/s\n", s, b / 1048576 / s
  printf "ratio     %.2f (scan time / cat time; the target is 1.2 or less)\n", s / c
}'
