#!/bin/sh
# Extraction against independent tools, in the same run:
#   tessal-cli extract SOURCE / DEST   vs  7z x   and  xorriso -osirrox
#   tessal-cli save-track SOURCE 1 X.iso  vs  dd
#   bench/extract_vs_7z.sh [BUILD_DIR] [SIZE_MB] [ROUNDS] [iso|udf]
# The disc is a Rock Ridge + Joliet image (genisoimage -R -J), or with udf a
# UDF bridge of the same tree (genisoimage -R -J -udf: tessal-cli and 7z
# both read its UDF side, xorriso its ISO 9660 side), of SIZE_MB of
# content: 3000 small files (1-32 KiB) in nested folders and 3 large ones,
# made in a scratch folder that is removed afterwards. The image is read once
# before anything is timed, so every reader works from the page cache; the
# tools take turns for ROUNDS rounds, each run after a sync into a folder of
# its own, and each tool's best time (for the ratio also the median) and
# largest peak resident set count. Every extraction is checked against the
# source tree.
# Targets: extract at most 0.8 x 7z's time, peak memory under 64 MiB.
# The scratch folder goes in TMPDIR (default /tmp). On an ext4 without a
# journal, every tool creates files several times slower for some minutes
# after many files were deleted (the kernel passes over recently freed
# inodes), so the times drift with the disk's history; an ext4 with a
# journal, the usual kind, has no such state. Compare ratios, not times.
set -eu
build=${1:-build}
size_mb=${2:-300}
rounds=${3:-3}
kind=${4:-iso}
case "$kind" in
  iso) iso_opts="-J -R"; track="DATA TRACK 1(ISO)"; label="Rock Ridge + Joliet" ;;
  udf) iso_opts="-J -R -udf"; track="DATA TRACK 1(UDF&ISO)"; label="UDF bridge" ;;
  *) echo "the disc is iso or udf, not $kind" >&2; exit 2 ;;
esac
for p in 7z xorriso dd; do
  command -v "$p" >/dev/null || { echo "$p is needed" >&2; exit 2; }
done

# Incompressible content, so no tool can take a short cut.
fill_source() {
  small_total=$((size_mb * 1024 * 1024 / 5))
  i=0; made=0
  while [ "$made" -lt "$small_total" ] && [ "$i" -lt 3000 ]; do
    d="$1/d$((i % 40))/s$((i % 7))"
    mkdir -p "$d"
    n=$(( (i * 7919 % 32 + 1) * 1024 ))
    head -c "$n" /dev/urandom > "$d/f$i.bin"
    made=$((made + n)); i=$((i + 1))
  done
  large=$(( (size_mb * 1024 * 1024 - made) / 3 ))
  for k in 1 2 3; do head -c "$large" /dev/urandom > "$1/large$k.dat"; done
}
name=extract
. "$(dirname "$0")/iso-source.sh"
src="$work/src"
files=$(find "$src" -type f | wc -l)
sync; sleep 2

# One run into DEST (made, and the disk synced, before the clock starts, so
# no run pays for another's writeback): the tool's best time and largest
# peak set go into the variables named by $1 and $2.
turn() {
  tv=$1; rv=$2; dest=$3; shift 3
  mkdir -p "$dest"; sync
  run_measured "$@"
  eval "$tv=\$(least \"\$secs\" \"\${$tv}\")"
  eval "all_$tv=\"\${all_$tv} \$secs\""
  eval "$rv=\$(most \"\$kib\" \"\${$rv}\")"
}
# Outputs are kept until the scratch folder goes at the end. Removing
# thousands of files just before a run made that run pay for them: ext4
# without a journal skips inodes freed within the last half minute at each
# new file's allocation, so whichever tool came next after a removal
# created its files several times slower, and the ratio followed the order.
check() {
  diff -r "$src" "$1" > /dev/null || { echo "$2: extracted tree differs from the source" >&2; exit 1; }
}

t_tessal=""; t_7z=""; t_xorriso=""; t_save=""; t_dd=""
all_t_tessal=""; all_t_7z=""; all_t_xorriso=""; all_t_save=""; all_t_dd=""
m_tessal=""; m_7z=""; m_xorriso=""; m_save=""; m_dd=""
r=0
while [ "$r" -lt "$rounds" ]; do
  o="$work/round$r"
  # Which of the two goes first alternates: the file system's state drifts
  # during a run (inodes freed before it are passed over for a while), and
  # whichever ran first in every round would meet the worse of it.
  if [ $((r % 2)) -eq 1 ]; then
    turn t_7z m_7z "$o/x2" 7z x -y -o"$o/x2" "$image"
    check "$o/x2" "7z x"
  fi
  turn t_tessal m_tessal "$o/x1" "$cli" extract "$image" / "$o/x1"
  check "$o/x1/$track" "tessal-cli extract"
  if [ $((r % 2)) -eq 0 ]; then
    turn t_7z m_7z "$o/x2" 7z x -y -o"$o/x2" "$image"
    check "$o/x2" "7z x"
  fi
  turn t_xorriso m_xorriso "$o/x3" xorriso -osirrox on -indev "$image" -extract / "$o/x3"
  chmod -R u+w "$o/x3"
  check "$o/x3" "xorriso -osirrox"
  turn t_save m_save "$o/s1" "$cli" save-track "$image" 1 "$o/s1/track.iso"
  cmp -s "$image" "$o/s1/track.iso" || { echo "save-track differs from the image" >&2; exit 1; }
  turn t_dd m_dd "$o/s2" dd if="$image" of="$o/s2/track.iso" bs=1M
  r=$((r + 1))
done

# shellcheck disable=SC2086
med_tessal=$(median $all_t_tessal); med_7z=$(median $all_t_7z)
awk -v label="$label" -v de="$med_tessal" -v d7="$med_7z" -v b="$bytes" -v files="$files" -v te="$t_tessal" -v t7="$t_7z" -v tx="$t_xorriso" -v ts="$t_save" -v td="$t_dd" \
    -v me="$m_tessal" -v m7="$m_7z" -v mx="$m_xorriso" -v ms="$m_save" -v md="$m_dd" 'BEGIN {
  mb = b / 1048576
  printf "image              %d MB, %d files (%s)\n", mb, files, label
  printf "tessal-cli extract %.3f s  %4.0f MB/s  peak %5.1f MiB\n", te, mb / te, me / 1024
  printf "7z x               %.3f s  %4.0f MB/s  peak %5.1f MiB\n", t7, mb / t7, m7 / 1024
  printf "xorriso -osirrox   %.3f s  %4.0f MB/s  peak %5.1f MiB\n", tx, mb / tx, mx / 1024
  printf "tessal-cli save    %.3f s  %4.0f MB/s  peak %5.1f MiB\n", ts, mb / ts, ms / 1024
  printf "dd                 %.3f s  %4.0f MB/s  peak %5.1f MiB\n", td, mb / td, md / 1024
  printf "ratio extract/7z       %.2f best, %.2f median (target 0.8 or less)\n", te / t7, de / d7
  printf "ratio extract/xorriso  %.2f\n", te / tx
  printf "ratio save-track/dd    %.2f\n", ts / td
  printf "extract peak memory    %.1f MiB (target under 64 MiB): %s\n", me / 1024, (me < 65536 ? "met" : "NOT met")
}'
# Each round's two runs met much the same state of the file system: their
# ratios, round by round, and the median of them.
# shellcheck disable=SC2086
printf '%s\n' $all_t_tessal > "$work/runs.tessal"
# shellcheck disable=SC2086
printf '%s\n' $all_t_7z > "$work/runs.7z"
paste -d ' ' "$work/runs.tessal" "$work/runs.7z" | awk '{ printf "%.4f\n", $1 / $2 }' > "$work/ratios"
# shellcheck disable=SC2046
printf 'ratio extract/7z by round%s (median %.2f)\n' "$(awk '{ printf " %.2f", $1 }' "$work/ratios")" "$(median $(cat "$work/ratios"))"
