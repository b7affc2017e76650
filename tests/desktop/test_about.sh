#!/usr/bin/env bash
# Window > Always On Top and Help > About on a real X desktop: the window manager is asked to keep the
# main window above the others, on the same native window (a recreated one would flicker, lose its
# place and drop out of the taskbar for a moment); About's size, its place outside the taskbar, how it
# lends the main window's Always On Top state for as long as it is open, and what it looks like.
. "$(dirname "$0")/lib.sh"

desktop_start
app_start
client_geometry "$MAIN_WIN"
before="$X,$Y ${W}x$H"

# The menus' access keys, as a user without a mouse would choose an item.
menu() { # menu ACCESS-KEY ITEM-KEY
  xdotool windowactivate --sync "$MAIN_WIN" >/dev/null 2>&1 || true
  xdotool key --clearmodifiers "alt+$1"
  sleep 0.3
  xdotool key "$2"
}
# mutter lists a dialog in the taskbar unless it is transient for a window of its own, whoever asks:
# it drops the request to leave About out from the program, and from a pager or wmctrl alike, while it
# grants it to a plain window. About has no owner window, so there only the pager half of the request
# can be seen to have been made.
if [ "$OSTREL_WM" = mutter ]; then OUT_OF=(pager _NET_WM_STATE_SKIP_PAGER); else OUT_OF=(taskbar _NET_WM_STATE_SKIP_TASKBAR); fi
about_window() { app_windows | grep -vx "$MAIN_WIN" | head -n1 || true; }
about_shown() { test -n "$(about_window)"; }
about_gone() { test -z "$(about_window)"; }
open_about() {
  menu h a
  wait_for 5 about_shown || return 1
  ABOUT=$(about_window)
}
# The window manager's close command, sent to the focused About window: alt+F4 in the default key
# bindings of openbox, xfwm4 and metacity (and of mutter and kwin_x11). The window manager answers
# it with WM_DELETE_WINDOW, as for its close button; xdotool windowclose would destroy the window.
close_about() {
  wait_for 3 sh -c "xprop -root -notype _NET_ACTIVE_WINDOW | grep -qi $(printf '0x%x' "$ABOUT")" || true
  xdotool key --clearmodifiers alt+F4
  wait_for 5 about_gone
}

check "the main window starts without _NET_WM_STATE_ABOVE" lacks_state "$MAIN_WIN" _NET_WM_STATE_ABOVE
menu w a
check "alt+w, a sets _NET_WM_STATE_ABOVE before About opens" wait_for 3 has_state "$MAIN_WIN" _NET_WM_STATE_ABOVE

if ! open_about; then fail "Help > About opens a second window"; finish; fi
pass "Help > About opens a second window"
check "About is titled Ostrel!" test "$(xdotool getwindowname "$ABOUT")" = "Ostrel!"
client_geometry "$ABOUT"
check "About's client area is 222x173 (got ${W}x$H)" test "${W}x$H" = 222x173
check "About is kept out of the ${OUT_OF[0]}" wait_for 3 has_state "$ABOUT" "${OUT_OF[1]}"
check "while About is open the main window is not held on top" wait_for 3 lacks_state "$MAIN_WIN" _NET_WM_STATE_ABOVE

# Once About's grey is in its corner.
about_painted() { [ "$(pixel "$WORK/about-client.png" 5 5)" = "64,64,64" ]; }
screenshot_until "$ABOUT" "$WORK/about-client.png" about_painted
[ -n "${OSTREL_SCREENSHOTS:-}" ] && cp "$WORK/about-client.png" "$OSTREL_SCREENSHOTS/about-window.png"

# Points no label or picture covers.
for point in "5 5" "215 5" "30 70" "190 70" "180 130" "60 137"; do
  read -r px py <<<"$point"
  got=$(pixel "$WORK/about-client.png" "$px" "$py")
  check "the background at ($px,$py) is dark grey (got $got)" test "$got" = "64,64,64"
done
# Pixels of a box that differ from the background's grey, or with "bright" those lighter than 60%
# grey (the label's antialiased white text; the grey background is 25%).
count_pixels() { # count_pixels IMAGE WxH+X+Y [bright]
  local keep=(-fill black -opaque "rgb(64,64,64)" -fill white +opaque black)
  [ "${3:-}" = bright ] && keep=(-colorspace gray -threshold 60%)
  convert "$1" -crop "$2" +repage "${keep[@]}" -format '%[fx:int(w*h*mean+0.5)]' info:
}
text=$(count_pixels "$WORK/about-client.png" 57x17+160+96 bright)
check "white text in the Version 2.3 label ($text bright pixels)" test "$text" -ge 60
logo=$(count_pixels "$WORK/about-client.png" 95x81+64+0)
check "the logo fills its box ($logo of 7695 pixels not grey)" test "$logo" -ge 2000

if close_about; then pass "alt+F4 closes About"; else fail "alt+F4 closes About"; fi
check "after About closes the main window is held on top again" wait_for 3 has_state "$MAIN_WIN" _NET_WM_STATE_ABOVE

# The window manager forgets a window's states when it is hidden: the second showing must ask again.
menu w a
check "alt+w, a again clears it" wait_for 3 lacks_state "$MAIN_WIN" _NET_WM_STATE_ABOVE
if open_about; then
  check "About opened again is still kept out of the ${OUT_OF[0]}" wait_for 3 has_state "$ABOUT" "${OUT_OF[1]}"
  client_geometry "$ABOUT"
  check "About opened again is 222x173 (got ${W}x$H)" test "${W}x$H" = 222x173
  close_about || fail "alt+F4 closes About the second time"
  sleep 0.5
  check "without Always On Top, closing About does not turn it on" lacks_state "$MAIN_WIN" _NET_WM_STATE_ABOVE
else
  fail "Help > About opens a second time"
fi

# The same by mouse: "Window", the menu bar's first title, then the menu's only item below it.
toggle_by_mouse() {
  xdotool mousemove --window "$MAIN_WIN" 20 8 click 1
  sleep 0.4
  xdotool mousemove --window "$MAIN_WIN" 50 28 click 1
}
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
