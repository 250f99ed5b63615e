#!/bin/sh
# Times `tessal-cli image` of a hole-free ISO image to a .iso against `dd` of
# the same user data to a file, in the same run, and prints the ratio.
#   bench/image_vs_dd.sh [BUILD_DIR] [SIZE_MB]
# The source is made in a scratch folder (removed afterwards) and read once
# before either copy is timed, so both start from a warm page cache. The image
# command makes its data durable before its mapfile claims it (fdatasync), so
# dd is timed with conv=fdatasync for the same promise; dd without it is shown
# beside for comparison.
set -eu
build=${1:-build}
size_mb=${2:-700}
cli="$build/bin/tessal-cli"
[ -x "$cli" ] || { echo "no $cli (build the tessal-cli target first)" >&2; exit 2; }
command -v genisoimage >/dev/null || { echo "genisoimage is needed" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tessal-image-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/src"
head -c "$((size_mb * 1024 * 1024))" /dev/urandom > "$work/src/payload.bin"
genisoimage -quiet -o "$work/disc.iso" "$work/src"
rm -f "$work/src/payload.bin"
image="$work/disc.iso"
bytes=$(stat -c %s "$image")

now() { date +%s.%N; }
cat "$image" > /dev/null

t0=$(now); dd if="$image" of="$work/dd.iso" bs=1M conv=fdatasync status=none; t1=$(now)
rm -f "$work/dd.iso"
"$cli" image "$image" "$work/out.iso" > /dev/null; t2=$(now)
cmp -s "$image" "$work/out.iso" || { echo "the image differs from its source" >&2; exit 1; }
rm -f "$work/out.iso" "$work/out.iso.map"
t3=$(now); dd if="$image" of="$work/dd.iso" bs=1M conv=fdatasync status=none; t4=$(now)
rm -f "$work/dd.iso"
t5=$(now); dd if="$image" of="$work/dd.iso" bs=1M status=none; t6=$(now)

awk -v b="$bytes" -v t0="$t0" -v t1="$t1" -v t2="$t2" -v t3="$t3" -v t4="$t4" -v t5="$t5" -v t6="$t6" 'BEGIN {
  d1 = t1 - t0; s = t2 - t1; d2 = t4 - t3; p = t6 - t5
  d = (d1 < d2 ? d1 : d2); if (d <= 0) d = 0.001; if (s <= 0) s = 0.001; if (p <= 0) p = 0.001
  printf "image     %d MB (%d sectors)\n", b / 1048576, b / 2048
  printf "dd        %.3f s  %.0f MB/s (conv=fdatasync)\n", d, b / 1048576 / d
  printf "dd        %.3f s  %.0f MB/s (no sync)\n", p, b / 1048576 / p
  printf "image     %.3f s  %.0f MB/s\n", s, b / 1048576 / s
  printf "ratio     %.2f (image time / dd time with sync; the target is 1.1 or less)\n", s / d
  printf "ratio     %.2f (image time / dd time without sync)\n", s / p
}'
