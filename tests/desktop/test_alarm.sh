#!/usr/bin/env bash
# The alarm on a real X desktop: set by mouse and keyboard as a user sets it, it must open its window
# on the very second, centred by its frame at once, above everything and out of the taskbar, and call
# once through the sound server, and keep the screen lit while it waits (and not once it has closed).
# No key closes it, only the close command. A second run has a sound server that stops answering just
# before the alarm: the window must still come on time, alone, the clock go on, and the program end
# at once.
# The program runs on the wall clock the script sets (set_clock): started at 07:29:00, it is moved on to
# 07:29:55 once the alarm is set. What does not depend on the window manager (the recorded call, the X
# server's idle time) is checked under openbox alone.
variant=${1:-sound}
if [ "$variant" = sound ]; then
  # Before this run's desktop exists, so that the other run inherits nothing of it.
  bash "$0" hung
  hung_status=$?
fi
. "$(dirname "$0")/lib.sh"
say "--- the alarm with a sound server$([ "$variant" = sound ] || echo " that has stopped answering")"

desktop_start --sound
# stamped OUT COMMAND...: runs the command in the background, each line it prints written to OUT
# after the time it came. Times read off these lines do not wait for a poll on a busy machine.
stamped() {
  local out=$1 fifo=$WORK/stamped.$#.$RANDOM line
  shift
  mkfifo "$fifo"
  stdbuf -oL "$@" >"$fifo" 2>&1 &
  PIDS+=($!)
  while IFS= read -r line; do printf '%s %s\n' "${EPOCHREALTIME/,/.}" "$line"; done <"$fifo" >"$out" &
  PIDS+=($!)
}

set_clock 07:29:00
app_start "${FAKE_CLOCK[@]}"
client_geometry "$MAIN_WIN"
MENU=$((H - 159))
other_window() { app_windows | grep -vx "$MAIN_WIN" | head -n1 || true; }
other_shown() { test -n "$(other_window)"; }

# caption_painted IMAGE CAPTION: the caption is there, dark letters on the button's light face.
caption_painted() {
  button_text "$1" "$2"
  awk -v m="$(convert "$2" -format '%[fx:mean]' info:)" 'BEGIN { exit !(m > 0.6 && m < 0.98) }'
}
# caption_against_first IMAGE CAPTION OP PIXELS: the caption differs from the first as OP PIXELS says.
caption_against_first() {
  button_text "$1" "$2"
  [ "$(differing "$WORK/caption-off.png" "$2")" "$3" "$4" ]
}
sleep 1
screenshot_until "$MAIN_WIN" "$WORK/before.png" caption_painted "$WORK/before.png" "$WORK/caption-off.png"

sound_module() { grep -q ostrel-sound "/proc/$APP_PID/maps"; }
check "the sound module is not loaded at start-up" sh -c "! grep -q ostrel-sound /proc/$APP_PID/maps"
# Hour: open the list with the mouse, type the item, take it with Return; the same for the minute.
set_alarm "$MAIN_WIN" "$MENU" 07 30
sleep 0.3
check "the sound module is loaded once the alarm is set" wait_for 2 sound_module
screenshot_until "$MAIN_WIN" "$WORK/armed.png" caption_against_first "$WORK/armed.png" "$WORK/caption-on.png" -gt 10
check "the alarm button changed its caption when pressed ($(differing "$WORK/caption-off.png" "$WORK/caption-on.png") pixels)" \
  test "$(differing "$WORK/caption-off.png" "$WORK/caption-on.png")" -gt 10

if [ "$variant" = sound ]; then
  parec -d ostrel_test.monitor --latency-msec=10 --rate=11025 --format=u8 --channels=1 --raw "$WORK/call.raw" &
  RECORDER=$!
  PIDS+=($RECORDER)
  # The recording cannot tell when the call began (the monitor leaves out stretches where nothing
  # played), so the sound server's own news tells when the program opened its stream.
  stamped "$WORK/events" pactl subscribe
  # About is open when the alarm comes: the alarm closes it.
  xdotool key --clearmodifiers alt+h
  sleep 0.3
  xdotool key a
  wait_for 3 other_shown && ABOUT=$(other_window) || ABOUT=
  check "About is open while the alarm is waiting" test -n "$ABOUT"
fi

# The window manager lists each window it takes on: the alarm window's time is when it joined.
stamped "$WORK/clients" xprop -root -spy -notype _NET_CLIENT_LIST
# Watch from 07:29:58 on: nothing but the main window (and About) until 07:30:00, then the alarm.
set_clock 07:29:55
until_clock 07:29:58
others=$(app_windows | grep -vx "$MAIN_WIN" | grep -vx "${ABOUT:-none}" | wc -l || true)
check "no alarm window at 07:29:58" test "$others" -eq 0
# How long the X server has seen no input: what screen savers and lockers go by.
IDLE_BEFORE=$(xprintidle)
if [ "$variant" = hung ]; then
  # The sound server stops answering and keeps its socket, as a hung one does: the program first
  # reaches it at the alarm, and the window must not wait for it.
  kill -STOP "$PULSE_PID"
  # The user opens the hour list just before the alarm: it must not keep the keyboard from it.
  xdotool mousemove --window "$MAIN_WIN" 188 $((MENU + 138)) click 1
  check "the hour list is open at 07:29:58" wait_for 1 popup_open
  LIST_OPEN=1
fi
ALARM=
until later_than "$(now)" "$(clock_at 07:30:02)"; do
  for w in $(app_windows); do
    [ "$w" = "$MAIN_WIN" ] || [ "$w" = "${ABOUT:-none}" ] || ! is_managed "$w" || ALARM=$w
  done
  [ -n "$ALARM" ] && break
  sleep 0.01
done
APPEARED_AT=$(now)
IDLE_AFTER=$(xprintidle)
if [ -z "$ALARM" ]; then fail "the alarm window appears by 07:30:02"; finish; fi
if [ "$variant" = sound ]; then
  # No input since About was opened: the alarm itself must count as activity, so that a blanked
  # screen lights up for it.
  check "the alarm wakes the screen: X idle time ${IDLE_BEFORE} ms at 07:29:58, ${IDLE_AFTER} ms as the window appears" \
    test "$IDLE_BEFORE" -ge 1500 -a "$IDLE_AFTER" -lt 1000
fi
listed=$(awk -v id="$(printf '0x%x' "$ALARM")" '{ for (i = 2; i <= NF; i++) { w = $i; sub(/,$/, "", w)
           if (tolower(w) == id) { print $1; exit } } }' "$WORK/clients")
APPEARED_AT=${listed:-$APPEARED_AT}
appeared=$(awk -v a="$(clock_at 07:30:00)" -v b="$APPEARED_AT" 'BEGIN { printf "%.3f", b - a }')
check "the alarm window appears at 07:30:00 (at $appeared s after it)" \
  sh -c "awk -v t=$appeared 'BEGIN { exit !(t >= -0.03 && t < 1) }'"

# Its frame must be centred from the first moment it is mapped: watch it for 300 ms.
frame_geometry "$ALARM"
first="$FX,$FY ${FW}x$FH" moved=""
deadline=$(awk -v t="$(now)" 'BEGIN { printf "%.3f", t + 0.3 }')
while later_than "$deadline" "$(now)"; do
  frame_geometry "$ALARM" 2>/dev/null || break
  [ "$FX,$FY ${FW}x$FH" = "$first" ] || moved="$moved $FX,$FY"
done
check "the alarm window does not move after it appears (first $first${moved:+, then$moved})" test -z "$moved"
frame_geometry "$ALARM"
check "its client area is 305x185 (got ${W}x$H)" test "${W}x$H" = 305x185
off_x=$((2 * FX + FW - 1024)) off_y=$((2 * FY + FH - 768))
# Centred by the frame this window manager drew (left,right,top,bottom), not by its client area.
check "it has a frame from $OSTREL_WM (${FRAME:-none})" test -n "$FRAME"
check "its frame ${FW}x$FH at $FX,$FY is centred on the 1024x768 screen (within 1 px)" \
  test "${off_x#-}" -le 2 -a "${off_y#-}" -le 2
check "it is kept above other windows" wait_for 2 has_state "$ALARM" _NET_WM_STATE_ABOVE
check "it is kept out of the taskbar" has_state "$ALARM" _NET_WM_STATE_SKIP_TASKBAR
check "it is titled Ostrel!" test "$(xdotool getwindowname "$ALARM")" = "Ostrel!"
others=$(app_windows | grep -vx "$MAIN_WIN" | grep -vx "${ABOUT:-none}" | wc -l || true)
check "it is the program's only other window, no message about the sound ($others)" test "$others" -eq 1
if [ -n "${ABOUT:-}" ]; then
  check "the alarm closed About" wait_for 2 sh -c "! xwininfo -id $ABOUT | grep -q IsViewable"
fi

# How many of the alarm window's pixels are yellow, once its words show.
yellow_words() {
  yellow=$(convert "$WORK/alarm-client.png" -fuzz 20% -fill white -opaque yellow -fill black +opaque white \
           -format '%[fx:int(w*h*mean+0.5)]' info:)
  [ "$yellow" -gt 0 ]
}
screenshot_until "$ALARM" "$WORK/alarm-client.png" yellow_words
[ -n "${OSTREL_SCREENSHOTS:-}" ] && [ "$variant" = sound ] && cp "$WORK/alarm-client.png" "$OSTREL_SCREENSHOTS/alarm-window.png"
check "the window is black with yellow words ($yellow yellow pixels; corner $(pixel "$WORK/alarm-client.png" 300 180); after ${SHOWN_AFTER:-more than 10} s)" \
  test "$yellow" -gt 3000 -a "$(pixel "$WORK/alarm-client.png" 300 180)" = "0,0,0"

if [ "$variant" = sound ]; then
  stream_at() { awk "/'new' on sink-input/ { print \$1; exit }" "$WORK/events"; }
  stream_seen() { test -n "$(stream_at)"; }
  if wait_for 2 stream_seen; then
    STREAM_LAG=$(awk -v s="$(stream_at)" -v a="$APPEARED_AT" 'BEGIN { printf "%.2f", s - a }')
  fi
  sleep 2
  kill -INT "$RECORDER" 2>/dev/null || true
  wait "$RECORDER" 2>/dev/null || true
  # Both notes of the call as the sound server played them, measured the same way as in the clip
  # itself: onset, length and pitch of each stretch of sound louder than -30 dB.
  report=$(python3 - "$(dirname "$0")/../../resources/cuckoo.wav" "$WORK/call.raw" <<'PY'
import math, sys, wave

def notes(x, rate, frame=0.01, threshold=0.03, bridge=0.03):
    n = int(rate * frame)
    loud = [math.sqrt(sum(v * v for v in x[i:i + n]) / n) > threshold for i in range(0, len(x) - n + 1, n)]
    runs, start = [], None
    for i, on in enumerate(loud + [False]):
        if on and start is None:
            start = i
        if not on and start is not None:
            runs.append([start, i])
            start = None
    merged = []
    for r in runs:
        if merged and (r[0] - merged[-1][1]) * frame <= bridge:
            merged[-1][1] = r[1]
        else:
            merged.append(r)
    return [(a * n, b * n) for a, b in merged]

def pitch(x, rate):  # the strongest frequency between 400 and 1000 Hz (Goertzel), 2 Hz steps
    best = (0.0, 0)
    for f in range(400, 1000, 2):
        w, s1, s2 = 2 * math.cos(2 * math.pi * f / rate), 0.0, 0.0
        for v in x:
            s1, s2 = v + w * s1 - s2, s1
        best = max(best, (s1 * s1 + s2 * s2 - w * s1 * s2, f))
    return best[1]

def describe(x, rate):
    return [(a / rate, (b - a) / rate, pitch(x[a + (b - a) // 4:b - (b - a) // 4], rate)) for a, b in notes(x, rate)]

clip = wave.open(sys.argv[1])
rate = clip.getframerate()
want = describe([(b - 128) / 128 for b in clip.readframes(clip.getnframes())], rate)
got = describe([(b - 128) / 128 for b in open(sys.argv[2], 'rb').read()], rate)
print(len(got), " ".join("%.3f/%.3f/%d" % n for n in got))
print(len(want), " ".join("%.3f/%.3f/%d" % n for n in want))
PY
)
  read -r count notes <<<"$(sed -n 1p <<<"$report")"
  read -r _ clip_notes <<<"$(sed -n 2p <<<"$report")"
  say "recorded notes (start/length/Hz): ${notes:-none}; in the clip: $clip_notes"
  check "the call was heard exactly once: two notes (heard $count)" test "$count" = 2
  if [ "$count" = 2 ]; then
    read -r n1 n2 <<<"$notes"; read -r c1 c2 <<<"$clip_notes"
    IFS=/ read -r s1 l1 p1 <<<"$n1"; IFS=/ read -r s2 l2 p2 <<<"$n2"
    IFS=/ read -r cs1 cl1 cp1 <<<"$c1"; IFS=/ read -r cs2 cl2 cp2 <<<"$c2"
    near() { awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { exit !(a - b <= d && b - a <= d) }'; }
    check "the first note is high, about $cp1 Hz (heard $p1 Hz)" near "$p1" "$cp1" 10
    check "the second note is lower, about $cp2 Hz (heard $p2 Hz)" near "$p2" "$cp2" 10
    check "the first note lasts as in the clip ($l1 s, clip $cl1 s)" near "$l1" "$cl1" 0.03
    check "the second note is played to its end ($l2 s, clip $cl2 s)" near "$l2" "$cl2" 0.03
    check "the notes are as far apart as in the clip ($(awk -v a="$s1" -v b="$s2" 'BEGIN { print b - a }') s)" \
      near "$(awk -v a="$s1" -v b="$s2" 'BEGIN { print b - a }')" "$(awk -v a="$cs1" -v b="$cs2" 'BEGIN { print b - a }')" 0.02
  fi
  check "the sound's stream was opened as the window appeared (${STREAM_LAG:-never} s after it)" \
    sh -c "awk -v l=${STREAM_LAG:-99} 'BEGIN { exit !(l > -0.5 && l < 0.5) }'"
fi

# A round lights the screen at the alarm and every 10 s after it.
idle_checks=$([ "$variant" = sound ] && [ "$OSTREL_WM" = openbox ] && echo 1 || true)
after_appeared() { # after_appeared SECONDS: waits until that long after the alarm window appeared
  until later_than "$(now)" "$(awk -v a="$APPEARED_AT" -v s="$1" 'BEGIN { printf "%.3f", a + s }')"; do sleep 0.1; done
}
if [ -n "$idle_checks" ]; then
  # The screen is kept lit while the window waits: lit again 10 s into it, so that 13 s into the
  # window the X server has seen no input for less than a round and a second.
  after_appeared 13
  IDLE_OPEN=$(xprintidle)
  check "the screen is kept lit while the window waits: X idle time $IDLE_OPEN ms 13 s after it appeared" \
    test "$IDLE_OPEN" -lt 11000
fi

# The window manager's close command on the alarm window (alt+F4 under each window manager the
# suite runs), and the program goes back to no alarm.
# A key the user meant for another window lands here: none closes it, only the close command.
xdotool windowactivate --sync "$ALARM" >/dev/null 2>&1 || true
xdotool key --clearmodifiers Escape Return space
sleep 0.5
check "Escape, Return and Space leave the alarm window open" sh -c "xwininfo -id $ALARM | grep -q IsViewable"
CLOSE_KEY_AT=$(now)
close_with_keys "$ALARM"
check "alt+F4 closes the alarm window within a second${LIST_OPEN:+, the hour list open at the alarm} (in ${CLOSED_IN:-more than 5} s)" \
  later_than 1 "${CLOSED_IN:-9}"
sleep 1.5
others=$(app_windows | grep -vx "$MAIN_WIN" | tr '\n' ' ' || true)
check "no other window of the program opens after it (visible: ${others:-none})" test -z "$others"
check "the main window is still up" sh -c "xwininfo -id $MAIN_WIN | grep -q IsViewable"
check "the main window is not left on top" lacks_state "$MAIN_WIN" _NET_WM_STATE_ABOVE
screenshot_until "$MAIN_WIN" "$WORK/after.png" caption_against_first "$WORK/after.png" "$WORK/caption-after.png" -le 3
check "the alarm button reads as at the start, Alarm Is Off ($(differing "$WORK/caption-off.png" "$WORK/caption-after.png") pixels differ; shown after ${SHOWN_AFTER:-more than 10} s)" \
  test "$(differing "$WORK/caption-off.png" "$WORK/caption-after.png")" -le 3
combos() { convert "$1" -crop "81x21+168+$((MENU + 128))" +repage "$2"; }
combos "$WORK/before.png" "$WORK/lists-before.png"
combos "$WORK/after.png" "$WORK/lists-after.png"
check "the hour and minute lists are empty again ($(differing "$WORK/lists-before.png" "$WORK/lists-after.png") pixels differ)" \
  test "$(differing "$WORK/lists-before.png" "$WORK/lists-after.png")" -le 3
clock_box() { convert "$1" -crop "97x17+160+$((MENU + 48))" +repage "$2"; } # the time of day
sleep 1.1
window_shot "$MAIN_WIN" "$WORK/ticked.png"
clock_box "$WORK/after.png" "$WORK/time-after.png"
clock_box "$WORK/ticked.png" "$WORK/time-ticked.png"
check "the clock goes on after the alarm ($(differing "$WORK/time-after.png" "$WORK/time-ticked.png") pixels changed)" \
  test "$(differing "$WORK/time-after.png" "$WORK/time-ticked.png")" -gt 10
check "the program is still running" kill -0 "$APP_PID"
if [ -z "$SHOWN_AFTER" ] && kill -0 "$APP_PID" 2>/dev/null; then
  # Whether the program or the display is behind: its main thread's state, and the button a while later.
  say "the program's main thread: $(awk '/^State/ { print $2, $3 }' "/proc/$APP_PID/status"), waiting in $(cat "/proc/$APP_PID/wchan")"
  sleep 10
  window_shot "$MAIN_WIN" "$WORK/later.png"
  button_text "$WORK/later.png" "$WORK/caption-later.png"
  say "10 s later the caption differs from the first in $(differing "$WORK/caption-off.png" "$WORK/caption-later.png") pixels"
fi

if [ -n "$idle_checks" ]; then
  # Once the window has gone the screen is left to blank on its own timeout: past the round due 20 s
  # into the window, the close key is still the last input.
  after_appeared 21
  IDLE_CLOSED=$(xprintidle)
  SINCE_CLOSE=$(awk -v a="$CLOSE_KEY_AT" -v b="$(now)" 'BEGIN { printf "%d", (b - a) * 1000 }')
  check "the screen is left alone once the window has closed: X idle time $IDLE_CLOSED ms, $SINCE_CLOSE ms after the close key" \
    test "$IDLE_CLOSED" -ge $((SINCE_CLOSE - 500))
fi

if [ "$variant" = hung ]; then
  # The program ends at once all the same: nothing waits for the sound server at exit either.
  ENDING_AT=$(now)
  close_with_keys "$MAIN_WIN"
  ended() { [ ! -e "/proc/$APP_PID" ] || grep -q '^[0-9]* (.*) Z' "/proc/$APP_PID/stat"; }
  until ended || later_than "$(now)" "$(awk -v a="$ENDING_AT" 'BEGIN { print a + 5 }')"; do sleep 0.05; done
  ENDED_IN=$(awk -v a="$ENDING_AT" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }')
  ended && [ "${ENDED_IN%.*}" -lt 2 ] && ENDED=1 || ENDED=
  check "the program ends within 2 s of its main window closing (in $ENDED_IN s)" test -n "$ENDED"
  kill -CONT "$PULSE_PID"
fi
if [ "$variant" = sound ] && [ "$hung_status" -ne 0 ]; then fail "the run with a sound server that has stopped answering"; fi
finish
