#!/usr/bin/env bash
# Demo: builds, starts the local service with demo content on 127.0.0.1 and
# installs the birch edition with quellan-cli into a temporary folder, twice
# (the second run finds every file in place and fetches nothing).
# Usage: demo.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || bash scripts/build.sh "$build" >/dev/null
cmake --build "$build" -j2 --target quellan-cli quellan-devserver >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/quellan-demo-XXXXXX")
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "== demo content"
"$build/quellan-devserver" --make-sample "$work/content"
port=8680
while (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; do port=$((port + 1)); done
"$build/quellan-devserver" --port "$port" --content "$work/content" >"$work/devserver.log" 2>&1 &
server=$!
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && break; sleep 0.1; done

export QUELLAN_SERVICE_BASE=http://127.0.0.1:$port QUELLAN_SERVICE_FALLBACK=http://127.0.0.1:$port
export HOME=$work/home TMPDIR=$work/tmp
mkdir -p "$HOME/Desktop" "$TMPDIR"
target=$work/games/Tolvar-birch/

echo "== quellan-cli check"
"$build/quellan-cli" check
echo "== quellan-cli install --edition birch --path $target"
"$build/quellan-cli" install --edition birch --path "$target"
echo "== again: every file is verified, nothing is fetched"
"$build/quellan-cli" install --edition birch --path "$target"
echo "== quellan-cli verify"
"$build/quellan-cli" verify --edition birch --path "$target"
echo "== installed: $(find "$target" -type f | wc -l) files, $(du -sh "$target" | cut -f1); shortcut:"
cat "$HOME/Desktop/Tolvar Realms.desktop"
