#!/usr/bin/env bash
# Runs a command in a PID namespace of its own, with its own /proc, where the
# kernel allows it, so that it sees only the processes it starts itself (a
# test that reads the whole process list is then not disturbed by programs
# someone else runs on the machine). -c maps the current user to itself, so
# files such as a Wine prefix stay the user's own. Where no such namespace can
# be made, the command runs as it is. QUELLAN_PID_NAMESPACE=0 turns it off.
# Usage: in-pid-namespace.sh COMMAND [ARGS...]
set -u
flags=(-c --pid --fork --mount-proc --kill-child)
if [ "${QUELLAN_PID_NAMESPACE:-1}" != 0 ] && command -v unshare >/dev/null 2>&1 &&
  unshare "${flags[@]}" true >/dev/null 2>&1; then
  # bash is the namespace's first process: it reaps the programs that tests
  # start detached (orphans come to it), which the command itself would not.
  exec unshare "${flags[@]}" bash -c '
    "$@" &
    child=$!
    trap "kill -TERM $child 2>/dev/null" TERM INT HUP
    while :; do
      wait "$child"
      status=$?
      kill -0 "$child" 2>/dev/null || exit "$status"
    done' in-pid-namespace "$@"
fi
exec "$@"
