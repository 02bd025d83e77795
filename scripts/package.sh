#!/usr/bin/env bash
# Builds the Debian package of the installer (quellan, quellan-cli, menu entry,
# icons, manual pages) with CPack and prints its path.
# Usage: package.sh [--no-build] [--out DIR] [BUILD_DIR]
#   BUILD_DIR  the build tree to package (default build; built first unless
#              --no-build); a sanitizer build is refused
#   --out DIR  where the .deb goes (default BUILD_DIR/package)
set -euo pipefail
cd "$(dirname "$0")/.."
build_first=1
out=""
dir=build
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) build_first=0 ;;
    --out) out=${2:?--out needs a folder}; shift ;;
    -*) echo "package.sh: unknown option $1" >&2; exit 2 ;;
    *) dir=$1 ;;
  esac
  shift
done
if [ -f "$dir/CMakeCache.txt" ] && grep -q '^QUELLAN_SANITIZE:BOOL=ON' "$dir/CMakeCache.txt"; then
  echo "package.sh: $dir is a sanitizer build; package a normal one" >&2
  exit 2
fi
if [ "$build_first" = 1 ]; then
  export CCACHE_BASEDIR="$PWD"
  bash scripts/build.sh "$dir"
fi
[ -f "$dir/CPackConfig.cmake" ] || { echo "package.sh: $dir is not a configured build tree" >&2; exit 2; }
out=$(realpath -m "${out:-$dir/package}")
mkdir -p "$out"
# CPack stages the installation under the output folder; a stale .deb there
# must not pass for the new one.
rm -rf "$out/_CPack_Packages" "$out"/*.deb
(cd "$dir" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; exit 1; }
debs=("$out"/*.deb)
[ -f "${debs[0]}" ] || { cat "$out/cpack.log" >&2; echo "package.sh: cpack made no .deb" >&2; exit 1; }
echo "${debs[0]}"
