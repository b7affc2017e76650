#!/usr/bin/env bash
# An alarm whose second the program did not see: stopped across it, stopped for more than an hour past
# it, or its clock set forward over it, on the wall clock the script sets (set_clock). The late alarm must come at the first tick after, centred, above, with its sound,
# and once; one more than an hour late must not come, and the alarm stays on.
. "$(dirname "$0")/lib.sh"
export TZ=UTC
desktop_start --sound
stdbuf -oL pactl subscribe >"$WORK/events" 2>&1 &
PIDS+=($!)

fake_now() { awk -v r="$(now)" -v o="$OFFSET" 'BEGIN { printf "%.3f", r + o }'; }
streams() { grep -c "'new' on sink-input" "$WORK/events" || true; }

caption() { # caption NAME: the button's caption now, into $WORK/caption-NAME.png
  window_shot "$MAIN_WIN" "$WORK/shot.png"
  button_text "$WORK/shot.png" "$WORK/caption-$1.png"
}

# Starts the program with its clock at HH:MM:SS and arms the alarm for 07:30, as a user does.
start_armed() {
  set_clock "$1"
  app_start "${FAKE_CLOCK[@]}"
  client_geometry "$MAIN_WIN"
  MENU=$((H - 159))
  sleep 1
  caption off
  set_alarm "$MAIN_WIN" "$MENU" 07 30
  sleep 0.3
  caption on
  check "the alarm is on ($(differing "$WORK/caption-off.png" "$WORK/caption-on.png") pixels changed)" \
    test "$(differing "$WORK/caption-off.png" "$WORK/caption-on.png")" -gt 10
}

stop_app() {
  local keep=() pid
  kill "$APP_PID" 2>/dev/null || true
  wait "$APP_PID" 2>/dev/null || true
  for pid in "${PIDS[@]}"; do [ "$pid" = "$APP_PID" ] || keep+=("$pid"); done
  PIDS=("${keep[@]}")
}

alarm_windows() {
  local w
  for w in $(app_windows); do
    if [ "$w" != "$MAIN_WIN" ] && is_managed "$w"; then echo "$w"; fi
  done
}

# After the moment FROM (the program continued, or its clock jumped): the alarm window appears within
# 1.5 s, centred on the screen by its frame, above other windows, with one sound stream, and no
# second window follows.
expect_alarm() { # expect_alarm FROM STREAMS-BEFORE
  local from=$1 before=$2 alarm= seen=() w after
  local deadline
  deadline=$(awk -v t="$from" 'BEGIN { printf "%.3f", t + 5 }')
  while [ -z "$alarm" ] && later_than "$deadline" "$(now)"; do
    alarm=$(alarm_windows | head -n1 || true)
    [ -n "$alarm" ] || sleep 0.01
  done
  after=$(awk -v a="$(now)" -v f="$from" 'BEGIN { printf "%.2f", a - f }')
  if [ -z "$alarm" ]; then fail "the alarm window appears (none within 5 s)"; return; fi
  check "the alarm window appears within 1.5 s (after $after s)" later_than 1.5 "$after"
  frame_geometry "$alarm"
  local off_x=$((2 * FX + FW - 1024)) off_y=$((2 * FY + FH - 768))
  check "its frame ${FW}x$FH at $FX,$FY is centred on the screen" test "${off_x#-}" -le 2 -a "${off_y#-}" -le 2
  check "it is kept above other windows" wait_for 2 has_state "$alarm" _NET_WM_STATE_ABOVE
  check "its sound stream was opened" wait_for 2 sh -c "test \$(grep -c \"'new' on sink-input\" '$WORK/events') -gt $before"
  # Watch for 2 s: every alarm window seen must be that one.
  deadline=$(awk -v t="$(now)" 'BEGIN { printf "%.3f", t + 2 }')
  while later_than "$deadline" "$(now)"; do
    for w in $(alarm_windows); do [[ " ${seen[*]} " == *" $w "* ]] || seen+=("$w"); done
    sleep 0.05
  done
  check "exactly one alarm window appeared (saw ${#seen[@]})" test "${#seen[@]}" -eq 1
  check "it called once ($(($(streams) - before)) sound streams)" test "$(($(streams) - before))" -eq 1
  close_with_keys "$alarm"
  check "alt+F4 closes it within a second (in ${CLOSED_IN:-more than 5} s)" later_than 1 "${CLOSED_IN:-9}"
}

# Starting and arming can take many seconds on a loaded machine, so the program starts well before
# the alarm and its clock is then moved on to just before it.
armed_at_07_29_56() {
  start_armed 07:29:20
  check "armed before 07:29:56" later_than "$(date -u -d "$DAY 07:29:56" +%s)" "$(fake_now)"
  set_clock 07:29:56
}

say "--- stopped from 07:29:58 to 07:30:03"
armed_at_07_29_56
until_clock 07:29:58
kill -STOP "$APP_PID"
until_clock 07:30:03
before=$(streams)
kill -CONT "$APP_PID"
expect_alarm "$(now)" "$before"
stop_app

say "--- stopped from 07:29:58 until 08:31"
armed_at_07_29_56
until_clock 07:29:58
kill -STOP "$APP_PID"
sleep 1
set_clock 08:31:00
sleep 1
before=$(streams)
kill -CONT "$APP_PID"
sleep 3
check "no alarm window more than an hour late (visible: $(alarm_windows | tr '\n' ' '))" test -z "$(alarm_windows)"
check "no sound more than an hour late" test "$(streams)" -eq "$before"
caption late
check "the alarm is still on ($(differing "$WORK/caption-on.png" "$WORK/caption-late.png") pixels differ from when armed)" \
  test "$(differing "$WORK/caption-on.png" "$WORK/caption-late.png")" -le 3
check "the program is still running" kill -0 "$APP_PID"
stop_app

say "--- the clock set forward over the alarm, from 07:29 to 07:45, with the Window menu open"
start_armed 07:29:00
sleep 1
# A menu left open does not keep the keyboard from the alarm window.
xdotool key --clearmodifiers alt+w
check "the Window menu is open" wait_for 2 popup_open
before=$(streams)
set_clock 07:45:00
expect_alarm "$(now)" "$before"
check "the program is still running" kill -0 "$APP_PID"
stop_app

finish
