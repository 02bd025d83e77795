#!/usr/bin/env bash
# Installs every Debian package the project needs, then builds into build/.
# Idempotent: when everything is installed it only (re)builds.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=$(sed -e 's/#.*//' scripts/packages.txt | tr -s ' \n' ' ')
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "setup: installing:$missing"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $packages
fi

bash scripts/build.sh build
