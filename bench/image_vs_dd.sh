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
# counterpart for; both write the same bytes with 1 MiB reads and writes.
set -eu
build=${1:-build}
size_mb=${2:-700}
name=image
. "$(dirname "$0")/iso-source.sh"
# Three rounds, each copy in turn; the fastest of each is compared, so that a
# burst of other work on the machine does not decide the ratio.
rounds=${ROUNDS:-3}
# Each output removed is synced away before the next copy is timed: freeing a
# synced 700 MB file costs the disk work (journal, discards) that would
# otherwise fall into whichever copy comes next.
settle() { rm -f "$@"; sync; }
sync  # the source just written, too
times=""
i=0
while [ "$i" -lt "$rounds" ]; do
  t0=$(now); dd if="$image" of="$work/dd.iso" bs=1M conv=fdatasync status=none; t0e=$(now)
  settle "$work/dd.iso"
  t1=$(now)
  "$cli" image "$image" "$work/out.iso" > /dev/null; t2=$(now)
  cmp -s "$image" "$work/out.iso" || { echo "the image differs from its source" >&2; exit 1; }
  settle "$work/out.iso" "$work/out.iso.map"
  t3=$(now); dd if="$image" of="$work/dd.iso" bs=1M status=none; t4=$(now)
  settle "$work/dd.iso"
  times="$times $t0 $t0e $t1 $t2 $t3 $t4"
  i=$((i + 1))
done

echo "$times" | awk -v b="$bytes" '{
  d = s = p = 1e9
  for (i = 1; i + 5 <= NF; i += 6) {
    if ($(i+1) - $i < d) d = $(i+1) - $i
    if ($(i+3) - $(i+2) < s) s = $(i+3) - $(i+2)
    if ($(i+5) - $(i+4) < p) p = $(i+5) - $(i+4)
  }
  if (d <= 0) d = 0.001; if (s <= 0) s = 0.001; if (p <= 0) p = 0.001
  printf "image     %d MB (%d sectors), fastest of %d rounds\n", b / 1048576, b / 2048, NF / 6
  printf "dd        %.3f s  %.0f MB/s (conv=fdatasync)\n", d, b / 1048576 / d
  printf "dd        %.3f s  %.0f MB/s (no sync)\n", p, b / 1048576 / p
  printf "image     %.3f s  %.0f MB/s\n", s, b / 1048576 / s
  printf "ratio     %.2f (image time / dd time with sync; the target is 1.1 or less)\n", s / d
  printf "ratio     %.2f (image time / dd time without sync)\n", s / p
}'
