# Sourced by the benchmarks that time a reader of a hole-free ISO image:
#   build=DIR size_mb=N name=WORD; . bench/iso-source.sh
# Checks tessal-cli and genisoimage, makes "$work/disc.iso" of SIZE_MB of
# incompressible data in a scratch folder removed on exit, sets image, bytes,
# cli and now(), and reads the image once so every timed reader starts from a
# warm page cache.
cli="$build/bin/tessal-cli"
[ -x "$cli" ] || { echo "no $cli (build the tessal-cli target first)" >&2; exit 2; }
command -v genisoimage >/dev/null || { echo "genisoimage is needed" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tessal-$name-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/src"
# Incompressible content, so nothing along the way can take a short cut.
head -c "$((size_mb * 1024 * 1024))" /dev/urandom > "$work/src/payload.bin"
genisoimage -quiet -o "$work/disc.iso" "$work/src"
rm -f "$work/src/payload.bin"
image="$work/disc.iso"
bytes=$(stat -c %s "$image")

now() { date +%s.%N; }
cat "$image" > /dev/null
