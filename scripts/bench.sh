#!/usr/bin/env bash
# Runs the benchmarks against their peers. Usage: bench.sh [--quick] [BUILD_DIR]
# --quick keeps each benchmark's run under a minute. Builds what the
# benchmarks need. Runs the download benchmark (its last line is the
# "ratios: ..." summary), then the patch benchmark against zsync.
set -euo pipefail
cd "$(dirname "$0")/.."
quick=()
build=build
for arg in "$@"; do
  case $arg in
    --quick) quick=(--quick) ;;
    *) build=$arg ;;
  esac
done
[ -f "$build/CMakeCache.txt" ] || bash scripts/build.sh "$build" >/dev/null
cmake --build "$build" -j2 --target quellan-cli quellan-devserver quellan-publish quellan-bench-content \
  quellan-bench-receive >/dev/null
bash bench/download/run.sh "${quick[@]}" "$build"
bash bench/patch/run.sh "${quick[@]}" "$build"
