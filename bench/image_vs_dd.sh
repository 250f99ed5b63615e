#!/bin/sh
# Times `tessal-cli image` of a hole-free ISO image to a .iso against `dd` of
# the same user data to a file, in the same run, and prints the ratio.
#   bench/image_vs_dd.sh [BUILD_DIR] [SIZE_MB]
# The source is made in a scratch folder (removed afterwards) and read once
# before either copy is timed, so both start from a warm page cache. The image
# command makes its data durable before its mapfile claims it (fdatasync), so
# dd is timed with conv=fdatasync for the same promise; dd without it is shown
# beside for comparison. The image's time also holds the mapfile's own
# durable replacement (its fsync and its folder's), which dd has no
# counterpart for: on ext4 that journal commit is most of the difference.
set -eu
build=${1:-build}
size_mb=${2:-700}
name=image
. "$(dirname "$0")/iso-source.sh"
# Three rounds, each copy in turn; the fastest of each is compared, so that a
# burst of other work on the machine does not decide the ratio.
rounds=${ROUNDS:-3}
times=""
i=0
while [ "$i" -lt "$rounds" ]; do
  t0=$(now); dd if="$image" of="$work/dd.iso" bs=1M conv=fdatasync status=none; t1=$(now)
  rm -f "$work/dd.iso"
  "$cli" image "$image" "$work/out.iso" > /dev/null; t2=$(now)
  cmp -s "$image" "$work/out.iso" || { echo "the image differs from its source" >&2; exit 1; }
  rm -f "$work/out.iso" "$work/out.iso.map"
  t3=$(now); dd if="$image" of="$work/dd.iso" bs=1M status=none; t4=$(now)
  rm -f "$work/dd.iso"
  times="$times $t0 $t1 $t2 $t3 $t4"
  i=$((i + 1))
done

echo "$times" | awk -v b="$bytes" '{
  d = s = p = 1e9
  for (i = 1; i + 4 <= NF; i += 5) {
    if ($(i+1) - $i < d) d = $(i+1) - $i
    if ($(i+2) - $(i+1) < s) s = $(i+2) - $(i+1)
    if ($(i+4) - $(i+3) < p) p = $(i+4) - $(i+3)
  }
  if (d <= 0) d = 0.001; if (s <= 0) s = 0.001; if (p <= 0) p = 0.001
  printf "image     %d MB (%d sectors), fastest of %d rounds\n", b / 1048576, b / 2048, NF / 5
  printf "dd        %.3f s  %.0f MB/s (conv=fdatasync)\n", d, b / 1048576 / d
  printf "dd        %.3f s  %.0f MB/s (no sync)\n", p, b / 1048576 / p
  printf "image     %.3f s  %.0f MB/s\n", s, b / 1048576 / s
  printf "ratio     %.2f (image time / dd time with sync; the target is 1.1 or less)\n", s / d
  printf "ratio     %.2f (image time / dd time without sync)\n", s / p
}'
