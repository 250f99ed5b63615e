#!/bin/sh
# Times `tessal-cli scan` of a hole-free 700 MB ISO image against `cat` of
# the same file to /dev/null, in the same run, and prints the ratio.
#   bench/scan_vs_cat.sh [BUILD_DIR] [SIZE_MB]
# The image is made in a scratch folder (removed afterwards). Both readers
# get a warm page cache: the file is read once before either is timed, so
# the ratio is the cost of the scan itself, not of the disk.
set -eu
build=${1:-build}
size_mb=${2:-700}
name=scan
. "$(dirname "$0")/iso-source.sh"

t0=$(now); cat "$image" > /dev/null; t1=$(now)
rows=$("$cli" scan "$image" 2>/dev/null | wc -l); t2=$(now)
t3=$(now); cat "$image" > /dev/null; t4=$(now)

awk -v b="$bytes" -v t0="$t0" -v t1="$t1" -v t2="$t2" -v t3="$t3" -v t4="$t4" -v rows="$rows" 'BEGIN {
  c1 = t1 - t0; s = t2 - t1; c2 = t4 - t3
  c = (c1 < c2 ? c1 : c2); if (c <= 0) c = 0.001; if (s <= 0) s = 0.001;
  printf "image     %d MB (%d sectors), %d error rows\n", b / 1048576, b / 2048, rows - 1
  printf "cat       %.3f s  %.0f MB/s\n", c, b / 1048576 / c
  printf "scan      %.3f s  %.0f MB/s\n", s, b / 1048576 / s
  printf "ratio     %.2f (scan time / cat time; the target is 2 or less)\n", s / c
}'
