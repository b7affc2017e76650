#!/usr/bin/env bash
# The program on a desktop that lacks something: no display at all, no window manager, no Charter
# face (a sound server that hangs: the alarm's test; none at all: the sound test). Each case runs on
# a desktop of its own (the script runs itself once per case); the program must start or end
# cleanly, never hang or dump core.
case=${1:-all}
if [ "$case" = all ]; then
  status=0
  for c in no-display no-wm no-charter; do
    bash "$0" "$c" || status=1
  done
  [ $status = 0 ] && echo "all fault cases passed" || echo "some fault case failed"
  exit $status
fi
. "$(dirname "$0")/lib.sh"
say "--- $case"

MX=0 MY=0 MENU=0
main_geometry() { client_geometry "$MAIN_WIN"; MX=$X MY=$Y MENU=$((H - 159)); }
other_windows() { app_windows | grep -vx "$MAIN_WIN" || true; }
another_window() { test -n "$(other_windows)"; }
# Text pixels (all that is not the display green, antialiased edges included) inside the border
# of a box of the main window's client area: ink_pixels IMAGE LEFT TOP WIDTH HEIGHT of the box.
ink_pixels() {
  convert "$1" -crop "$(($4 - 4))x$(($5 - 4))+$((MX + $2 + 2))+$((MY + MENU + $3 + 2))" +repage \
    -fuzz 10% -fill white -opaque "rgb(0,255,0)" -format '%[fx:int(w*h*(1-mean)+0.5)]' info:
}
FAKE=(FAKETIME_DONT_FAKE_MONOTONIC=1 LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1)

case $case in
no-display)
  # Ends at once, status 1, one line saying why; a core dump would be status 134 (SIGABRT).
  run_without() { # run_without LABEL ENV-ARGS...
    local label=$1; shift
    local status=0
    timeout 20 env "$@" "$OSTREL" >"$WORK/out" 2>"$WORK/err" || status=$?
    local lines
    lines=$(wc -l <"$WORK/err")
    say "$label: status $status, stderr: $(head -c 300 "$WORK/err")"
    check "$label: exit status 1 (got $status)" test "$status" -eq 1
    check "$label: exactly one line on stderr (got $lines)" test "$lines" -eq 1
    check "$label: nothing on stdout" test ! -s "$WORK/out"
  }
  run_without "no DISPLAY nor WAYLAND_DISPLAY" -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM
  # A display named but with no server behind it.
  n=999
  while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
  run_without "DISPLAY=:$n with no server" -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:$n
  ;;

no-wm)
  desktop_start --no-wm
  app_start "${FAKE[@]}" FAKETIME="@2026-05-04 07:29:52"
  main_geometry
  check "the main window is on the screen (${W}x$H at $X,$Y)" \
    test "$X" -ge 0 -a "$Y" -ge 0 -a $((X + W)) -le 1024 -a $((Y + H)) -le 768
  check "the client area keeps its size (width $W)" test "$W" -eq 280
  xdotool mousemove --window "$MAIN_WIN" $((8 + 8 + 20)) $((MENU + 16 + 8)) click 1
  sleep 0.5
  screenshot "$WORK/started.png"
  dark=$(ink_pixels "$WORK/started.png" 64 16 65 17) # lblStart
  check "Start writes the start time ($dark pixels of text)" test "$dark" -gt 20
  set_alarm "$MAIN_WIN" "$MENU" 07 30
  check "the alarm window comes without a window manager" wait_for 15 another_window
  ALARM=$(other_windows | head -n1)
  if [ -n "$ALARM" ]; then
    sleep 0.3
    client_geometry "$ALARM"
    # No frame without a window manager: the client area itself is centred.
    check "the alarm window is centred (at $X,$Y, ${W}x$H)" \
      test $(( (X - (1024 - W) / 2) ** 2 <= 4 )) = 1 -a $(( (Y - (768 - H) / 2) ** 2 <= 4 )) = 1
  fi
  check "the program is still running" kill -0 "$APP_PID"
  ;;

no-charter)
  desktop_start
  # The system's fonts, less every Charter and Charis face.
  mkdir -p "$WORK/fc-cache"
  cat >"$WORK/fonts.conf" <<EOF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <include ignore_missing="no">/etc/fonts/fonts.conf</include>
  <cachedir>$WORK/fc-cache</cachedir>
  <selectfont>
    <rejectfont>
      <pattern><patelt name="family"><string>Bitstream Charter</string></patelt></pattern>
      <pattern><patelt name="family"><string>Charter BT</string></patelt></pattern>
      <pattern><patelt name="family"><string>Charis SIL</string></patelt></pattern>
    </rejectfont>
  </selectfont>
</fontconfig>
EOF
  left=$(FONTCONFIG_FILE="$WORK/fonts.conf" fc-list : family | grep -ciE 'charter|charis' || true)
  check "the font configuration leaves no Charter or Charis face ($left)" test "$left" -eq 0
  check "while the system has one" sh -c "fc-list : family | grep -qiE 'charter|charis'"

  # The date box drawn with and then without the Charter faces, on the same fixed day.
  shot_date() { # shot_date OUT [ENV...]
    local out=$1; shift
    app_start "${FAKE[@]}" FAKETIME="@2026-05-04 09:14:55" "$@"
    main_geometry
    sleep 1.5
    screenshot "$WORK/full.png"
    convert "$WORK/full.png" -crop "109x29+$((MX + 154))+$((MY + MENU + 10))" +repage "$out"
    DARK=$(ink_pixels "$WORK/full.png" 152 8 113 33)
    kill "$APP_PID"
    wait "$APP_PID" 2>/dev/null || true
  }
  shot_date "$WORK/with.png"
  shot_date "$WORK/without.png" FONTCONFIG_FILE="$WORK/fonts.conf"
  check "the window shows without the Charter faces, its date drawn in a fallback ($DARK dark pixels)" \
    test "$DARK" -gt 50
  differ=$(compare -metric AE "$WORK/with.png" "$WORK/without.png" null: 2>&1 || true)
  check "the fallback is another face than Charter ($differ pixels differ)" test "${differ%% *}" -gt 20
  check "no complaint on stderr: $(tr '\n' '|' <"$WORK/app.log" | head -c 200)" \
    sh -c "! grep -qiE 'font|error' '$WORK/app.log'"
  ;;

*)
  say "unknown case $case"; exit 2 ;;
esac
finish
