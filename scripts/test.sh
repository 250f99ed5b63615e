#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
dir=${TESSAL_BUILD_DIR:-build}
cd "$dir"
ctest --output-on-failure -j"${TESSAL_JOBS:-2}"
