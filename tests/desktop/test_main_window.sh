#!/usr/bin/env bash
# The main window as a user sees it on a real X desktop with a window manager.
. "$(dirname "$0")/lib.sh"

desktop_start
# 09:14:55 on a fixed day: the stopwatch below starts at a known time.
app_start FAKETIME="@2026-05-04 09:14:55" FAKETIME_DONT_FAKE_MONOTONIC=1 \
  LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1

check "the window is titled Ostrel!" test "$(xdotool getwindowname "$MAIN_WIN")" = "Ostrel!"
client_geometry "$MAIN_WIN"
MENU=$((H - 159))
check "the client area is 280 pixels wide (got $W)" test "$W" -eq 280
check "a menu bar above a 159-pixel client area (window $H high)" test "$MENU" -ge 15 -a "$MENU" -le 40

hints=$(xprop -id "$MAIN_WIN" WM_NORMAL_HINTS)
min=$(sed -n 's/.*minimum size: \([0-9]* by [0-9]*\).*/\1/p' <<<"$hints")
max=$(sed -n 's/.*maximum size: \([0-9]* by [0-9]*\).*/\1/p' <<<"$hints")
check "the window cannot be resized (min $min, max $max)" test -n "$min" -a "$min" = "$max"
check "the window manager offers no maximize" \
  sh -c "! xprop -id $MAIN_WIN -notype _NET_WM_ALLOWED_ACTIONS | grep -q MAXIMIZE"

# Let the first tick fill the clock boxes, then look at the window.
sleep 1.5
screenshot "$WORK/main.png"
# Each shared-memory put would come back as an event that wakes two threads every second.
check "the window draws without X shared memory (no segment mapped)" \
  sh -c "! grep -qE 'memfd:xorg|SYSV' /proc/$APP_PID/maps"
[ -n "${OSTREL_SCREENSHOTS:-}" ] && convert "$WORK/main.png" -crop "${W}x${H}+${X}+${Y}" +repage "$OSTREL_SCREENSHOTS/main-window.png"

# Boxes as left, top, width, height in client pixels (the stopwatch frame is 8 pixels in).
green="0,255,0"
for box in "lblDate 152 8 113 33" "lblTime 160 48 97 17" "lblStart 64 16 65 17" "lblFinish 64 40 65 17" \
           "lblTotal 16 112 113 33"; do
  read -r name left top width height <<<"$box"

  # Inside the border, in a corner the centred text does not reach; then the border's left side.
  got=$(pixel "$WORK/main.png" "$((X + left + 2))" "$((Y + MENU + top + 2))")
  check "$name is display green inside its border (got $got)" test "$got" = "$green"
  edge=$(pixel "$WORK/main.png" "$((X + left))" "$((Y + MENU + top + height / 2))")
  check "$name has a dark single-line border (got $edge)" test "$edge" = "64,64,64"
done

# The border of a box: one flat dark grey line on all four sides, read where the window puts the box.
read -r bx by bw bh < <(awk '{print $2, $3, $4, $5}' <<<"lblTotal 16 112 113 33")
bx=$((X + bx)); by=$((Y + MENU + by))
for side in "top $((bx + bw / 2)) $by" "bottom $((bx + bw / 2)) $((by + bh - 1))" \
            "left $bx $((by + bh / 2))" "right $((bx + bw - 1)) $((by + bh / 2))"; do
  read -r name px py <<<"$side"
  got=$(pixel "$WORK/main.png" "$px" "$py")
  check "lblTotal's $name border is flat dark grey (got $got)" test "$got" = "64,64,64"
done

# Open the hour list: the open list is green too.
xdotool mousemove --window "$MAIN_WIN" $((168 + 20)) $((MENU + 128 + 10)) click 1
sleep 0.7
screenshot "$WORK/list.png"
[ -n "${OSTREL_SCREENSHOTS:-}" ] && cp "$WORK/list.png" "$OSTREL_SCREENSHOTS/main-window-open-list.png"
popup=$(xdotool search --onlyvisible --class ostrel 2>/dev/null | grep -vx "$MAIN_WIN" | head -1 || true)
if [ -n "$popup" ]; then
  client_geometry "$popup"
  got=$(pixel "$WORK/list.png" "$((X + W - 6))" "$((Y + H / 2))")
  check "the open hour list is display green (got $got)" test "$got" = "$green"
  client_geometry "$MAIN_WIN"
else
  fail "the hour list did not open"
fi
xdotool key Escape
sleep 0.3

# Press Start: its box fills with the start time, drawn in dark grey on the green. Text is whatever
# inside the border is not green, antialiased edges included, in whatever face the machine has.
ink() { convert "$1" -crop "61x13+$((X + 66))+$((Y + MENU + 18))" +repage -fuzz 10% -fill white -opaque "rgb(0,255,0)" \
        -format '%[fx:int(w*h*(1-mean)+0.5)]' info:; }
blank=$(ink "$WORK/main.png")
xdotool mousemove --window "$MAIN_WIN" $((8 + 8 + 20)) $((MENU + 16 + 8)) click 1
sleep 0.5
screenshot "$WORK/started.png"
dark=$(ink "$WORK/started.png")
check "Start writes the start time into its empty box ($blank, then $dark pixels of text)" test "$blank" -eq 0 -a "$dark" -gt 20

finish
