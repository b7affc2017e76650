#!/usr/bin/env bash
# Ostrel! on a high-density screen (QT_SCALE_FACTOR): every window keeps its layout, scaled as a
# whole, and no text outgrows its box.
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib.sh"
FIT="/usr/bin/python3 $HERE/text_fit.py"

desktop_start --size 1600x1200

# Qt scales a window's logical size and rounds half a pixel up.
scaled() { python3 -c "import math, sys; print(math.floor($1 * $2 + 0.5))"; }

# Runs text_fit.py over a screenshot and counts its verdicts as this test's own.
fit() {
  local out
  out=$($FIT "$@") || true
  say "$out"
  FAILURES=$((FAILURES + $(grep -c '^FAIL' <<<"$out" || true)))
}

# Clicks the main window at a point given in logical pixels.
click() {
  xdotool mousemove --window "$MAIN_WIN" "$(scaled "$1" "$scale")" "$(scaled "$2" "$scale")" click 1
}

# The window the program opened besides the main one.
other_window() { app_windows | grep -vx "$MAIN_WIN" | head -n1; }

# At 1:1 first: the menu bar's logical height, which scales with the rest.
app_start
client_geometry "$MAIN_WIN"
BASE_H=$H
MENU=$((BASE_H - 159))
say "unscaled main window ${W}x$H, menu bar $MENU"
kill "$APP_PID"; wait "$APP_PID" 2>/dev/null || true

for scale in 1.5 2; do
  say "--- QT_SCALE_FACTOR=$scale"
  set_clock 09:14:00
  app_start QT_SCALE_FACTOR=$scale "${FAKE_CLOCK[@]}"
  client_geometry "$MAIN_WIN"
  want_w=$(scaled 280 "$scale"); want_h=$(scaled "$BASE_H" "$scale")
  check "main window is ${want_w}x$want_h (got ${W}x$H)" test "$W" = "$want_w" -a "$H" = "$want_h"
  mx=$X my=$Y

  # Start a run so that the stopwatch boxes and Pause hold text too.
  click 36 $((MENU + 24))
  sleep 1.2
  screenshot "$WORK/main-$scale.png"
  [ -n "${OSTREL_SCREENSHOTS:-}" ] && convert "$WORK/main-$scale.png" -crop "${W}x${H}+${X}+${Y}" +repage \
    "$OSTREL_SCREENSHOTS/main-window-x$scale.png"
  # Logical rectangles of the main window, the menu bar included. The lists overlap the last row of
  # "Set Alarm"; their border is not its text.
  fit "$WORK/main-$scale.png" "$scale" "$mx" "$my" \
    "green:lblDate:152,$((MENU + 8)),113,33" "green:lblTime:160,$((MENU + 48)),97,17" \
    "green:lblStart:64,$((MENU + 16)),65,17" \
    "light:lblAlarm:184,$((MENU + 112)),49,16" "light:cmdAlarm:168,$((MENU + 80)),81,25" \
    "light:cmdPause:48,$((MENU + 64)),57,25" "light:cmdFinish:16,$((MENU + 40)),41,17"

  # Help > About.
  xdotool key --window "$MAIN_WIN" alt+h
  sleep 0.3
  xdotool key a
  if wait_for 10 sh -c "[ -n \"\$(xdotool search --pid $APP_PID --onlyvisible --name '^Ostrel!\$' | grep -vx $MAIN_WIN)\" ]"; then
    about=$(other_window)
    sleep 0.5
    client_geometry "$about"
    want_w=$(scaled 222 "$scale"); want_h=$(scaled 173 "$scale")
    check "About is ${want_w}x$want_h (got ${W}x$H)" test "$W" = "$want_w" -a "$H" = "$want_h"
    screenshot "$WORK/about-$scale.png"
    # "It's freeware!" reaches past the window's right edge (222): what shows is what must fit.
    fit "$WORK/about-$scale.png" "$scale" "$X" "$Y" \
      "dark:Label1:48,88,105,33" "dark:Label2:160,96,57,17" "dark:Label7:136,152,86,17"
  else
    fail "About did not open at $scale"
  fi

  # An alarm for 09:15, set on the clock started at 09:14:00, which is then moved on to just before
  # it. Each item is typed once its list is open. The alarm window closes About.
  xdotool key Escape
  sleep 0.3
  click 188 $((MENU + 138)); wait_for 3 popup_open; xdotool type 09; xdotool key Return; sleep 0.3
  click 228 $((MENU + 138)); wait_for 3 popup_open; xdotool type 15; xdotool key Return; sleep 0.3
  click 208 $((MENU + 92))
  sleep 0.5
  set_clock 09:14:59
  if wait_for 30 sh -c "[ -n \"\$(xdotool search --pid $APP_PID --onlyvisible --name '^Ostrel!\$' | grep -vx $MAIN_WIN)\" ]"; then
    alarm=$(other_window)
    sleep 0.5
    client_geometry "$alarm"
    want_w=$(scaled 305 "$scale"); want_h=$(scaled 185 "$scale")
    check "the alarm window is ${want_w}x$want_h (got ${W}x$H)" test "$W" = "$want_w" -a "$H" = "$want_h"
    screenshot "$WORK/alarm-$scale.png"
    fit "$WORK/alarm-$scale.png" "$scale" "$X" "$Y" "dark:Label1:80,8,145,73" "dark:Label2:40,72,241,105"
  else
    fail "the alarm window did not open at $scale"
  fi
  kill "$APP_PID"; wait "$APP_PID" 2>/dev/null || true
done

finish
