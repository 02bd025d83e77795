#!/usr/bin/env bash
# Builds every libFuzzer target (fuzz/*) in build-fuzz/ with clang.
#   fuzz.sh                          build only
#   fuzz.sh --brief                  build, then run each target for a short
#                                    time (QUELLAN_FUZZ_SECONDS, default 20)
#   fuzz.sh --seconds N [TARGET...]  build, then run each named target (all
#                                    when none is named) for N seconds, one
#                                    after the other, in one process each
# Runs start from the target's seed corpus and the inputs kept from earlier
# runs, with the seed QUELLAN_FUZZ_SEED (default 1, so that a failure repeats;
# 0 for a fresh random seed). One input may take QUELLAN_FUZZ_TIMEOUT seconds
# of wall-clock time (default 10; raise it on a busy machine). The script
# exits non-zero when any target crashes or times out. Crash inputs are kept in build-fuzz/artifacts/, new inputs in
# build-fuzz/corpus/<target>/, each run's output in build-fuzz/<target>.log.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD"

run=0
seconds=${QUELLAN_FUZZ_SECONDS:-20}
names=()
while [ $# -gt 0 ]; do
  case "$1" in
    --brief) run=1 ;;
    --seconds)
      [ $# -ge 2 ] && [[ "$2" =~ ^[0-9]+$ ]] || { echo "$0: --seconds needs a number" >&2; exit 2; }
      run=1; seconds=$2; shift ;;
    -*) echo "usage: $0 [--brief | --seconds N [TARGET...]]" >&2; exit 2 ;;
    *) names+=("$1") ;;
  esac
  shift
done
seed=${QUELLAN_FUZZ_SEED:-1}
timeout=${QUELLAN_FUZZ_TIMEOUT:-10}
dir=build-fuzz

CC=clang CXX=clang++ bash scripts/build.sh "$dir" --target quellan_fuzzers \
  -DQUELLAN_FUZZ=ON -DQUELLAN_TESTS=OFF -DQUELLAN_BENCH=OFF

[ "$run" -eq 1 ] || exit 0

bins=()
if [ ${#names[@]} -eq 0 ]; then
  for bin in "$dir"/fuzz-bin/*; do
    [ -f "$bin" ] && [ -x "$bin" ] && bins+=("$bin")
  done
else
  for name in "${names[@]}"; do
    [ -x "$dir/fuzz-bin/$name" ] || { echo "$0: no fuzz target $name" >&2; exit 2; }
    bins+=("$dir/fuzz-bin/$name")
  done
fi

status=0
mkdir -p "$dir/artifacts"
for bin in "${bins[@]}"; do
  name=$(basename "$bin")
  work="$dir/corpus/$name"
  mkdir -p "$work"
  corpora=("$work")
  seeds=""
  [ -f "$bin.corpus" ] && seeds=$(head -n1 "$bin.corpus")
  [ -n "$seeds" ] && [ -d "$seeds" ] && corpora+=("$seeds")
  echo "fuzz: $name for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -seed="$seed" -timeout="$timeout" -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$dir/artifacts/$name-" "${corpora[@]}" >"$dir/$name.log" 2>&1; then
    echo "fuzz: $name FAILED; see $dir/$name.log and $dir/artifacts/" >&2
    tail -n 40 "$dir/$name.log" >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units' "$dir/$name.log" | sed "s/^/fuzz: $name /" || true
  fi
done
exit $status
