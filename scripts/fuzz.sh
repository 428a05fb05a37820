#!/usr/bin/env bash
# Builds the libFuzzer programs (clang, with AddressSanitizer and UndefinedBehaviorSanitizer) into
# build-fuzz/ and runs each for a given time, at the lowest priority.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     (default: 600 seconds, every target)
#   FUZZ_JOBS=2 scripts/fuzz.sh 600           (two targets at a time; at most 2)
#
# A target is a file fuzz/fuzz_<TARGET>.cpp (jpeg, settings, log, cmdline). Each run starts from
# the seed corpus fuzz/corpus/<TARGET>/ and the regression inputs, works in a copy of them under
# build-fuzz/corpus/<TARGET>/ (the corpus it grows stays there for the next run), and leaves an
# input that fails in build-fuzz/crashes/<TARGET>/. Copy such an input to
# fuzz/regressions/<TARGET>/ once it is fixed; ctest then replays it in every build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds="${1:-600}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/fuzz_*.cpp; do t=${f#fuzz/fuzz_}; targets+=("${t%.cpp}"); done
fi
jobs="${FUZZ_JOBS:-1}"
[ "$jobs" -ge 1 ] && [ "$jobs" -le 2 ] || { echo "FUZZ_JOBS must be 1 or 2" >&2; exit 1; }

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DGLIMRA_FUZZ=ON -DGLIMRA_BENCH=OFF >/dev/null
nice -n 19 cmake --build build-fuzz -j 2 --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen LANG=nb_NO.UTF-8
# The log target writes and syncs a file per input; in memory that costs next to nothing.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

run_one() {
  local t=$1 dir="build-fuzz/corpus/$1" crashes="build-fuzz/crashes/$1" log="build-fuzz/fuzz-$1.log"
  mkdir -p "$dir" "$crashes"
  cp -n fuzz/corpus/"$t"/* "$dir"/ 2>/dev/null || true
  cp -n fuzz/regressions/"$t"/* "$dir"/ 2>/dev/null || true
  local status=0 start=$SECONDS
  nice -n 19 "build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 \
    -print_final_stats=1 -artifact_prefix="$crashes/" "$dir" >"$log" 2>&1 || status=$?
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "fuzz_$t: ${runs:-?} runs in $((SECONDS - start)) s, exit $status, corpus $(ls "$dir" | wc -l) inputs," \
       "$(ls "$crashes" | wc -l) failing inputs in $crashes (log: $log)"
  return "$status"
}

failed=0
pids=()
for t in "${targets[@]}"; do
  [ -f "fuzz/fuzz_$t.cpp" ] || { echo "no fuzz target $t" >&2; exit 1; }
  run_one "$t" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || failed=1; done
exit $failed
