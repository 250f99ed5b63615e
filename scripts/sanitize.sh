#!/usr/bin/env bash
# The test suite under the sanitizers:
#   build-asan: every test but the QEMU harness, built with AddressSanitizer
#               and UndefinedBehaviorSanitizer;
#   build-tsan: the tests with worker threads (copy engine, disc scan, audio
#               player, progress polling) under ThreadSanitizer.
#
#   scripts/sanitize.sh [asan|tsan]...   (default: both)
#
# Any report fails the run: UBSan halts on its first finding, ASan and TSan
# exit non-zero. Every test's timeout is its plain one times
# TESSAL_TEST_TIMEOUT_SCALE (default 5): the sanitizers slow the programs
# several times over, and a hang still ends in minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${TESSAL_JOBS:-2}
scale=${TESSAL_TEST_TIMEOUT_SCALE:-5}
which=("$@")
[ ${#which[@]} -eq 0 ] && which=(asan tsan)
supp=$PWD/scripts/lsan.supp

configure() {  # dir, sanitizers, extra cmake arguments...
  local dir=$1 san=$2
  shift 2
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DTESSAL_SANITIZE="$san" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  fi
  # An existing build (also one configured elsewhere) gets the scale too.
  cmake -DTESSAL_TEST_TIMEOUT_SCALE="$scale" "$dir" >/dev/null
}

for w in "${which[@]}"; do
  case $w in
    asan)
      # TESSAL_ASAN_DIR may name a build configured otherwise with ASan and
      # UBSan (scripts/robustness.sh: clang, with the fuzz targets).
      adir=${TESSAL_ASAN_DIR:-build-asan}
      configure "$adir" address,undefined
      cmake --build "$adir" -j"$jobs"
      # The QEMU harness runs the program inside an emulated machine, where
      # the sanitizers' cost is multiplied; the plain suite runs it.
      (cd "$adir" &&
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1 \
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        LSAN_OPTIONS=suppressions=$supp:print_suppressions=0 \
        ctest --output-on-failure -j"$jobs" -LE qemu)
      ;;
    tsan)
      configure build-tsan thread -DTESSAL_GUI=OFF
      # Only the folders whose tests start worker threads.
      # (The target list is read whole: grep -q closing the pipe early would
      # fail the pipeline under pipefail and drop the test.)
      targets=$(ninja -C build-tsan -t targets all)
      tsan_tests=()
      for t in test_copy test_views test_audio; do
        if grep -q "^$t:" <<<"$targets"; then tsan_tests+=("$t"); fi
      done
      cmake --build build-tsan -j"$jobs" --target "${tsan_tests[@]}"
      for t in "${tsan_tests[@]}"; do
        echo "== $t under ThreadSanitizer"
        (cd build-tsan &&
          TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
          TESSAL_SOURCE_DIR=$PWD/.. TESSAL_BIN_DIR=$PWD/bin QT_QPA_PLATFORM=offscreen \
          timeout $((120 * scale)) "tests/$t" --gtest_brief=1)
      done
      ;;
    *)
      echo "unknown: $w (asan or tsan)" >&2
      exit 2
      ;;
  esac
done
