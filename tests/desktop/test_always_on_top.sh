#!/usr/bin/env bash
# Window > Always On Top on a real X desktop: the window manager is asked to keep the main window
# above the others, and the same native window carries the state (a recreated window would flicker,
# lose its place and drop out of the taskbar for a moment).
. "$(dirname "$0")/lib.sh"

desktop_start
app_start
client_geometry "$MAIN_WIN"
before="$X,$Y ${W}x$H"

# The menu's access keys, as a user without a mouse would choose it.
toggle_by_keys() {
  xdotool windowactivate --sync "$MAIN_WIN" >/dev/null 2>&1 || true
  xdotool key --clearmodifiers alt+w
  sleep 0.3
  xdotool key a
}

# The same by mouse: "Window", the menu bar's first title, then the menu's only item below it.
toggle_by_mouse() {
  xdotool mousemove --window "$MAIN_WIN" 20 8 click 1
  sleep 0.4
  xdotool mousemove --window "$MAIN_WIN" 50 28 click 1
}

check "the main window starts without _NET_WM_STATE_ABOVE" lacks_state "$MAIN_WIN" _NET_WM_STATE_ABOVE

toggle_by_keys
check "alt+w, a sets _NET_WM_STATE_ABOVE" wait_for 3 has_state "$MAIN_WIN" _NET_WM_STATE_ABOVE
toggle_by_keys
check "alt+w, a again clears it" wait_for 3 lacks_state "$MAIN_WIN" _NET_WM_STATE_ABOVE

toggle_by_mouse
check "clicking Window > Always On Top sets _NET_WM_STATE_ABOVE" wait_for 3 has_state "$MAIN_WIN" _NET_WM_STATE_ABOVE
toggle_by_mouse
check "clicking it again clears it" wait_for 3 lacks_state "$MAIN_WIN" _NET_WM_STATE_ABOVE

windows=$(app_windows | tr '\n' ' ')
check "the program still has its one main window, the same id ($MAIN_WIN; now: $windows)" \
  test "$windows" = "$MAIN_WIN "
check "the window stayed mapped" sh -c "xwininfo -id $MAIN_WIN | grep -q IsViewable"
client_geometry "$MAIN_WIN"
check "the window did not move or change size ($before -> $X,$Y ${W}x$H)" test "$before" = "$X,$Y ${W}x$H"
check "the program is still running" kill -0 "$APP_PID"

finish
