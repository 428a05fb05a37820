#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite twice: in the normal build
# (build/) and in the sanitized one (build-asan/: clang with AddressSanitizer and
# UndefinedBehaviorSanitizer), where any sanitizer report fails the run. The end-to-end tests get
# an X server of their own (Xvfb), started here and stopped afterwards.
#
#   scripts/test.sh                 both passes
#   scripts/test.sh normal          the normal build only
#   scripts/test.sh sanitized       the sanitized build only
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
passes=("$@")
[ ${#passes[@]} -gt 0 ] || passes=(normal sanitized)
for p in "${passes[@]}"; do
  case "$p" in normal|sanitized) ;; *) echo "Ukjent testløp: $p (normal eller sanitized)" >&2; exit 2 ;; esac
done
scripts/setup.sh

source scripts/xvfb.bash
start_xvfb 90 130 /tmp/glimra-xvfb.log
trap 'kill $xvfb_pid 2>/dev/null || true; wait $xvfb_pid 2>/dev/null || true' EXIT
export GLIMRA_E2E_DISPLAY="$xvfb_display"

# (A pass is called where a failure does not stop the script, so each step says so itself.)
normal_pass() {
  (cd build && ctest --output-on-failure -j 2 --timeout 600) || return 1
  # The Debian package, installed, started and removed (as root only; see the script).
  scripts/package-check.sh || return 1
}

# Every process of the pass (test programs, the program the tests start, its children) writes
# its sanitizer reports into one folder, so a report from a program that a test only starts and
# stops is not lost with that program's output. The static check reads the sources, not the
# build, and has run in the normal pass.
sanitized_pass() {
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DGLIMRA_SANITIZE=ON -DGLIMRA_BENCH=OFF
  cmake --build build-asan -j "$(nproc)"
  local reports="$root/build-asan/sanitizer-reports"
  rm -rf "$reports"
  mkdir -p "$reports"
  local status=0
  (
    cd build-asan
    export ASAN_OPTIONS="log_path=$reports/report:detect_leaks=1:check_initialization_order=1:detect_stack_use_after_return=1"
    export UBSAN_OPTIONS="log_path=$reports/report:print_stacktrace=1:halt_on_error=1"
    export LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0"
    ctest --output-on-failure -j 2 --timeout 900 -E '^static_cppcheck$'
  ) || status=$?
  if [ -n "$(ls -A "$reports")" ]; then
    echo "Rapporter fra sanitizer (build-asan/sanitizer-reports):" >&2
    for f in "$reports"/*; do echo "== $f" >&2; cat "$f" >&2; done
    status=1
  fi
  return $status
}

failed=()
for p in "${passes[@]}"; do
  echo "== Testløp: $p"
  "${p}_pass" || failed+=("$p")
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Feilet: ${failed[*]}" >&2
  exit 1
fi
