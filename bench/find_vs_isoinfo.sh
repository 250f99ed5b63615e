#!/bin/sh
# Listing a large Rock Ridge volume: `tessal-cli find` against
# `isoinfo -R -l`, in the same run, on an image of FILES files (default
# 100 000, a byte each, 1000 to a folder under two levels of folders), made
# with genisoimage -R -J in a scratch folder removed afterwards.
#   bench/find_vs_isoinfo.sh [BUILD_DIR] [FILES] [ROUNDS]
# The image is read once first, so both work from the page cache; they take
# turns for ROUNDS rounds and each one's best and median time and largest
# peak resident set count. Each listing is checked for holding every file.
# Targets: find at most 1.0 x isoinfo's time, peak memory under 64 MiB.
set -eu
build=${1:-build}
nfiles=${2:-100000}
rounds=${3:-3}
command -v isoinfo >/dev/null || { echo "isoinfo is needed (Debian package genisoimage)" >&2; exit 2; }
if ! "$build/bin/tessal-cli" find --help > /dev/null 2>&1; then
  echo "tessal-cli has no find command yet: nothing to compare with isoinfo -R -l" >&2
  exit 0
fi

fill_source() {
  i=0
  while [ "$i" -lt "$nfiles" ]; do
    d="$1/g$((i / 10000))/f$((i / 1000))"
    mkdir -p "$d"
    # A folder's thousand files at once: one process, not a thousand.
    (cd "$d" && seq -f "n%06g.txt" "$i" "$((i + 999 < nfiles - 1 ? i + 999 : nfiles - 1))" | xargs sh -c 'for f; do printf x > "$f"; done' sh)
    i=$((i + 1000))
  done
}
iso_opts="-R -J"
size_mb=0
name=find
. "$(dirname "$0")/iso-source.sh"

t_find=""; t_isoinfo=""; m_find=""; m_isoinfo=""; all_find=""; all_isoinfo=""
r=0
while [ "$r" -lt "$rounds" ]; do
  run_measured "$cli" find "$image"
  t_find=$(least "$secs" "$t_find"); m_find=$(most "$kib" "$m_find"); all_find="$all_find $secs"
  run_measured isoinfo -R -l -i "$image"
  t_isoinfo=$(least "$secs" "$t_isoinfo"); m_isoinfo=$(most "$kib" "$m_isoinfo"); all_isoinfo="$all_isoinfo $secs"
  r=$((r + 1))
done
listed=$("$cli" find "$image" 2>/dev/null | grep -c '	file	' || true)
[ "$listed" -eq "$nfiles" ] || { echo "tessal-cli find listed $listed of $nfiles files" >&2; exit 1; }
seen=$(isoinfo -R -l -i "$image" | grep -c '^-' || true)
[ "$seen" -eq "$nfiles" ] || { echo "isoinfo listed $seen of $nfiles files" >&2; exit 1; }

# shellcheck disable=SC2086
med_find=$(median $all_find); med_isoinfo=$(median $all_isoinfo)
awk -v b="$bytes" -v n="$nfiles" -v tf="$t_find" -v ti="$t_isoinfo" -v mf="$m_find" -v mi="$m_isoinfo" \
    -v df="$med_find" -v di="$med_isoinfo" 'BEGIN {
  printf "image            %d MB, %d files (Rock Ridge + Joliet)\n", b / 1048576, n
  printf "tessal-cli find  %.3f s  peak %5.1f MiB\n", tf, mf / 1024
  printf "isoinfo -R -l    %.3f s  peak %5.1f MiB\n", ti, mi / 1024
  printf "ratio find/isoinfo  %.2f best, %.2f median (target 1.0 or less)\n", tf / ti, df / di
  printf "find peak memory    %.1f MiB (target under 64 MiB): %s\n", mf / 1024, (mf < 65536 ? "met" : "NOT met")
}'
