#!/usr/bin/env bash
# Checks in-pid-namespace.sh: a process running beside the command is not
# visible to it, while the command's own children are, and the command's exit
# status comes back. Exit 77 (skipped) where no PID namespace can be made.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if ! unshare -c --pid --fork --mount-proc true >/dev/null 2>&1; then
  echo "no PID namespaces here: the tests run without one" >&2
  exit 77
fi
sleep 300 &
outsider=$!
trap 'kill $outsider 2>/dev/null' EXIT
# shellcheck disable=SC2016
"$here/in-pid-namespace.sh" bash -c '
  [ -d "/proc/'"$outsider"'" ] && [ "$(cat /proc/'"$outsider"'/cmdline 2>/dev/null | tr "\0" " ")" = "sleep 300 " ] && exit 10
  sleep 30 & own=$!
  [ -d "/proc/$own" ] || exit 11
  kill $own
  exit 3'
status=$?
if [ "$status" = 10 ]; then
  echo "the command saw a process outside its namespace" >&2
  exit 1
fi
if [ "$status" != 3 ]; then
  echo "unexpected status $status (11: its own child was not visible)" >&2
  exit 1
fi
echo "ok"
