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
  # Numbering starts again at 1 in a new namespace; the pre-flight checks
  # take the lowest numbers for the system's own processes (as on a real
  # machine, where no user program gets them), so the command's processes
  # begin higher up.
  exec unshare "${flags[@]}" bash -c '
    echo 1000 2>/dev/null >/proc/sys/kernel/ns_last_pid || for _ in 1 2 3 4 5 6 7 8; do /bin/true; done
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
