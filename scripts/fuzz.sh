#!/usr/bin/env bash
# Builds every libFuzzer target (fuzz/*) in build-fuzz/ with clang.
#   fuzz.sh                 build only
#   fuzz.sh --brief         build, then run each target for a short time
#                           (QUELLAN_FUZZ_SECONDS, default 20; QUELLAN_FUZZ_SEED,
#                           default 1) from its seed corpus; exits non-zero
#                           when any target crashes
# Crash inputs are kept in build-fuzz/artifacts/, new inputs in
# build-fuzz/corpus/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD"

brief=0
for arg in "$@"; do
  case "$arg" in
    --brief) brief=1 ;;
    *) echo "usage: $0 [--brief]" >&2; exit 2 ;;
  esac
done
seconds=${QUELLAN_FUZZ_SECONDS:-20}
# A fixed seed makes a brief run repeatable (a failure seen once is seen
# again); set QUELLAN_FUZZ_SEED=0 for a fresh random seed each run.
seed=${QUELLAN_FUZZ_SEED:-1}
dir=build-fuzz

if [ ! -f "$dir/CMakeCache.txt" ]; then
  gen=()
  command -v ninja >/dev/null && gen=(-G Ninja)
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  CC=clang CXX=clang++ cmake -S . -B "$dir" "${gen[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUELLAN_FUZZ=ON -DQUELLAN_TESTS=OFF -DQUELLAN_BENCH=OFF
fi
cmake --build "$dir" -j "$(nproc)" --target quellan_fuzzers

[ "$brief" -eq 1 ] || exit 0

status=0
mkdir -p "$dir/artifacts"
for bin in "$dir"/fuzz-bin/*; do
  [ -f "$bin" ] && [ -x "$bin" ] || continue
  name=$(basename "$bin")
  work="$dir/corpus/$name"
  mkdir -p "$work"
  corpora=("$work")
  seeds=""
  [ -f "$bin.corpus" ] && seeds=$(head -n1 "$bin.corpus")
  [ -n "$seeds" ] && [ -d "$seeds" ] && corpora+=("$seeds")
  echo "fuzz: $name for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -seed="$seed" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$dir/artifacts/$name-" "${corpora[@]}" >"$dir/$name.log" 2>&1; then
    echo "fuzz: $name FAILED; see $dir/$name.log and $dir/artifacts/" >&2
    tail -n 40 "$dir/$name.log" >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units' "$dir/$name.log" | sed "s/^/fuzz: $name /" || true
  fi
done
exit $status
