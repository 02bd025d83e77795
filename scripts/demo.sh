#!/usr/bin/env bash
# Demo: the installer installs the birch edition from a local service.
#
# Starts quellan-devserver with its sample content on 127.0.0.1, makes a demo
# Wine prefix with a signed, running, logged-in accelerator (a real Wine
# prefix when wine64 is installed, otherwise a prepared one with a stand-in
# process; see scripts/make-demo-prefix.sh), and runs the installer against
# them with a private home and temporary folder.
#
#   - With a display (DISPLAY or WAYLAND_DISPLAY set): build/quellan opens the
#     player's window; pick an edition, press 开始下载, close it when done.
#   - Without one, or with QUELLAN_DISPLAY=virtual: a scripted walk-through
#     (select birch, press start, wait for completion, confirm) on the virtual
#     display writes numbered screenshots to a folder it prints.
# Either way it ends with the installed file count and the desktop entry.
#
# Usage: demo.sh [--shots DIR] [BUILD_DIR]
#   --shots DIR   keep the screenshots in DIR (scripts/make-screenshots.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
shots=
if [ "${1:-}" = --shots ]; then
  shots=$2
  shift 2
fi
build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || bash scripts/build.sh "$build" --target quellan >/dev/null
cmake --build "$build" -j2 --target quellan quellan-walkthrough quellan-devserver >/dev/null

outer_tmp=${TMPDIR:-/tmp}
work=$(mktemp -d "$outer_tmp/quellan-demo-XXXXXX")
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null || true
  bash scripts/make-demo-prefix.sh --stop "$work/prefix" >/dev/null 2>&1 || true
  # Wine's server may still write its last files into the prefix for a moment.
  for _ in $(seq 20); do rm -rf "$work" 2>/dev/null && break; sleep 0.5; done
}
trap cleanup EXIT

echo "== demo content and local service"
"$build/quellan-devserver" --make-sample "$work/content"
port=8680
while (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; do port=$((port + 1)); done
"$build/quellan-devserver" --port "$port" --content "$work/content" >"$work/devserver.log" 2>&1 &
server=$!
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && break; sleep 0.1; done

echo "== demo Wine prefix with the accelerator"
bash scripts/make-demo-prefix.sh "$work/prefix" >/dev/null

export QUELLAN_SERVICE_BASE=http://127.0.0.1:$port QUELLAN_SERVICE_FALLBACK=http://127.0.0.1:$port
export WINEPREFIX=$work/prefix
export HOME=$work/home TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/home/.config XDG_STATE_HOME=$work/home/.local/state
unset XDG_DESKTOP_DIR
mkdir -p "$HOME/Desktop" "$TMPDIR"
target=$HOME/Games/Tolvar-birch

if [ "${QUELLAN_DISPLAY:-}" != virtual ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== the installer's window: choose 白桦 · Birch and press 开始下载"
  "$build/quellan"
else
  out=$shots
  [ -n "$out" ] || out=$(mktemp -d "$outer_tmp/quellan-demo-shots-XXXXXX")
  echo "== scripted walk-through on the virtual display; screenshots in $out"
  QUELLAN_DISPLAY=virtual "$build/quellan-walkthrough" --out "$out" --edition birch
fi

if [ -d "$target" ]; then
  echo "== installed: $(find "$target" -type f | wc -l) files, $(du -sh "$target" | cut -f1) in $target"
else
  echo "== nothing installed in $target"
fi
entry="$HOME/Desktop/Tolvar Realms.desktop"
if [ -f "$entry" ]; then
  echo "== desktop entry $entry:"
  cat "$entry"
else
  echo "== no desktop entry"
  exit 1
fi
