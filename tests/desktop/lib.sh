# Shared by the real-desktop tests: an X server of their own (Xvfb), a window manager and, when
# asked, a sound server (PulseAudio with a null sink), all stopped again by PID when the test ends.
# Source it, then call desktop_start. OSTREL_WM names the window manager: openbox (the default),
# xfwm4, metacity, mutter or kwin_x11.
set -Eeuo pipefail
# A check that fails says so through check(); anything else that fails ends the test, and says where.
# It goes to stderr: the trap also runs inside $(...), whose output would otherwise take the message in.
trap 'say "error: ${BASH_SOURCE[0]}:$LINENO: $BASH_COMMAND exited $?" >&2' ERR

OSTREL=${OSTREL:?path to the program under test}
OSTREL_WM=${OSTREL_WM:-openbox}
WORK=$(mktemp -d /tmp/ostrel-desktop.XXXXXX)
PIDS=()
WM_BUS=
WM_CONFIG=$WORK/wm-config
FAILURES=0

# Every process the given ones started (children first) joins the ones stopped at the end.
# A process that has gone has no children file; only process numbers are ever taken.
adopt_descendants() {
  local pid child children
  for pid in "$@"; do
    children=$(cat /proc/"$pid"/task/*/children 2>/dev/null || true)
    for child in $children; do
      is_pid "$child" || continue
      adopt_descendants "$child"
      PIDS+=("$child")
    done
  done
}
is_pid() { [[ $1 =~ ^[1-9][0-9]*$ && $1 != 1 ]]; }

cleanup() {
  local pid env
  # What the window manager's session bus started on demand is not its child: it is known by the
  # bus address in its environment.
  if [ -n "$WM_BUS" ]; then
    for env in /proc/[0-9]*/environ; do
      pid=${env#/proc/}; pid=${pid%/environ}
      [ "$pid" = $$ ] || ! grep -qzF "$WM_BUS" "$env" 2>/dev/null || PIDS+=("$pid")
    done
  fi
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
    pid=${PIDS[i]}
    ! is_pid "$pid" || kill "$pid" 2>/dev/null || true
  done
  for pid in "${PIDS[@]}"; do
    is_pid "$pid" || continue
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

later_than() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; } # later_than A B: A > B

# Polls a command until it succeeds; 0 if it did within the seconds given.
wait_for() {
  local seconds=$1; shift
  local deadline=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}

# The window manager OSTREL_WM names, with what it needs to come up under Xvfb. Each is kept from
# the user's own settings: xfwm4 reads its defaults through xfconf on a session bus of its own,
# metacity and mutter read GSettings from memory. None composites (Xvfb has no GL to speak of).
wm_command() {
  case $OSTREL_WM in
    openbox) WM_CMD=(openbox --sm-disable) ;;
    xfwm4) WM_CMD=(xfwm4 --compositor=off --sm-client-disable) ;;
    metacity) WM_CMD=(metacity --sm-disable --compositor=none) ;;
    mutter) WM_CMD=(mutter --x11 --sm-disable) ;;
    kwin_x11) WM_CMD=(kwin_x11) ;;
    *) say "unknown window manager OSTREL_WM=$OSTREL_WM"; exit 2 ;;
  esac
  command -v "${WM_CMD[0]}" >/dev/null || { say "$OSTREL_WM is not installed"; exit 1; }
}

# private_bus NAME: a session bus of the test's own, on which only what the test starts serves: its
# configuration names no service directory, so nothing installed on the machine (a desktop portal, a
# KDE or GNOME service) is ever started on demand. Sets BUS_ADDRESS.
private_bus() {
  local config=$WORK/$1-bus.conf bus_pid
  cat >"$config" <<CONF
<busconfig>
  <type>session</type>
  <listen>unix:dir=$WORK</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
  { read -r BUS_ADDRESS; read -r bus_pid; } < <(dbus-daemon --config-file="$config" --fork --print-address=1 --print-pid=1)
  is_pid "$bus_pid" && PIDS+=("$bus_pid")
  [ -n "$BUS_ADDRESS" ] || { say "dbus-daemon did not start"; exit 1; }
}

# Waits until NAME is owned on the bus at BUS_ADDRESS.
bus_has() {
  wait_for 20 sh -c "dbus-send --bus='$BUS_ADDRESS' --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:$1 | grep -q 'boolean true'"
}

# bus_service NAME PROGRAM...: starts the first of the programs that is installed on the window
# manager's bus, with its settings kept apart like the window manager's, and waits until it owns NAME.
bus_service() {
  local name=$1 program
  shift
  program=$(ls "$@" 2>/dev/null | head -n1 || true)
  [ -n "$program" ] || { say "nothing installed serves $name ($*)"; exit 1; }
  env DBUS_SESSION_BUS_ADDRESS="$BUS_ADDRESS" XDG_CONFIG_HOME="$WM_CONFIG" NO_AT_BRIDGE=1 \
    "$program" >"$WORK/$name.log" 2>&1 &
  PIDS+=($!)
  bus_has "$name" || { say "$program did not take $name on the bus"; cat "$WORK/$name.log"; exit 1; }
}

wm_start() {
  local attempt pid up=0 bus=()
  wm_command
  mkdir -p "$WM_CONFIG"
  # The bus is the window manager's alone: the program under test sees none, as under openbox.
  if [ "$OSTREL_WM" != openbox ] && [ "$OSTREL_WM" != metacity ]; then
    private_bus wm
    WM_BUS=$BUS_ADDRESS
    bus=(DBUS_SESSION_BUS_ADDRESS="$BUS_ADDRESS")
    # What each desktop would have started on demand: xfwm4 reads its settings from xfconf, and kwin
    # takes its key bindings (alt+F4 among them) through KDE's global shortcut service.
    case $OSTREL_WM in
      xfwm4) bus_service org.xfce.Xfconf /usr/lib/*/xfce4/xfconf/xfconfd /usr/libexec/xfce4/xfconf/xfconfd ;;
      kwin_x11) bus_service org.kde.kglobalaccel /usr/bin/kglobalaccel5 ;;
    esac
  fi
  # On a machine busy with other tests a window manager can take several seconds to come up; one
  # that gave up on the display is started again.
  for attempt in 1 2 3; do
    env "${bus[@]}" XDG_CONFIG_HOME="$WM_CONFIG" GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 \
      "${WM_CMD[@]}" >"$WORK/wm.log" 2>&1 &
    pid=$!
    PIDS+=($pid)
    wait_for 60 sh -c "xprop -root -notype _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || ! kill -0 $pid" \
      && kill -0 "$pid" 2>/dev/null && up=1 && break
    kill "$pid" 2>/dev/null || true
  done
  [ $up = 1 ] || { say "$OSTREL_WM did not start"; cat "$WORK/wm.log" "$WORK/xvfb.log"; exit 1; }
  # A window manager names itself before it handles requests, and a window mapped in between is
  # never managed: wait until a probe window of our own has been (a probe lost that way is tried
  # again).
  local probe managed=0
  for _ in $(seq 10); do
    display -title ostrel-wm-probe -geometry +0+0 -size 8x8 xc:white >/dev/null 2>&1 &
    probe=$!
    wait_for 2 sh -c 'for w in $(xdotool search --name "^ostrel-wm-probe$"); do
                        xprop -id "$w" WM_STATE | grep -q Normal && exit 0; done; exit 1' && managed=1
    kill "$probe" 2>/dev/null || true; wait "$probe" 2>/dev/null || true
    [ $managed = 1 ] && break
  done
  [ $managed = 1 ] || { say "$OSTREL_WM does not manage windows"; cat "$WORK/wm.log"; exit 1; }
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
  # No session bus: the program must not ask the machine's own desktop for anything.
  unset DBUS_SESSION_BUS_ADDRESS
  if [ $wm = 1 ]; then
    wm_start
  fi
  # A runtime directory of the test's own, with no bus in it. Only after the window manager: one that
  # found the sound server there would play its own event sounds into the recording of the alarm.
  export XDG_RUNTIME_DIR=$WORK/runtime
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  if [ $sound = 1 ]; then
    export PULSE_RUNTIME_PATH=$WORK/runtime/pulse HOME=$WORK/home
    mkdir -p "$HOME"
    # The socket last: a client that can connect finds the sink already there.
    pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n --disable-shm \
      -L "module-null-sink sink_name=ostrel_test" -L "module-always-sink" \
      -L "module-native-protocol-unix" >"$WORK/pulse.log" 2>&1 &
    PULSE_PID=$!
    PIDS+=($PULSE_PID)
    wait_for 20 sh -c 'pactl list short sinks | grep -q ostrel_test' ||
      { say "PulseAudio did not start"; cat "$WORK/pulse.log"; exit 1; }
    pactl set-default-sink ostrel_test || { say "PulseAudio has no sink ostrel_test"; cat "$WORK/pulse.log"; exit 1; }
  else
    # No sound server: make sure the program cannot find or start one.
    export PULSE_SERVER=unix:$WORK/no-such-socket
  fi
}

# A wall clock the script sets while the program runs: start it with "${FAKE_CLOCK[@]}" in its
# environment, and set_clock HH:MM:SS makes its local time that of DAY from then on. Its timers keep the
# real monotonic clock, as on a machine whose clock is stepped.
DAY=2026-05-04
OFFSET=0
FAKE_CLOCK=(FAKETIME_TIMESTAMP_FILE="$WORK/clock.rc" FAKETIME_NO_CACHE=1 FAKETIME_DONT_FAKE_MONOTONIC=1
            LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1)
# The offset is whole seconds, so the program's seconds begin with the real ones.
set_clock() {
  OFFSET=$(($(date -d "$DAY $1" +%s) - $(date +%s)))
  printf '%+d\n' "$OFFSET" >"$WORK/clock.rc.new" && mv "$WORK/clock.rc.new" "$WORK/clock.rc"
}
now() { printf '%s\n' "${EPOCHREALTIME/,/.}"; }
clock_at() { echo $(($(date -d "$DAY $1" +%s) - OFFSET)); } # clock_at HH:MM:SS: the real time it reads that
until_clock() { while later_than "$(clock_at "$1")" "$(now)"; do sleep 0.01; done; } # until it reads HH:MM:SS

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

# The window manager's close command as a user gives it: the window activated, then alt+F4 (the
# close key of every window manager the suite runs). Sets CLOSED_IN to the seconds from the key to the
# window's going, or to nothing if it was still there 5 s later.
close_with_keys() {
  local pressed
  xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
  pressed=${EPOCHREALTIME/,/.}
  xdotool key --clearmodifiers alt+F4
  CLOSED_IN=
  wait_for 5 sh -c "! xwininfo -id $1 2>/dev/null | grep -q IsViewable" || return 0
  CLOSED_IN=$(awk -v a="$pressed" -v b="${EPOCHREALTIME/,/.}" 'BEGIN { printf "%.2f", b - a }')
}

# The visible windows of the program titled "Ostrel!", one id a line. An open list or menu is one of
# them too, unmanaged (override-redirect).
app_windows() { xdotool search --pid "$APP_PID" --onlyvisible --name '^Ostrel!$' 2>/dev/null || true; }
is_popup() { xwininfo -id "$1" 2>/dev/null | grep -q 'Override Redirect State: yes'; }
# A window the window manager manages, still there (a popup that just closed is neither).
is_managed() { xwininfo -id "$1" 2>/dev/null | grep -q 'Override Redirect State: no'; }
popup_open() {
  local w
  for w in $(app_windows); do is_popup "$w" && return 0; done
  return 1
}

# Geometry of a window's client area: sets X Y W H (absolute).
client_geometry() {
  local info
  info=$(xwininfo -id "$1")
  X=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
  Y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
  W=$(awk '/Width:/ {print $2}' <<<"$info")
  H=$(awk '/Height:/ {print $2}' <<<"$info")
}

# Outer geometry of a window with the frame its window manager says it drew: sets FX FY FW FH, and
# FRAME to the frame's left,right,top,bottom ("" for a window without _NET_FRAME_EXTENTS).
frame_geometry() {
  local l r t b
  client_geometry "$1"
  FRAME=$(xprop -id "$1" -notype _NET_FRAME_EXTENTS | sed -n 's/.*= //p' | tr -d ' ')
  IFS=, read -r l r t b <<<"${FRAME:-0,0,0,0}"
  FX=$((X - l)); FY=$((Y - t)); FW=$((W + l + r)); FH=$((H + t + b))
}

net_wm_state() { xprop -id "$1" -notype _NET_WM_STATE 2>/dev/null; }
has_state() { net_wm_state "$1" | grep -q "$2"; }
lacks_state() { ! has_state "$1" "$2"; }

screenshot() { import -window root "$1"; }
# A window's own contents, as the program painted them. A compositing window manager (mutter) puts
# them on the screen a frame or more later, and seconds later on a busy machine, so a screenshot of
# the screen could show a window before its first paint or before its latest one.
window_shot() { import -window "$1" "$2"; } # window_shot WINDOW IMAGE
# screenshot_until WINDOW IMAGE TEST...: the window's contents, read again for up to 10 s until TEST
# holds of them. Sets SHOWN_AFTER to the seconds that took ("" if it never held). The checks that
# follow judge the last one.
screenshot_until() {
  local window=$1 image=$2 started=${EPOCHREALTIME/,/.} deadline=$((SECONDS + 10))
  shift 2
  SHOWN_AFTER=
  while :; do
    window_shot "$window" "$image"
    if "$@"; then
      SHOWN_AFTER=$(awk -v a="$started" -v b="${EPOCHREALTIME/,/.}" 'BEGIN { printf "%.1f", b - a }')
      return 0
    fi
    [ $SECONDS -lt $deadline ] || return 0
    sleep 0.1
  done
}
# The alarm button's caption in a shot of the main window without its frame (focus changes the frame),
# as black and white. "Off" and "On" are nearly as wide, so the two captions differ in about 20 pixels.
button_text() { # button_text IMAGE OUT
  convert "$1" -crop "73x17+$((168 + 4))+$((MENU + 80 + 4))" +repage -colorspace gray -threshold 50% "$2"
}
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; } # pixels that differ
# Colour of a pixel of a screenshot as "r,g,b" (0-255).
pixel() {
  convert "$1" -format '%[fx:int(255*p{'"$2"','"$3"'}.r)],%[fx:int(255*p{'"$2"','"$3"'}.g)],%[fx:int(255*p{'"$2"','"$3"'}.b)]' info:
}
