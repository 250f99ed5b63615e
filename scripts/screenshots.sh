#!/usr/bin/env bash
# Takes screenshots of the GUI under Xvfb with ImageMagick's import, one run
# of the program per picture, into a folder outside the source tree.
#
#   scripts/screenshots.sh [OUTDIR]          (default /tmp/tessal-screenshots)
#
#   TESSAL_BUILD_DIR   build folder holding bin/tessal and share/tessal/samples (build)
#   TESSAL_IMAGE       the mixed-mode disc to show (<build>/share/tessal/samples/mixed-mode.cue)
#   TESSAL_SHOT_DELAY  seconds from start to each picture (3)
#
# Needs xvfb-run (xvfb) and import (imagemagick). Drives are left out
# (TESSAL_NO_DRIVES=1), so the device dialog lists only "[Image File]".
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-/tmp/tessal-screenshots}
build=${TESSAL_BUILD_DIR:-$src/build}
bin=$build/bin/tessal
image=${TESSAL_IMAGE:-$build/share/tessal/samples/mixed-mode.cue}
delay=${TESSAL_SHOT_DELAY:-3}

for tool in xvfb-run import; do
  command -v "$tool" >/dev/null || { echo "screenshots.sh: $tool is missing (apt-get install xvfb imagemagick)" >&2; exit 1; }
done
[ -x "$bin" ] || { echo "screenshots.sh: $bin was not built" >&2; exit 1; }
[ -f "$image" ] || { echo "screenshots.sh: no disc image at $image (build the samples or set TESSAL_IMAGE)" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)
case "$out/" in
  "$src"/*) echo "screenshots.sh: $out is inside the source tree; choose a folder outside it" >&2; exit 1 ;;
esac

# shot NAME ARGS...: starts the program with ARGS, waits, takes the screen.
shot() {
  local name=$1
  shift
  TESSAL_NO_DRIVES=1 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$0" "${@:3}" >/dev/null 2>&1 & pid=$!
    sleep "$2"
    if kill -0 $pid 2>/dev/null; then
      import -window root "$1"
    else
      echo "screenshots.sh: tessal ended before the picture $1" >&2
    fi
    kill $pid 2>/dev/null || true
    wait $pid 2>/dev/null || true
  ' "$bin" "$out/$name.png" "$delay" "$@"
  [ -f "$out/$name.png" ] && echo "$out/$name.png"
}

shot 01-main-data-track   --image "$image" --node "DATA TRACK 1"
shot 02-main-audio-cdtext --image "$image" --node "AUDIO TRACK 2"
shot 03-view-sector       --image "$image" --view 1
shot 04-view-toc          --image "$image" --view 2
shot 05-view-volume       --image "$image" --view 3
shot 06-view-devinfo      --image "$image" --view 4
shot 07-device-dialog
shot 08-menu-tools        --image "$image" --show menu-tools
shot 09-progress          --image "$image" --node "AUDIO TRACK 2" --show progress
shot 10-disc-scan         --image "$image" --show scan
shot 11-about             --show about
