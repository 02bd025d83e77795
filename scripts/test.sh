#!/usr/bin/env bash
# Builds what is missing and runs every test: once in the normal build,
# once under AddressSanitizer + UndefinedBehaviorSanitizer, the engine and
# quellan-cli tests once more under ThreadSanitizer, then a short fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD"

bash scripts/build.sh build
bash scripts/build.sh build-asan -DQUELLAN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
# Only the tests whose subject is threads: the job engine and its front end.
bash scripts/build.sh build-tsan --target quellan_tests_engine --target quellan_tests_cli -DQUELLAN_TSAN=ON \
  "-DQUELLAN_TEST_FOLDERS=engine;tools"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
passed=0
failed=0
# Runs CTest in one build tree (further arguments go to ctest) and adds its
# counts to the totals.
run_ctest() {
  local log
  log=$(mktemp)
  (cd "$1" && ctest --output-on-failure -j "$(nproc)" --timeout 300 "${@:2}") 2>&1 | tee "$log" || status=1
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    status=1
  else
    bad=$(sed -E 's/.*, ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  fi
  rm -f "$log"
}
echo "== tests (sanitizers) =="
run_ctest build-asan
echo "== tests =="
run_ctest build
echo "== tests (thread sanitizer: engine, quellan-cli) =="
# The tree builds only those two executables; the others of their folders
# show as NOT_BUILT.
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp" \
  run_ctest build-tsan -E '_NOT_BUILT$'
if [ -x scripts/fuzz.sh ]; then
  echo "== fuzz (brief) =="
  bash scripts/fuzz.sh --brief || status=1
fi
[ "$failed" -eq 0 ] || status=1
echo "tests: $passed passed, $failed failed"
exit $status
