#!/usr/bin/env bash
# The robustness runs CI makes after the test suite, within a time budget:
#   1. one clang build with AddressSanitizer, UndefinedBehaviorSanitizer and
#      the fuzzers' coverage (build-robust): the whole test suite runs there
#      (but the QEMU harness, which the plain suite runs), then every fuzz
#      target from its seeds;
#   2. the tests with worker threads under ThreadSanitizer (build-tsan).
#
#   scripts/robustness.sh
#
# TESSAL_CI_DEADLINE: the epoch second by which everything should be done
# (default: 40 minutes from now). The fuzz targets share what time is left
# after the builds and the sanitizer suites: at most TESSAL_CI_FUZZ_SECONDS
# each (default 60), never less than 10. Every step's time is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
start=$(date +%s)
deadline=${TESSAL_CI_DEADLINE:-$((start + 40 * 60))}
most=${TESSAL_CI_FUZZ_SECONDS:-60}
jobs=${TESSAL_JOBS:-2}
dir=build-robust
step() { echo "== $1 ($(( $(date +%s) - start )) s into the robustness runs)"; }

step "clang build with ASan, UBSan and fuzzer coverage"
if [ ! -f "$dir/build.ninja" ]; then
  # Line tables only and -O1: enough for the sanitizers' stack traces, and
  # a good deal quicker to build than -O2 with full debug information.
  CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DTESSAL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" >/dev/null
fi
cmake --build "$dir" -j"$jobs"

step "the test suite under ASan and UBSan"
TESSAL_ASAN_DIR=$dir scripts/sanitize.sh asan

step "the threaded tests under TSan"
scripts/sanitize.sh tsan

targets=$(ninja -C "$dir" -t targets all | sed -n 's/^\(fuzz_[a-z0-9_]*\): phony$/\1/p' | grep -v '^fuzz_seeds$' | sort -u)
count=$(wc -w <<<"$targets")
left=$((deadline - $(date +%s) - 60))
per=$(( left > 0 ? left * jobs / count : 0 ))
per=$(( per > most ? most : per ))
per=$(( per < 10 ? 10 : per ))
step "$count fuzz targets, $per s each, $jobs at a time"
TESSAL_FUZZ_DIR=$dir scripts/fuzz.sh -n -t "$per" -j "$jobs"
step "done"
