#!/usr/bin/env bash
# Installs what is missing, builds and starts Tessal. Without a display the
# window is started under Xvfb and a screenshot is written so it can be seen.
#
#   TESSAL_BUILD_DIR     build folder (build)
#   TESSAL_SCREENSHOT    where the screenshot goes (/tmp/tessal-screenshot.png)
#   TESSAL_SHOT_DELAY    seconds from start to the screenshot (5): the device
#                        dialog opens by itself just after the window shows
#   TESSAL_RUN_SECONDS   how long the window stays up under Xvfb (20)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
dir=${TESSAL_BUILD_DIR:-build}
bin=$dir/bin/tessal
if [ ! -x "$bin" ]; then
  echo "run.sh: $bin was not built (is TESSAL_GUI off?)" >&2
  exit 1
fi
echo "Sample discs to open with \"[Image File]\": $dir/share/tessal/samples"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin" "$@"
fi
shot=${TESSAL_SCREENSHOT:-/tmp/tessal-screenshot.png}
echo "No display: starting Tessal under Xvfb for ${TESSAL_RUN_SECONDS:-20} s."
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$0" "${@:4}" & pid=$!
  sleep "$3"
  if kill -0 $pid 2>/dev/null; then
    import -window root "$1" && echo "Screenshot written to $1"
  else
    wait $pid; echo "Tessal ended before the screenshot (exit status $?)" >&2; exit 1
  fi
  sleep "$2"; kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true
' "$bin" "$shot" "${TESSAL_RUN_SECONDS:-20}" "${TESSAL_SHOT_DELAY:-5}" "$@"
