#!/usr/bin/env bash
# How the desktop recognises the running program: the class a launcher or task bar matches against
# the desktop entry, the process behind the window, and the icon it shows for it.
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib.sh"
ENTRY=$HERE/../../data/org.ostrel.Ostrel.desktop

desktop_start
app_start

# WM_CLASS(STRING) = "instance", "class"
read -r instance class < <(xprop -id "$MAIN_WIN" -notype WM_CLASS | sed -n 's/^WM_CLASS = "\(.*\)", "\(.*\)"$/\1 \2/p')
say "WM_CLASS: instance '$instance', class '$class'"
check "the instance name is the program's name" test "$instance" = ostrel
check "the class is the application name Qt was given" test "$class" = ostrel -o "$class" = Ostrel
# Task bars that match the desktop entry to the window by StartupWMClass group it under the right icon.
wmclass=$(sed -n 's/^StartupWMClass=//p' "$ENTRY")
check "the desktop entry's StartupWMClass ($wmclass) names this window's class" \
  test "$wmclass" = "$class" -o "$wmclass" = "$instance"

pid=$(xprop -id "$MAIN_WIN" -notype _NET_WM_PID | sed -n 's/^_NET_WM_PID = //p')
check "_NET_WM_PID is the program's process ($pid, started $APP_PID)" test "$pid" = "$APP_PID"
# The window manager only trusts the PID (to kill a hung program) on the machine the client names.
machine=$(xprop -id "$MAIN_WIN" -notype WM_CLIENT_MACHINE | sed -n 's/^WM_CLIENT_MACHINE = "\(.*\)"$/\1/p')
check "WM_CLIENT_MACHINE is this host ($machine)" test "$machine" = "$(uname -n)"
check "the window answers _NET_WM_PING, so a hung program can be told apart" \
  sh -c "xprop -id $MAIN_WIN -notype WM_PROTOCOLS | grep -q _NET_WM_PING"

# _NET_WM_ICON: width, height, then width*height ARGB pixels, once per size.
icons=$(xprop -id "$MAIN_WIN" -notype 32c _NET_WM_ICON | sed -n 's/^_NET_WM_ICON = //p' | python3 -c '
import sys
v = [int(x) for x in sys.stdin.read().replace(",", " ").split()]
i = 0
while i + 2 <= len(v):
    w, h = v[i], v[i + 1]
    px = v[i + 2:i + 2 + w * h]
    if w <= 0 or h <= 0 or len(px) != w * h:
        print("broken"); break
    opaque = sum(1 for p in px if p >> 24 == 0xFF)
    colours = len({p for p in px if p >> 24})
    print(f"{w}x{h}:{opaque}:{colours}")
    i += 2 + w * h
')
say "_NET_WM_ICON sizes (size:opaque pixels:colours): $(tr '\n' ' ' <<<"$icons")"
check "the window carries an icon" test -n "$icons"
check "every icon in it is whole" test "${icons/broken/}" = "$icons"
for size in 16x16 32x32; do
  entry=$(grep "^$size:" <<<"$icons" | head -n1)
  IFS=: read -r _ opaque colours <<<"${entry:-x:0:0}"
  check "a $size icon, mostly opaque and more than one colour ($opaque opaque, $colours colours)" \
    test "${opaque:-0}" -gt $(( ${size%x*} * ${size%x*} / 2 )) -a "${colours:-0}" -gt 1
done

finish
