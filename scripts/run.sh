#!/usr/bin/env bash
# Installs what is missing, builds and starts Tessal. Without a display the
# window is started under Xvfb and a screenshot is written so it can be seen.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
bin=${TESSAL_BUILD_DIR:-build}/bin/tessal
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin" "$@"
fi
shot=${TESSAL_SCREENSHOT:-/tmp/tessal-screenshot.png}
echo "No display: starting Tessal under Xvfb for ${TESSAL_RUN_SECONDS:-20} s."
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$0" "${@:3}" & pid=$!
  sleep 3
  import -window root "$1" && echo "Screenshot written to $1"
  sleep "$2"; kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true
' "$bin" "$shot" "${TESSAL_RUN_SECONDS:-20}" "$@"
