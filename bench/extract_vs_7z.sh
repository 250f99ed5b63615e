#!/bin/sh
# Extraction and track saving against independent tools, in the same run:
#   tessal-cli extract SOURCE / DEST   vs  7z x   and  xorriso -osirrox
#   tessal-cli save-track SOURCE 1 X.iso  vs  dd
#   bench/extract_vs_7z.sh [BUILD_DIR] [SIZE_MB] [ROUNDS]
# The disc (SIZE_MB of content: thousands of small files in nested folders
# and a few large ones) is made with genisoimage in a scratch folder that is
# removed afterwards. The image is read once before anything is timed, so
# every reader works from the page cache; the tools take turns for ROUNDS
# rounds, each run after a sync with no other run's output left to remove,
# and each tool's best time counts. Every
# extraction is checked against the source tree.
set -eu
build=${1:-build}
size_mb=${2:-300}
rounds=${3:-3}
cli="$build/bin/tessal-cli"
[ -x "$cli" ] || { echo "no $cli (build the tessal-cli target first)" >&2; exit 2; }
for p in genisoimage 7z xorriso dd; do
  command -v "$p" >/dev/null || { echo "$p is needed" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tessal-extract-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
src="$work/src"
mkdir -p "$src"
# A fifth of the content in 4000 small files (1-64 KiB) over 40 folders, the
# rest in four large ones; incompressible, so no tool can take a short cut.
small_total=$((size_mb * 1024 * 1024 / 5))
i=0; made=0
while [ "$made" -lt "$small_total" ] && [ "$i" -lt 4000 ]; do
  d="$src/d$((i % 40))/s$((i % 7))"
  mkdir -p "$d"
  n=$(( (i * 7919 % 64 + 1) * 1024 ))
  head -c "$n" /dev/urandom > "$d/f$i.bin"
  made=$((made + n)); i=$((i + 1))
done
large=$(( (size_mb * 1024 * 1024 - made) / 4 ))
for k in 1 2 3 4; do head -c "$large" /dev/urandom > "$src/large$k.dat"; done
genisoimage -quiet -J -R -o "$work/disc.iso" "$src"
image="$work/disc.iso"
bytes=$(stat -c %s "$image")
files=$(find "$src" -type f | wc -l)
cat "$image" > /dev/null
sync; sleep 2

now() { date +%s.%N; }
# Seconds of one run of a command line into DEST (emptied, and the disk
# synced, before the clock starts, so no run pays for another's writeback).
timed() {
  dest=$1; shift
  mkdir -p "$dest"; sync
  t0=$(now); "$@" > /dev/null 2>&1; t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }'
}
# Removing a few hundred MB leaves the file system work to do later, which
# the next writer would pay for: each output goes, and settles, before the
# next run.
drop() { rm -rf "$@"; sync; sleep 2; }
least() { awk -v t="$1" -v b="$2" 'BEGIN { if (b == "" || t < b) print t; else print b }'; }
check() {
  diff -r "$src" "$1" > /dev/null || { echo "$2: extracted tree differs from the source" >&2; exit 1; }
}

# The tools take turns in every round; each one's best round counts.
t_tessal=""; t_7z=""; t_xorriso=""; t_save=""; t_dd=""
r=0
while [ "$r" -lt "$rounds" ]; do
  t_tessal=$(least "$(timed "$work/x1" "$cli" extract "$image" / "$work/x1")" "$t_tessal")
  check "$work/x1/DATA TRACK 1(ISO)" "tessal-cli extract"
  drop "$work/x1"
  t_7z=$(least "$(timed "$work/x2" 7z x -y -o"$work/x2" "$image")" "$t_7z")
  check "$work/x2" "7z x"
  drop "$work/x2"
  t_xorriso=$(least "$(timed "$work/x3" xorriso -osirrox on -indev "$image" -extract / "$work/x3")" "$t_xorriso")
  chmod -R u+w "$work/x3"
  check "$work/x3" "xorriso -osirrox"
  drop "$work/x3"
  t_save=$(least "$(timed "$work/s1" "$cli" save-track "$image" 1 "$work/s1/track.iso")" "$t_save")
  cmp -s "$image" "$work/s1/track.iso" || { echo "save-track differs from the image" >&2; exit 1; }
  drop "$work/s1"
  t_dd=$(least "$(timed "$work/s2" dd if="$image" of="$work/s2/track.iso" bs=1M)" "$t_dd")
  drop "$work/s2"
  r=$((r + 1))
done

awk -v b="$bytes" -v files="$files" -v te="$t_tessal" -v t7="$t_7z" -v tx="$t_xorriso" -v ts="$t_save" -v td="$t_dd" 'BEGIN {
  mb = b / 1048576
  printf "image              %d MB, %d files\n", mb, files
  printf "tessal-cli extract %.3f s  %.0f MB/s\n", te, mb / te
  printf "7z x               %.3f s  %.0f MB/s\n", t7, mb / t7
  printf "xorriso -osirrox   %.3f s  %.0f MB/s\n", tx, mb / tx
  printf "tessal-cli save    %.3f s  %.0f MB/s\n", ts, mb / ts
  printf "dd                 %.3f s  %.0f MB/s\n", td, mb / td
  printf "ratio extract/7z       %.2f (1 or less: not slower than 7z)\n", te / t7
  printf "ratio extract/xorriso  %.2f\n", te / tx
  printf "ratio save-track/dd    %.2f\n", ts / td
}'
