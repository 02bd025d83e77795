#!/usr/bin/env bash
# Regenerates the README's screenshots of the installer (docs/images/installer/)
# with the demo's scripted walk-through on the virtual display.
# Usage: make-screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$PWD/docs/images/installer
rm -rf "$out"
mkdir -p "$out"
QUELLAN_DISPLAY=virtual bash scripts/demo.sh --shots "$out" "${1:-build}"
