#!/usr/bin/env bash
# Configures and builds into build/ (or $TESSAL_BUILD_DIR). Extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${TESSAL_BUILD_DIR:-build}
gen=()
command -v ninja >/dev/null && [ ! -f "$dir/Makefile" ] && gen=(-G Ninja)
cmake -S . -B "$dir" "${gen[@]}" "$@" >/dev/null
cmake --build "$dir" -j"${TESSAL_JOBS:-2}"
