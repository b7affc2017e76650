#!/usr/bin/env bash
# Ostrel! as a screen reader meets it: a D-Bus session and an accessibility bus of the test's own
# on its own X desktop, the program started with Qt's AT-SPI bridge on, and at_spi.py reading it.
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/../desktop/lib.sh"

desktop_start
export XDG_RUNTIME_DIR=$WORK/runtime HOME=$WORK/home
mkdir -p "$XDG_RUNTIME_DIR" "$HOME" && chmod 700 "$XDG_RUNTIME_DIR"
# No desktop settings: the bus launcher and the program must not rely on a running desktop.
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=0

# Only the accessibility bus's launcher serves on it: no service installed on the machine is started.
private_bus session
export DBUS_SESSION_BUS_ADDRESS=$BUS_ADDRESS
bus_pid=${PIDS[-1]}
/usr/libexec/at-spi-bus-launcher --launch-immediately --a11y=1 >"$WORK/a11y-bus.log" 2>&1 &
launcher=$!
PIDS+=("$launcher")
wait_for 20 sh -c 'dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress | grep -q unix' \
  || { say "the accessibility bus did not start"; cat "$WORK/a11y-bus.log"; exit 1; }

# 09:14:30: the alarm the script sets for 09:15 goes off after it has read everything else.
app_start QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 \
  FAKETIME="@2026-05-04 09:14:30" FAKETIME_DONT_FAKE_MONOTONIC=1 \
  LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1

/usr/bin/python3 "$HERE/at_spi.py" "$APP_PID" "$MAIN_WIN" && rc=0 || rc=$?
adopt_descendants "$launcher" "$bus_pid"
[ "$rc" -eq 0 ] || FAILURES=$((FAILURES + 1))
finish
