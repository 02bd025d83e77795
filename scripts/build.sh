#!/usr/bin/env bash
# Configures and builds one build tree.
# Usage: build.sh DIR [--target NAME]... [extra cmake args...]
# Without --target everything is built. Extra cmake arguments (and the
# compilers in CC/CXX) take effect when DIR is configured the first time.
set -euo pipefail
cd "$(dirname "$0")/.."
# Paths relative to the checkout, so that another clone of the tree (CI's)
# finds what ccache already compiled.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
dir=${1:-build}; shift || true
targets=()
while [ $# -ge 2 ] && [ "$1" = --target ]; do
  targets+=(--target "$2")
  shift 2
done
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# QUELLAN_WERROR=1 (set by CI) makes warnings in our own code errors.
werror=()
[ "${QUELLAN_WERROR:-0}" = 1 ] && werror=(-DQUELLAN_WERROR=ON)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" "${gen[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${werror[@]}" "$@"
elif [ ${#werror[@]} -gt 0 ]; then
  cmake -S . -B "$dir" "${werror[@]}" >/dev/null
fi
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
