# Shared by the real-desktop tests: an X server of their own (Xvfb), a window manager (openbox) and,
# when asked, a sound server (PulseAudio with a null sink), all stopped again by PID when the test
# ends. Source it, then call desktop_start.
set -Eeuo pipefail
# A check that fails says so through check(); anything else that fails ends the test, and says where.
trap 'say "error: ${BASH_SOURCE[0]}:$LINENO: $BASH_COMMAND exited $?"' ERR

OSTREL=${OSTREL:?path to the program under test}
WORK=$(mktemp -d /tmp/ostrel-desktop.XXXXXX)
PIDS=()
FAILURES=0

cleanup() {
  local pid
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
    pid=${PIDS[i]}
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${PIDS[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$WORK"
}
trap cleanup EXIT

say() { printf '%s\n' "$*"; }
pass() { say "PASS: $*"; }
fail() { say "FAIL: $*"; FAILURES=$((FAILURES + 1)); }
check() { # check "what" command...
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
finish() {
  if [ "$FAILURES" -eq 0 ]; then say "all checks passed"; exit 0; fi
  say "$FAILURES check(s) failed"; exit 1
}

# Polls a command until it succeeds; 0 if it did within the seconds given.
wait_for() {
  local seconds=$1; shift
  local deadline=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}

# desktop_start [--no-wm] [--sound] [--size WxH]
desktop_start() {
  local wm=1 sound=0 size=1024x768
  while [ $# -gt 0 ]; do
    case $1 in
      --no-wm) wm=0 ;;
      --sound) sound=1 ;;
      --size) size=$2; shift ;;
    esac
    shift
  done
  # Two X servers started at the same moment can both be handed one display number by -displayfd;
  # the loser exits after reporting it. A server that does not answer is replaced. -noreset: the server
  # must not reset when that check, its only client so far, leaves, or the next client is refused.
  local number xvfb attempt
  for attempt in 1 2 3 4 5; do
    rm -f "$WORK/displayfd" && mkfifo "$WORK/displayfd"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset -dpi 96 3>"$WORK/displayfd" >"$WORK/xvfb.log" 2>&1 &
    xvfb=$!
    PIDS+=($xvfb)
    number=
    read -r -t 20 number <"$WORK/displayfd" || true
    if [ -n "$number" ] && sleep 0.2 && kill -0 "$xvfb" 2>/dev/null && wait_for 5 xprop -display ":$number" -root; then
      break
    fi
    kill "$xvfb" 2>/dev/null || true
    number=
  done
  [ -n "$number" ] || { say "Xvfb did not start"; cat "$WORK/xvfb.log"; exit 1; }
  export DISPLAY=:$number
  unset WAYLAND_DISPLAY QT_QPA_PLATFORM
  if [ $wm = 1 ]; then
    # On a machine busy with other tests openbox can take several seconds to come up; one that gave
    # up on the display is started again.
    local openbox up=0
    for attempt in 1 2 3; do
      openbox --sm-disable >"$WORK/openbox.log" 2>&1 &
      openbox=$!
      PIDS+=($openbox)
      wait_for 60 sh -c "xprop -root -notype _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || ! kill -0 $openbox" \
        && kill -0 "$openbox" 2>/dev/null && up=1 && break
      kill "$openbox" 2>/dev/null || true
    done
    [ $up = 1 ] || { say "openbox did not start"; cat "$WORK/openbox.log" "$WORK/xvfb.log"; exit 1; }
    # openbox names itself before it handles requests, and a window mapped in between is never
    # managed: wait until a probe window of our own has been (a probe lost that way is tried again).
    local probe managed=0
    for _ in $(seq 10); do
      display -title ostrel-wm-probe -geometry +0+0 -size 8x8 xc:white >/dev/null 2>&1 &
      probe=$!
      wait_for 2 sh -c 'for w in $(xdotool search --name "^ostrel-wm-probe$"); do
                          xprop -id "$w" WM_STATE | grep -q Normal && exit 0; done; exit 1' && managed=1
      kill "$probe" 2>/dev/null || true; wait "$probe" 2>/dev/null || true
      [ $managed = 1 ] && break
    done
    [ $managed = 1 ] || { say "openbox does not manage windows"; exit 1; }
  fi
  if [ $sound = 1 ]; then
    export XDG_RUNTIME_DIR=$WORK/runtime PULSE_RUNTIME_PATH=$WORK/runtime/pulse HOME=$WORK/home
    mkdir -p "$XDG_RUNTIME_DIR" "$HOME" && chmod 700 "$XDG_RUNTIME_DIR"
    # The socket last: a client that can connect finds the sink already there.
    pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n --disable-shm \
      -L "module-null-sink sink_name=ostrel_test" -L "module-always-sink" \
      -L "module-native-protocol-unix" >"$WORK/pulse.log" 2>&1 &
    PIDS+=($!)
    wait_for 20 sh -c 'pactl list short sinks | grep -q ostrel_test' ||
      { say "PulseAudio did not start"; cat "$WORK/pulse.log"; exit 1; }
    pactl set-default-sink ostrel_test || { say "PulseAudio has no sink ostrel_test"; cat "$WORK/pulse.log"; exit 1; }
  else
    # No sound server: make sure the program cannot find or start one.
    export PULSE_SERVER=unix:$WORK/no-such-socket
  fi
}

# Starts the program (extra environment first, as NAME=value words); sets APP_PID and MAIN_WIN.
app_start() {
  env "$@" "$OSTREL" >"$WORK/app.log" 2>&1 &
  APP_PID=$!
  PIDS+=($APP_PID)
  if ! wait_for 60 xdotool search --pid "$APP_PID" --onlyvisible --name '^Ostrel!$'; then
    say "the main window did not appear"; cat "$WORK/app.log"; exit 1
  fi
  MAIN_WIN=$(xdotool search --pid "$APP_PID" --onlyvisible --name '^Ostrel!$' | head -n1)
}

# Sets the alarm as a user does: each list (hour at client x 168, minute at 208) opened with the mouse,
# the item typed and taken with Return, then the alarm button clicked. MENU is the menu bar's height.
# set_alarm WINDOW MENU HH MM
set_alarm() {
  local window=$1 menu=$2 left item
  for choice in "168 $3" "208 $4"; do
    read -r left item <<<"$choice"
    xdotool mousemove --window "$window" $((left + 20)) $((menu + 128 + 10)) click 1
    sleep 0.4
    xdotool type --delay 80 "$item"
    xdotool key Return
    sleep 0.3
  done
  xdotool mousemove --window "$window" $((168 + 40)) $((menu + 80 + 12)) click 1
}

# The visible windows of the program titled "Ostrel!", one id a line.
app_windows() { xdotool search --pid "$APP_PID" --onlyvisible --name '^Ostrel!$' 2>/dev/null || true; }

# Geometry of a window's client area: sets X Y W H (absolute).
client_geometry() {
  local info
  info=$(xwininfo -id "$1")
  X=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
  Y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
  W=$(awk '/Width:/ {print $2}' <<<"$info")
  H=$(awk '/Height:/ {print $2}' <<<"$info")
}

# Outer geometry of a window with its frame: sets FX FY FW FH.
frame_geometry() {
  local extents l r t b
  client_geometry "$1"
  extents=$(xprop -id "$1" -notype _NET_FRAME_EXTENTS | sed -n 's/.*= //p' | tr -d ' ')
  IFS=, read -r l r t b <<<"${extents:-0,0,0,0}"
  FX=$((X - l)); FY=$((Y - t)); FW=$((W + l + r)); FH=$((H + t + b))
}

net_wm_state() { xprop -id "$1" -notype _NET_WM_STATE 2>/dev/null; }
has_state() { net_wm_state "$1" | grep -q "$2"; }
lacks_state() { ! has_state "$1" "$2"; }

screenshot() { import -window root "$1"; }
# Colour of a pixel of a screenshot as "r,g,b" (0-255).
pixel() {
  convert "$1" -format '%[fx:int(255*p{'"$2"','"$3"'}.r)],%[fx:int(255*p{'"$2"','"$3"'}.g)],%[fx:int(255*p{'"$2"','"$3"'}.b)]' info:
}
