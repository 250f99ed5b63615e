# Sourced by the benchmarks that time readers of an ISO image:
#   build=DIR size_mb=N name=WORD; . bench/iso-source.sh
# Checks tessal-cli and genisoimage and makes "$work/disc.iso" in a scratch
# folder removed on exit. By default the image holds SIZE_MB of
# incompressible data in one file (removed from "$work/src" once the image is
# made); a benchmark that wants a tree defines fill_source (called with the
# source folder, which it keeps) and may set iso_opts for genisoimage before
# sourcing. Sets image, bytes, cli, now(), and run_measured (one run of a
# command: its seconds into $secs, its peak resident set in KiB into $kib),
# and reads the image once so every timed reader starts from a warm page
# cache.
cli="$build/bin/tessal-cli"
[ -x "$cli" ] || { echo "no $cli (build the tessal-cli target first)" >&2; exit 2; }
command -v genisoimage >/dev/null || { echo "genisoimage is needed" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed (Debian package time)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tessal-$name-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/src"
if command -v fill_source >/dev/null 2>&1; then
  fill_source "$work/src"
  genisoimage -quiet ${iso_opts:-} -o "$work/disc.iso" "$work/src"
else
  # Incompressible content, so nothing along the way can take a short cut.
  head -c "$((size_mb * 1024 * 1024))" /dev/urandom > "$work/src/payload.bin"
  genisoimage -quiet ${iso_opts:-} -o "$work/disc.iso" "$work/src"
  rm -f "$work/src/payload.bin"
fi
image="$work/disc.iso"
bytes=$(stat -c %s "$image")

now() { date +%s.%N; }
# One run of a command line, its output discarded: secs and kib are set.
run_measured() {
  t0=$(now)
  /usr/bin/time -f %M -o "$work/rss" "$@" > /dev/null 2>&1 || true
  t1=$(now)
  secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }')
  kib=$(tail -n 1 "$work/rss")
}
# The median of a list of numbers (the middle one, or the mean of the two
# middle ones).
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
# The smaller of two numbers ("" counts as none); the larger.
least() { awk -v t="$1" -v b="$2" 'BEGIN { if (b == "" || t < b) print t; else print b }'; }
most() { awk -v t="$1" -v b="$2" 'BEGIN { if (b == "" || t > b) print t; else print b }'; }
cat "$image" > /dev/null
