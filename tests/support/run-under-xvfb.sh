#!/usr/bin/env bash
# Runs a command inside a fresh virtual X server (1280x1024, 24 bit, or
# QUELLAN_XVFB_SCREEN=WxH) with the openbox window manager, which a caption
# drag needs to move a window.
# Works as root without a desktop. Usage: run-under-xvfb.sh COMMAND [ARGS...]
# QUELLAN_XVFB_COMPOSITOR=xcompmgr (or picom) also starts that compositing
# manager for the run, so that layered windows show their alpha (picom needs
# its package, which scripts/packages.txt does not list).
set -u

if [ "${QUELLAN_XVFB_INNER:-}" != 1 ]; then
  for tool in xvfb-run openbox xprop; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "run-under-xvfb: '$tool' is missing (see scripts/packages.txt)" >&2
      exit 1
    fi
  done
  # The outer timeout keeps a wedged X server from hanging the test run.
  # xvfb-run -a counts up from the first display number that looks free;
  # starting from a number of our own keeps runs in parallel apart. Two runs
  # can still pick the same number at the same moment, and then one gets a
  # server it cannot use (exit 75 from inside): it tries again elsewhere.
  rc=75
  for attempt in 1 2 3; do
    QUELLAN_XVFB_INNER=1 timeout -k 10 "${QUELLAN_XVFB_TIMEOUT:-540}" \
      xvfb-run -a -n $((100 + ($$ + attempt * 277) % 800)) \
      -s "-screen 0 ${QUELLAN_XVFB_SCREEN:-1280x1024}x24 -nolisten tcp" "$0" "$@"
    rc=$?
    [ "$rc" -eq 75 ] || exit "$rc"
    echo "run-under-xvfb: the virtual display was not usable; trying another" >&2
  done
  exit "$rc"
fi

# Inside the X session: keep openbox's files out of the user's home.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME=$scratch/config XDG_CACHE_HOME=$scratch/cache XDG_DATA_HOME=$scratch/data
# The accepted configuration serial is kept per user: not the real one.
export XDG_STATE_HOME=$scratch/state
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME"

openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
wm=$!

# Wait (at most 15 s) until the window manager has taken the screen.
ready=0
for _ in $(seq 1 150); do
  if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
    ready=1
    break
  fi
  if ! kill -0 "$wm" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ "$ready" != 1 ]; then
  echo "run-under-xvfb: openbox did not start:" >&2
  cat "$scratch/openbox.log" >&2
  kill "$wm" 2>/dev/null
  # No server answers on this display: the outer part tries another.
  xprop -root >/dev/null 2>&1 || exit 75
  exit 1
fi

# xdotool types a character missing from the keymap by remapping a spare key
# for that moment; a client that reads the key before it has seen the new
# mapping gets another character (seen under load). Characters the tests type
# are bound to free keys once, before any client connects.
if command -v xmodmap >/dev/null 2>&1; then
  free=($(xmodmap -pke | awk 'NF == 3 { print $2 }'))
  i=0
  for cp in 4E2D 5B89 6E38 620F 6D4B 8BD5 8DEF 5F84; do # 中 安 游 戏 测 试 路 径
    [ "$i" -lt "${#free[@]}" ] || break
    xmodmap -e "keycode ${free[$i]} = U$cp" 2>/dev/null
    i=$((i + 1))
  done
fi

cm=
if [ -n "${QUELLAN_XVFB_COMPOSITOR:-}" ]; then
  case "$QUELLAN_XVFB_COMPOSITOR" in
    picom) picom --backend xrender >"$scratch/compositor.log" 2>&1 & cm=$! ;;
    *) "$QUELLAN_XVFB_COMPOSITOR" >"$scratch/compositor.log" 2>&1 & cm=$! ;;
  esac
  # It takes the screen a moment later: a program that depends on it waits
  # until layeredWindowsSupported() holds.
fi

"$@"
rc=$?
[ -n "$cm" ] && kill "$cm" 2>/dev/null && wait "$cm" 2>/dev/null
kill "$wm" 2>/dev/null
wait "$wm" 2>/dev/null
exit $rc
