#!/bin/sh
# runcmds.sh CLI LIST OUTDIR TAG=SOURCE...
#
# Runs every line of LIST with tessal-cli and keeps what each printed, so the
# same list gives comparable results on the host (SOURCE an image file) and in
# the guest (SOURCE a drive node). Plain POSIX sh: the guest has busybox only.
#
# A line of LIST is tab-separated: NAME, TAG, then the command's arguments.
# TAG picks the source ("-" for a command without one); in the arguments,
# @SRC@ stands for that source, @OUT@ for OUTDIR/NAME.d (a file the command
# writes) and @OUTDIR@ for the same path made a folder first (@OUTDIR@/x: a
# file in it). For each NAME the runner writes NAME.out (stdout),
# NAME.err (stderr) and NAME.rc (exit status), with the source's own name
# replaced by @SRC@ so the host and the guest texts can be compared.
set -u
cli=$1
list=$2
outdir=$3
shift 3
mkdir -p "$outdir"

# TAG=SOURCE pairs (sources without blanks), looked up per line.
maps="$*"
lookup() {
  want=$1
  shift
  for m in $maps; do
    case "$m" in
      "$want="*) printf '%s\n' "${m#*=}"; return 0 ;;
    esac
  done
  return 1
}

# Replaces every occurrence of the literal text $2 in file $1 with @SRC@.
unsource() {
  [ -s "$1" ] || return 0
  awk -v s="$2" '{
    out = ""; line = $0
    while ((i = index(line, s)) > 0) { out = out substr(line, 1, i - 1) "@SRC@"; line = substr(line, i + length(s)) }
    print out line
  }' "$1" > "$1.tmp" && mv "$1.tmp" "$1"
}

tab=$(printf '\t')
set -f
while IFS= read -r line || [ -n "$line" ]; do
  [ -n "$line" ] || continue
  case "$line" in "#"*) continue ;; esac
  old_ifs=$IFS
  IFS=$tab
  # shellcheck disable=SC2086
  set -- $line
  IFS=$old_ifs
  name=$1
  tag=$2
  shift 2
  src=
  if [ "$tag" != "-" ]; then
    src=$(lookup "$tag") || { echo "runcmds: no source for tag $tag" >&2; exit 2; }
  fi
  # Rebuild the argument list with the placeholders filled in.
  n=$#
  i=0
  while [ $i -lt $n ]; do
    a=$1
    shift
    case "$a" in
      @SRC@) a=$src ;;
      @OUT@) a=$outdir/$name.d ;;
      @OUTDIR@*) mkdir -p "$outdir/$name.d"; a=$outdir/$name.d${a#@OUTDIR@} ;;
    esac
    set -- "$@" "$a"
    i=$((i + 1))
  done
  "$cli" "$@" > "$outdir/$name.out" 2> "$outdir/$name.err" < /dev/null
  echo $? > "$outdir/$name.rc"
  if [ -n "$src" ]; then
    unsource "$outdir/$name.out" "$src"
    unsource "$outdir/$name.err" "$src"
  fi
  unsource "$outdir/$name.err" "$outdir/$name.d"
done < "$list"
