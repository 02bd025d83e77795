#!/usr/bin/env bash
# Builds what is missing and runs every test: once in the normal build,
# once under AddressSanitizer + UndefinedBehaviorSanitizer, then a short fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD"

bash scripts/build.sh build
bash scripts/build.sh build-asan -DQUELLAN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
echo "== tests (sanitizers) =="
(cd build-asan && ctest --output-on-failure -j "$(nproc)" --timeout 300) || status=1
echo "== tests =="
(cd build && ctest --output-on-failure -j "$(nproc)" --timeout 300) || status=1
if [ -x scripts/fuzz.sh ]; then
  echo "== fuzz (brief) =="
  bash scripts/fuzz.sh --brief || status=1
fi
exit $status
