#!/usr/bin/env bash
# What GNOME Shell's lock screen does while the alarm window waits: runs the program under a real
# GNOME Shell (headless, on a virtual monitor, with its Xwayland), sets the alarm for 07:30 as a user
# does, locks the screen before the alarm, and records from the session bus every WakeUpScreen the
# shell emits and every notification the program sends or withdraws, for 40 s from the alarm. Not a
# test: it prints figures.
#   tools/measure_gnome_wake.sh [PROGRAM] [--unlocked | --unlock-at SECONDS] [--keep DIR]
#     PROGRAM          the program under test (default: build/ostrel)
#     --unlocked       the screen is never locked: with the shield down nothing may be sent again
#     --unlock-at S    locked as usual, then unlocked S seconds after the alarm window appeared
#     --keep DIR       the buses' records, the logs and the screenshots are copied to DIR
# The program runs on a fake clock (libfaketime) that starts at 07:29:35 as it is launched.
#
# Debian packages it needs (it installs none):
#   gnome-shell gjs xwayland dbus-daemon python3 python3-dbus python3-gi xdotool x11-utils
#   imagemagick faketime
# GNOME Shell 43 offers its lock screen only where GDM and logind answer on the system bus, and its
# org.gnome.ScreenSaver and org.freedesktop.Notifications names are served by two small services
# of its own that the session bus would start on demand. Everything runs on two buses of the
# script's own, with stand-ins for GDM and logind on the system one and for systemd's user manager
# on the session one, so nothing of the machine's own desktop or buses is used; everything started
# is stopped again by PID, and the whole run ends itself after 4 minutes.
#
# On a machine shared with other desktop runs, take the desktop lock around it:
#   flock /tmp/ostrel-desktop.lock tools/measure_gnome_wake.sh
set -Eeuo pipefail
trap 'echo "error: line $LINENO: $BASH_COMMAND exited $?" >&2' ERR

here=$(cd "$(dirname "$0")" && pwd)
program=
mode=locked
unlock_at=
keep=
while [ $# -gt 0 ]; do
  case $1 in
    --unlocked) mode=unlocked ;;
    --unlock-at) mode=unlock; unlock_at=${2:?--unlock-at needs seconds}; shift ;;
    --keep) keep=${2:?--keep needs a directory}; shift ;;
    -h | --help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) [ -z "$program" ] || { echo "one program only" >&2; exit 2; }; program=$1 ;;
  esac
  shift
done
program=${program:-$here/../build/ostrel}
[ -x "$program" ] || { echo "no program at $program (build it first)" >&2; exit 2; }
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
PY=/usr/bin/python3 # Debian's, which has python3-dbus and python3-gi
FAKETIME_LIB=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1
for need in gnome-shell gjs Xwayland dbus-daemon dbus-monitor dbus-send xdotool xwininfo import convert; do
  command -v "$need" >/dev/null || { echo "$need is not installed" >&2; exit 2; }
done
for need in "$PY" "$FAKETIME_LIB" /usr/share/gnome-shell/org.gnome.ScreenSaver \
  /usr/share/gnome-shell/org.gnome.Shell.Notifications; do
  [ -e "$need" ] || { echo "$need is not installed" >&2; exit 2; }
done

# Seconds from the launch to 07:30:00 on the program's clock, and how long the record runs after.
DUE=25
RECORD=40
LIMIT=230
SESSION_ID=ostrel1
WORK=$(mktemp -d /tmp/ostrel-gnome-wake.XXXXXX)
PIDS=()

is_pid() { [[ $1 =~ ^[1-9][0-9]*$ && $1 != 1 ]]; }
# Every process the given ones started (children first) joins the ones stopped at the end.
adopt_descendants() {
  local pid child
  for pid in "$@"; do
    for child in $(cat /proc/"$pid"/task/*/children 2>/dev/null || true); do
      is_pid "$child" || continue
      adopt_descendants "$child"
      PIDS+=("$child")
    done
  done
}
cleanup() {
  local pid i lock
  trap '' TERM INT
  [ ${#PIDS[@]} -gt 0 ] || { rm -rf "$WORK"; return; }
  # Xwayland and the services the shell started for itself are its children.
  adopt_descendants "${PIDS[@]}"
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
    pid=${PIDS[i]}
    ! is_pid "$pid" || kill "$pid" 2>/dev/null || true
  done
  for pid in "${PIDS[@]}"; do
    is_pid "$pid" || continue
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  # An Xwayland that did not get to leave keeps its display's lock and socket.
  for lock in /tmp/.X*-lock; do
    [ -f "$lock" ] && [ "$(tr -d ' ' <"$lock" 2>/dev/null)" = "${SHELL_PID:-none}" ] || continue
    i=${lock#/tmp/.X}; i=${i%-lock}
    rm -f "$lock" "/tmp/.X11-unix/X$i"
  done
  if [ -n "$keep" ]; then
    mkdir -p "$keep" && cp -r "$WORK"/*.log "$WORK"/*.png "$keep"/ 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
# However the desktop hangs, the run (and the desktop lock) ends.
(sleep "$LIMIT" && echo "the run took more than $LIMIT s: stopped" >&2 && kill -TERM $$) &
PIDS+=($!)

say() { printf '%s\n' "$*"; }
# To the script's own stderr, also from inside a wait_for.
exec 4>&2
die() { say "$*" >&4; exit 1; }
now() { printf '%s\n' "${EPOCHREALTIME/,/.}"; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }
wait_for() { # wait_for SECONDS COMMAND...: 0 once the command succeeds within the seconds
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

# bus NAME: a bus of the script's own (NAME is system or session). Its configuration names no
# service directory, so nothing installed is started on demand, and lets dbus-monitor see all.
bus() {
  local config=$WORK/$1-bus.conf address pid
  cat >"$config" <<CONF
<busconfig>
  <type>$1</type>
  <listen>unix:path=$WORK/$1-bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
  { read -r address; read -r pid; } < <(dbus-daemon --config-file="$config" --fork --print-address=1 --print-pid=1)
  is_pid "$pid" && PIDS+=("$pid")
  [ -n "$address" ] || die "the $1 bus did not start"
  BUS=$address
}
owner() { # owner ADDRESS NAME: the unique name that owns NAME, or nothing
  dbus-send --bus="$1" --print-reply=literal --reply-timeout=5000 --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetNameOwner string:"$2" 2>/dev/null | tr -d ' '
}
has_owner() { [ -n "$(owner "$1" "$2")" ]; }

# The stand-ins. "system": what GNOME Shell asks of the system bus before it offers a lock screen:
# GDM's version (at start-up, synchronously), and logind's session for XDG_SESSION_ID, with its Lock
# and Unlock signals, a locked hint and a sleep inhibitor; SendUnlock on the session has it send
# Unlock, as loginctl unlock-session would. "session": systemd's user manager, which knows only the
# input method's unit. Without it the shell forks ibus-daemon itself through a JavaScript
# child-setup function, and the child can hang on a lock the fork copied, with the shell waiting on
# it for good (seen here in one of the first two starts).
cat >"$WORK/stand-ins.py" <<'PY'
import os
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

SESSION_ID = sys.argv[2]
SESSION_PATH = "/org/freedesktop/login1/session/" + SESSION_ID
PROPS = "org.freedesktop.DBus.Properties"
MANAGER = "org.freedesktop.login1.Manager"
SESSION = "org.freedesktop.login1.Session"


def log(*words):
    print(*words, flush=True)


class WithProperties(dbus.service.Object):
    interface = None

    def __init__(self, bus, path, props):
        super().__init__(bus, path)
        self.props = props

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        log("Get", interface, name)
        if interface != self.interface or name not in self.props:
            raise dbus.exceptions.DBusException(name, name="org.freedesktop.DBus.Error.UnknownProperty")
        return self.props[name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        log("GetAll", interface)
        return dbus.Dictionary(self.props if interface == self.interface else {}, signature="sv")

    @dbus.service.signal(PROPS, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass


class DisplayManager(WithProperties):
    interface = "org.gnome.DisplayManager.Manager"

    @dbus.service.method("org.gnome.DisplayManager.Manager", in_signature="a{sv}")
    def RegisterSession(self, details):
        log("RegisterSession")


class Manager(WithProperties):
    interface = MANAGER
    inhibitors = []

    @dbus.service.method(MANAGER, in_signature="s", out_signature="o")
    def GetSession(self, session):
        log("GetSession", session)
        if session not in (SESSION_ID, "auto"):
            raise dbus.exceptions.DBusException(session, name="org.freedesktop.login1.NoSuchSession")
        return dbus.ObjectPath(SESSION_PATH)

    @dbus.service.method(MANAGER, in_signature="", out_signature="a(susso)")
    def ListSessions(self):
        return [(SESSION_ID, os.getuid(), "user", "seat0", dbus.ObjectPath(SESSION_PATH))]

    @dbus.service.method(MANAGER, in_signature="ssss", out_signature="h")
    def Inhibit(self, what, who, why, mode):
        log("Inhibit", what, who, mode)
        read_end, write_end = os.pipe()
        self.inhibitors.append(write_end)
        fd = dbus.types.UnixFd(read_end)
        os.close(read_end)
        return fd

    @dbus.service.method(MANAGER, in_signature="", out_signature="s")
    def CanSuspend(self):
        return "na"

    @dbus.service.method(MANAGER, in_signature="", out_signature="s")
    def CanRebootToBootLoaderMenu(self):
        return "na"

    @dbus.service.signal(MANAGER, signature="b")
    def PrepareForSleep(self, start):
        pass


class User(WithProperties):
    interface = "org.freedesktop.login1.User"


class Session(WithProperties):
    interface = SESSION

    @dbus.service.method(SESSION, in_signature="b")
    def SetLockedHint(self, locked):
        log("SetLockedHint", bool(locked))
        self.props["LockedHint"] = dbus.Boolean(locked)
        self.PropertiesChanged(SESSION, {"LockedHint": dbus.Boolean(locked)}, [])

    @dbus.service.signal(SESSION, signature="")
    def Lock(self):
        log("Lock")

    @dbus.service.signal(SESSION, signature="")
    def Unlock(self):
        log("Unlock")

    @dbus.service.method("org.ostrel.Harness", in_signature="")
    def SendUnlock(self):
        self.Unlock()


class SystemdManager(dbus.service.Object):
    UNITS = ("org.freedesktop.IBus.session.GNOME.service",)

    @dbus.service.method("org.freedesktop.systemd1.Manager", in_signature="s", out_signature="o")
    def GetUnit(self, unit):
        log("GetUnit", unit)
        if unit not in self.UNITS:
            raise dbus.exceptions.DBusException(unit, name="org.freedesktop.systemd1.NoSuchUnit")
        return dbus.ObjectPath("/org/freedesktop/systemd1/unit/ibus")


DBusGMainLoop(set_as_default=True)
if sys.argv[1] == "session":
    bus = dbus.SessionBus()
    manager = SystemdManager(bus, "/org/freedesktop/systemd1")
    name = dbus.service.BusName("org.freedesktop.systemd1", bus)
    log("ready")
    GLib.MainLoop().run()
    sys.exit(0)
bus = dbus.SystemBus()
session = dbus.ObjectPath(SESSION_PATH)
user = {"Display": dbus.Struct((SESSION_ID, session), signature="so"),
        "Sessions": dbus.Array([(SESSION_ID, session)], signature="(so)")}
objects = [
    DisplayManager(bus, "/org/gnome/DisplayManager/Manager", {"Version": dbus.String("43.0")}),
    Manager(bus, "/org/freedesktop/login1", {}),
    User(bus, "/org/freedesktop/login1/user/self", user),
    Session(bus, SESSION_PATH, {
        "Active": dbus.Boolean(True), "Class": dbus.String("user"), "Id": dbus.String(SESSION_ID),
        "Remote": dbus.Boolean(False), "Type": dbus.String("wayland"), "State": dbus.String("active"),
        "LockedHint": dbus.Boolean(False)}),
]
names = [dbus.service.BusName(name, bus) for name in ("org.freedesktop.login1", "org.gnome.DisplayManager")]
log("ready")
GLib.MainLoop().run()
PY

bus system
SYSTEM_BUS=$BUS
bus session
SESSION_BUS=$BUS
DBUS_SYSTEM_BUS_ADDRESS=$SYSTEM_BUS "$PY" -u "$WORK/stand-ins.py" system "$SESSION_ID" >"$WORK/system-stand-ins.log" 2>&1 &
PIDS+=($!)
DBUS_SESSION_BUS_ADDRESS=$SESSION_BUS "$PY" -u "$WORK/stand-ins.py" session "$SESSION_ID" >"$WORK/session-stand-ins.log" 2>&1 &
PIDS+=($!)
wait_for 20 has_owner "$SYSTEM_BUS" org.gnome.DisplayManager ||
  die "the system bus's stand-ins did not start: $(cat "$WORK/system-stand-ins.log")"
wait_for 20 has_owner "$SESSION_BUS" org.freedesktop.systemd1 ||
  die "the session bus's stand-in did not start: $(cat "$WORK/session-stand-ins.log")"
# Both buses as a whole, for what the shell asks and for the figures.
dbus-monitor --address "$SYSTEM_BUS" >"$WORK/system-bus.log" 2>&1 &
PIDS+=($!)
stdbuf -oL dbus-monitor --address "$SESSION_BUS" >"$WORK/session-bus.log" 2>&1 &
PIDS+=($!)

# The shell, with a home, settings and runtime directory of its own; its settings are its defaults
# (the lock screen on, notifications shown there).
mkdir -p "$WORK"/shell/{home,config,data,cache,runtime} "$WORK"/app/{home,config,runtime}
chmod 700 "$WORK/shell/runtime" "$WORK/app/runtime"
env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 USER="$(id -un)" LOGNAME="$(id -un)" \
  HOME="$WORK/shell/home" XDG_CONFIG_HOME="$WORK/shell/config" XDG_DATA_HOME="$WORK/shell/data" \
  XDG_CACHE_HOME="$WORK/shell/cache" XDG_RUNTIME_DIR="$WORK/shell/runtime" \
  XDG_SESSION_ID=$SESSION_ID XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME GSETTINGS_BACKEND=memory \
  DBUS_SYSTEM_BUS_ADDRESS="$SYSTEM_BUS" DBUS_SESSION_BUS_ADDRESS="$SESSION_BUS" \
  gnome-shell --wayland --headless --sm-disable --virtual-monitor 1024x768 >"$WORK/shell.log" 2>&1 &
SHELL_PID=$!
PIDS+=($SHELL_PID)
STARTED=$(now)
shell_up() {
  kill -0 "$SHELL_PID" 2>/dev/null || die "gnome-shell exited: $(tail -n 30 "$WORK/shell.log")"
  # The last names the shell takes at start-up: an X client that connects earlier, while the shell
  # is still starting, can stall it (and its Xwayland) for half a minute.
  has_owner "$SESSION_BUS" org.gnome.Shell.ScreenShield && has_owner "$SESSION_BUS" org.gnome.Mutter.RemoteDesktop &&
    grep -q 'Using public X11 display' "$WORK/shell.log"
}
wait_for 120 shell_up || die "gnome-shell did not come up in 120 s: $(tail -n 30 "$WORK/shell.log")"
# "Using public X11 display :1, (using :2 for managed services)": the first is the clients'.
DISPLAY=$(sed -n 's/.*Using public X11 display \([^,]*\),.*/\1/p' "$WORK/shell.log" | head -n1)
XAUTHORITY=$(ls "$WORK"/shell/runtime/.mutter-Xwaylandauth.* 2>/dev/null | head -n1 || true)
export DISPLAY XAUTHORITY
wait_for 30 timeout 5 xwininfo -root ||
  die "Xwayland on $DISPLAY does not answer (the shell stalls at start-up now and then here: run it again)"
say "gnome-shell up after $(since "$STARTED") s; Xwayland at DISPLAY=$DISPLAY"

# The shell's own services for the names a program calls, each started as the bus would have.
for service in org.gnome.ScreenSaver org.gnome.Shell.Notifications; do
  env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 HOME="$WORK/shell/home" \
    XDG_RUNTIME_DIR="$WORK/shell/runtime" GSETTINGS_BACKEND=memory DBUS_SESSION_BUS_ADDRESS="$SESSION_BUS" \
    gjs "/usr/share/gnome-shell/$service" >"$WORK/$service.log" 2>&1 &
  PIDS+=($!)
done
wait_for 30 has_owner "$SESSION_BUS" org.gnome.ScreenSaver || die "org.gnome.ScreenSaver did not start: $(cat "$WORK/org.gnome.ScreenSaver.log")"
wait_for 30 has_owner "$SESSION_BUS" org.freedesktop.Notifications ||
  die "org.freedesktop.Notifications did not start: $(cat "$WORK/org.gnome.Shell.Notifications.log")"
SHELL_NAME=$(owner "$SESSION_BUS" org.gnome.Shell)
SAVER_NAME=$(owner "$SESSION_BUS" org.gnome.ScreenSaver)
NOTICES_NAME=$(owner "$SESSION_BUS" org.freedesktop.Notifications)

screensaver() { # screensaver METHOD [ARGS...]: a call to org.gnome.ScreenSaver, its answer printed
  dbus-send --bus="$SESSION_BUS" --print-reply=literal --reply-timeout=30000 --dest=org.gnome.ScreenSaver \
    /org/gnome/ScreenSaver org.gnome.ScreenSaver."$@"
}
shield_active() { screensaver GetActive | grep -q true; }

# The program, on the shell's Xwayland and the script's session bus, on a clock that reaches 07:30:00
# DUE seconds after the launch.
LAUNCH=$(now)
env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 DISPLAY="$DISPLAY" XAUTHORITY="$XAUTHORITY" \
  HOME="$WORK/app/home" XDG_CONFIG_HOME="$WORK/app/config" XDG_RUNTIME_DIR="$WORK/app/runtime" \
  DBUS_SESSION_BUS_ADDRESS="$SESSION_BUS" PULSE_SERVER="unix:$WORK/no-sound-server" \
  LD_PRELOAD="$FAKETIME_LIB" FAKETIME="@$(date -d "2026-05-04 07:30:00 $DUE seconds ago" '+%Y-%m-%d %H:%M:%S')" \
  FAKETIME_DONT_FAKE_MONOTONIC=1 "$program" >"$WORK/program.log" 2>&1 &
APP_PID=$!
PIDS+=($APP_PID)
app_windows() { timeout 5 xdotool search --pid "$APP_PID" --onlyvisible --name '^Ostrel!$' 2>/dev/null || true; }
main_shown() { kill -0 "$APP_PID" 2>/dev/null && [ -n "$(app_windows)" ]; }
wait_for 30 main_shown || die "the program's main window did not appear: $(tail -n 20 "$WORK/program.log")"
MAIN_WIN=$(app_windows | head -n1)
say "the program's main window after $(since "$LAUNCH") s (window $MAIN_WIN)"

# The alarm set as a user sets it: each list opened with the mouse, the item typed and taken with
# Return, then the alarm button clicked. MENU is the menu bar's height.
height=$(xwininfo -id "$MAIN_WIN" | awk '/Height:/ {print $2}')
MENU=$((height - 159))
# The alarm button's caption as black and white: "Off" and "On" differ in about 20 pixels.
caption() { # caption OUT
  import -window "$MAIN_WIN" "$WORK/$1.png"
  convert "$WORK/$1.png" -crop "73x17+$((168 + 4))+$((MENU + 80 + 4))" +repage -colorspace gray -threshold 50% \
    "$WORK/$1-caption.png"
}
timeout 5 xdotool windowactivate --sync "$MAIN_WIN" >/dev/null 2>&1 || true
sleep 1
caption before
for choice in "168 07" "208 30"; do
  read -r left item <<<"$choice"
  xdotool mousemove --window "$MAIN_WIN" $((left + 20)) $((MENU + 138)) click 1
  sleep 0.5
  xdotool type --delay 80 "$item"
  xdotool key Return
  sleep 0.4
done
xdotool mousemove --window "$MAIN_WIN" 208 $((MENU + 92)) click 1
sleep 1
caption armed
changed=$(compare -metric AE "$WORK/before-caption.png" "$WORK/armed-caption.png" null: 2>&1 || true)
say "alarm set by xdotool at +$(since "$LAUNCH") s; the alarm button's caption changed in $changed pixels"
[ "${changed%%.*}" -gt 10 ] 2>/dev/null || die "the alarm button did not change: the alarm was not set"

if [ "$mode" != unlocked ]; then
  screensaver Lock >/dev/null || die "Lock was refused: $(tail -n 20 "$WORK/shell.log")"
  wait_for 10 shield_active || die "the shield is not active after Lock"
  say "screen locked at +$(since "$LAUNCH") s (GetActive true)"
else
  say "screen left unlocked (GetActive $(screensaver GetActive))"
fi
late=$(awk -v a="$LAUNCH" -v b="$(now)" -v due=$DUE 'BEGIN { print (b - a >= due) }')
[ "$late" = 0 ] || die "the screen was not ready before 07:30:00 on the program's clock"

# The alarm window: the program's second window.
alarm_shown() { [ "$(app_windows | grep -cvx "$MAIN_WIN")" -gt 0 ]; }
wait_for $((DUE + 20)) alarm_shown || die "the alarm window did not appear"
ALARM=$(now)
say "alarm window at +$(since "$LAUNCH") s ($(awk -v a="$LAUNCH" -v b="$ALARM" -v d=$DUE 'BEGIN { printf "%+.1f", b - a - d }') s from 07:30:00)"
import -window "$(app_windows | grep -vx "$MAIN_WIN" | head -n1)" "$WORK/alarm-window.png" 2>/dev/null || true
if [ "$mode" = unlock ]; then
  sleep "$unlock_at"
  dbus-send --bus="$SYSTEM_BUS" --print-reply --dest=org.freedesktop.login1 \
    "/org/freedesktop/login1/session/$SESSION_ID" org.ostrel.Harness.SendUnlock >/dev/null
  say "unlocked through logind's Unlock signal at +$(since "$ALARM") s from the alarm window"
fi
sleep "$(awk -v a="$ALARM" -v b="$(now)" -v r=$RECORD 'BEGIN { s = a + r - b; printf "%.2f", (s > 0 ? s : 0) }')"
kill -0 "$APP_PID" 2>/dev/null || die "the program exited: $(tail -n 20 "$WORK/program.log")"
kill -0 "$SHELL_PID" 2>/dev/null || die "gnome-shell exited: $(tail -n 20 "$WORK/shell.log")"
END=$(now)
sleep 0.5

"$PY" - "$WORK/session-bus.log" "$ALARM" "$END" "$SHELL_NAME" "$SAVER_NAME" "$NOTICES_NAME" <<'PY'
import re
import sys

log, alarm, end = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
shell, saver, notices = sys.argv[4:7]
HEADER = re.compile(r"^(signal|method call|method return|error) time=([0-9.]+) sender=(\S+) -> destination=(\(null destination\)|\S+)"
                    r"(?: serial=(\d+))?(?: reply_serial=(\d+))?(?: path=([^;]*); interface=([^;]*); member=(\S+))?")

messages = []
for line in open(log, errors="replace"):
    m = HEADER.match(line)
    if m:
        kind, t, sender, dest, serial, reply, path, iface, member = m.groups()
        messages.append(dict(kind=kind, t=float(t), sender=sender, dest=dest, serial=serial, reply=reply,
                             iface=iface, member=member, args=[]))
    elif messages and line.startswith("   "):
        messages[-1]["args"].append(line.strip())

def value(arg):
    return arg.split(" ", 1)[1].strip('"') if " " in arg else arg

events = []       # (time, text)
wakes, relayed = [], 0
calls = {}        # (sender, serial) of the program's Notify calls
open_ids, peak, sent = set(), 0, 0
program = None
for msg in messages:
    if msg["t"] > end:
        break
    if msg["kind"] == "signal" and msg["iface"] == "org.gnome.ScreenSaver":
        if msg["sender"] == shell:
            if msg["member"] == "WakeUpScreen":
                wakes.append(msg["t"])
            events.append((msg["t"], msg["member"] + (" " + msg["args"][0] if msg["args"] else "")))
        elif msg["member"] == "WakeUpScreen" and msg["sender"] == saver:
            relayed += 1
    elif msg["kind"] == "method call" and msg["iface"] == "org.freedesktop.Notifications":
        if msg["sender"] == notices or msg["dest"] in (shell, "org.gnome.Shell"):
            continue  # the relay's own leg to the shell
        if msg["member"] == "Notify" and msg["args"] and value(msg["args"][0]) == "Ostrel!":
            program = msg["sender"]
            calls[(msg["sender"], msg["serial"])] = msg["t"]
            sent += 1
            events.append((msg["t"], "Notify sent"))
        elif msg["member"] == "CloseNotification" and msg["sender"] == program:
            nid = value(msg["args"][0])
            open_ids.discard(nid)
            events.append((msg["t"], "CloseNotification %s (open: %d)" % (nid, len(open_ids))))
    elif msg["kind"] == "method return" and (msg["dest"], msg["reply"]) in calls:
        nid = value(msg["args"][0])
        open_ids.add(nid)
        peak = max(peak, len(open_ids))
        events.append((msg["t"], "Notify answered: id %s (open: %d)" % (nid, len(open_ids))))
    elif msg["kind"] == "signal" and msg["member"] == "NotificationClosed" and msg["sender"] == shell:
        nid = value(msg["args"][0])
        was = nid in open_ids
        open_ids.discard(nid)
        if was or msg["t"] >= alarm - 5:
            events.append((msg["t"], "NotificationClosed %s reason %s (open: %d)" % (nid, value(msg["args"][1]), len(open_ids))))

print("events, seconds from the alarm window's appearance:")
for t, text in sorted(events):
    if t >= alarm - 30:
        print("  %+7.2f  %s" % (t - alarm, text))
in_window = [t for t in wakes if alarm - 2 <= t <= end]
print("WakeUpScreen from the shell: %d in the %.0f s record (the org.gnome.ScreenSaver service relayed %d)"
      % (len(in_window), end - alarm, relayed))
print("WakeUpScreen times from the alarm window: %s" % (", ".join("%+.2f" % (t - alarm) for t in in_window) or "none"))
gaps = [b - a for a, b in zip(in_window, in_window[1:])]
print("largest gap between WakeUpScreens: %s" % ("%.2f s" % max(gaps) if gaps else "none (fewer than two)"))
if in_window:
    print("from the last WakeUpScreen to the end of the record: %.2f s" % (end - in_window[-1]))
print("Notify calls by the program: %d; most of its notifications open at once: %d; open at the end: %d"
      % (sent, peak, len(open_ids)))
PY
