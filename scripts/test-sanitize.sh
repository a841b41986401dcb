#!/usr/bin/env bash
# Builds the project with AddressSanitizer (with LeakSanitizer) and
# UndefinedBehaviorSanitizer in a build folder of its own and runs every
# test. Fails when a test fails or when any program, a test or a program a
# test starts, wrote a sanitizer report.
#   scripts/test-sanitize.sh
# ASAN_BUILD_DIR sets the build folder (default build-asan), JOBS the
# parallel jobs (default: the number of cores).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${ASAN_BUILD_DIR:-$root/build-asan}
jobs=${JOBS:-$(nproc)}
reports="$build/sanitizer-reports"

# AddressSanitizer and LeakSanitizer reports go to files as well as failing
# the program, so that one from a child process whose exit status or output
# a test does not look at is not missed.
export ASAN_OPTIONS="halt_on_error=1:log_path=$reports/report:detect_leaks=1:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVQ_SANITIZE=ON
log="$build/Testing/Temporary/LastTest.log"
rm -rf "$reports" "$log"
mkdir -p "$reports"
status=0
# The build runs the test programs too (to list their tests).
if ! cmake --build "$build" -j "$jobs"; then
  status=1
elif ! (cd "$build" && ctest --output-on-failure -j "$jobs"); then
  status=1
fi

# UndefinedBehaviorSanitizer writes to standard error only; CTest keeps
# every test's output in LastTest.log.
if [ -f "$log" ] && grep -E ': runtime error: ' "$log"; then
  echo "== UndefinedBehaviorSanitizer reports above (from $log)"
  status=1
fi
if compgen -G "$reports/report*" >/dev/null; then
  for report in "$reports"/report*; do
    echo "== sanitizer report $report"
    cat "$report"
  done
  status=1
fi
if [ $status -ne 0 ]; then
  echo "test-sanitize: FAILED" >&2
else
  echo "test-sanitize: every test passed, no sanitizer reports"
fi
exit $status
