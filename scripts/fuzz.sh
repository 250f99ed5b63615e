#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build-fuzz and runs
# each for a while from a corpus seeded by the tests' fixture builders.
#
#   scripts/fuzz.sh [-t SECONDS] [-j JOBS] [-n] [TARGET...]
#
# -t  seconds per target (default 60); -j  targets run at once (default 1, at
# most 2 on a shared machine); -n  run what is built, build nothing. Without
# targets, every fuzz_* target runs.
# The corpus grows in build-fuzz/corpus/<target> from run to run; a finding
# lands in build-fuzz/artifacts/<target>/ and makes the script fail. Each
# run's figures (executions, corpus, findings) go to build-fuzz/logs/ and the
# summary at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=60
jobs=1
build=1
while getopts "t:j:n" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    j) jobs=$OPTARG ;;
    n) build=0 ;;
    *) echo "usage: $0 [-t SECONDS] [-j JOBS] [-n] [TARGET...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
dir=${TESSAL_FUZZ_DIR:-build-fuzz}

if ! command -v clang++ >/dev/null; then
  echo "clang++ is needed (Debian: apt-get install clang)" >&2
  exit 1
fi
if [ ! -f "$dir/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DTESSAL_FUZZ=ON -DTESSAL_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
all=$(ninja -C "$dir" -t targets all | sed -n 's/^\(fuzz_[a-z0-9_]*\): phony$/\1/p' | grep -v '^fuzz_seeds$' | sort -u)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  # shellcheck disable=SC2206
  targets=($all)
fi
[ $build -eq 1 ] && cmake --build "$dir" -j"${TESSAL_JOBS:-2}" --target fuzz_seeds "${targets[@]}"

# Made afresh for each invocation (several may run at once).
seeds="$dir/seeds.$$"
rm -rf "$seeds"
trap 'rm -rf "$seeds"' EXIT
"$dir/fuzz/fuzz_seeds" "$seeds" >/dev/null
mkdir -p "$dir/logs"

# Inputs longer than a target needs only slow it down.
max_len() {
  case $1 in
    fuzz_image_*) echo 262144 ;;
    fuzz_browser | fuzz_udf | fuzz_extract | fuzz_iso_walk) echo 131072 ;;
    fuzz_toc | fuzz_panel_rows) echo 4096 ;;
    *) echo 16384 ;;
  esac
}

run_one() {
  local t=$1
  local corpus="$dir/corpus/$t" artifacts="$dir/artifacts/$t/" log="$dir/logs/$t.log"
  mkdir -p "$corpus" "$artifacts"
  local stamp="$dir/logs/$t.start"
  touch "$stamp"
  [ -d "$seeds/$t" ] && cp -n "$seeds/$t"/* "$corpus"/ 2>/dev/null || true
  local status=0
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1} \
    nice -n 10 "$dir/fuzz/$t" "$corpus" -max_total_time="$seconds" -max_len="$(max_len "$t")" -timeout=20 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts" >"$log" 2>&1 || status=$?
  local execs corpus_n found
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  corpus_n=$(find "$corpus" -type f | wc -l)
  found=$(find "$artifacts" -type f -newer "$stamp" | wc -l)
  printf '%-22s %4ss %12s execs %6s corpus %3s findings%s\n' "$t" "$seconds" "${execs:-?}" "$corpus_n" "$found" \
    "$([ $status -ne 0 ] && echo "  (exit $status, see $log)")"
  [ $status -eq 0 ] && [ "$found" -eq 0 ]
}

failed=0
running=0
pids=()
for t in "${targets[@]}"; do
  run_one "$t" &
  pids+=($!)
  running=$((running + 1))
  if [ $running -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ $running -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit $failed
