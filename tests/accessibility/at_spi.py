#!/usr/bin/python3
"""Ostrel! read and driven over AT-SPI, the way a screen reader sees it.

    at_spi.py APP_PID

Run by test_accessibility.sh, which provides the buses, the desktop and the program (its clock
started at 09:14:30). Keys go through the X server with xdotool, as a user's would; buttons are
pressed through their AT-SPI actions, as a screen reader's user presses them.
"""
import re
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

FAILURES = 0


def check(ok, what):
    global FAILURES
    print(("PASS: " if ok else "FAIL: ") + what, flush=True)
    FAILURES += not ok
    return ok


# Events the program sends, each as (time, type, role, name) of its source, gathered while pumping.
EVENTS = []


def on_event(event):
    try:
        role, name = event.source.getRoleName(), event.source.name
    except Exception:  # the source may be gone already, as a closing window's children are
        role, name = "?", "?"
    EVENTS.append((time.monotonic(), event.type, role, name))


def pump(seconds, until=None):
    """Runs the event loop for up to `seconds`, or until `until()` holds; returns whether it did."""
    deadline = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < deadline:
        while context.pending():
            context.iteration(False)
        if until is not None and until():
            return True
        time.sleep(0.02)
    return until is None


def find_app(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for _ in range(150):
        for app in desktop:
            if app is not None and app.get_process_id() == pid:
                return app
        time.sleep(0.1)
    return None


def descendants(node, skip=("list item",)):
    for child in node:
        if child is None:
            continue
        yield child
        if child.getRoleName() not in skip:
            yield from descendants(child, skip)


def states(node):
    return node.getState()


def sensitive(node):
    return states(node).contains(pyatspi.STATE_SENSITIVE) and states(node).contains(pyatspi.STATE_ENABLED)


def press(node):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if not check("Press" in names, f"'{node.name}' offers a Press action (it offers {names})"):
        return
    action.doAction(names.index("Press"))
    pump(0.4)


def key(*keys):
    subprocess.run(["xdotool", "key", "--delay", "60", *keys], check=True)
    pump(0.3)


def main():
    pid = int(sys.argv[1])
    app = find_app(pid)
    if not check(app is not None, f"the program (pid {pid}) is on the accessibility bus"):
        return 1
    pyatspi.Registry.registerEventListener(on_event, "object", "window", "focus")
    # The main window, not the popup lists and menus, which are windows of their own.
    main_frame = next(c for c in app if c is not None and c.name == "Ostrel!")

    def by(role, name, root=main_frame):
        return next((n for n in descendants(root) if n.getRoleName() == role and n.name == name), None)

    # What a screen reader says for each control: its role and name, read from the tree.
    for role, name in [("push button", "Start"), ("push button", "Finish"), ("push button", "Pause"),
                       ("push button", "Alarm Is Off"), ("combo box", "Hour"), ("combo box", "Minute"),
                       ("label", "Set Alarm"), ("panel", "Stopwatch"), ("menu item", "Window"), ("menu item", "Help"),
                       ("menu item", "Always On Top"), ("menu item", "About")]:
        check(by(role, name, app) is not None, f"a {role} named '{name}'")
    hour_list = by("combo box", "Hour")
    check(len(list(descendants(hour_list, skip=()))) == 1 + 24, "the Hour list offers 24 hours")

    # The clock boxes read as the time and the date once the first tick has filled them; their
    # descriptions say which is which.
    pump(2.5, lambda: any(re.fullmatch(r"\d\d:\d\d:\d\d", n.name or "") for n in descendants(main_frame)))
    labels = {n.name: n for n in descendants(main_frame) if n.getRoleName() == "label"}
    time_label = next((n for name, n in labels.items() if re.fullmatch(r"09:14:3\d", name or "")), None)
    check(time_label is not None, f"the clock reads 09:14:3x (labels: {sorted(k for k in labels if k)})")
    check(any(re.fullmatch(r"\w+ \w+ 2026|\w+, \w+ \d+, 2026|.*2026.*", k or "") for k in labels),
          "the date reads as a date of 2026")
    for name, description in [("09:14:3", "Time"), ("2026", "Date")]:
        node = next((n for k, n in labels.items() if k and name in k), None)
        check(node is not None and node.description == description,
              f"the box holding '{name}…' is described as '{description}'"
              f" (got '{node.description if node else None}')")

    buttons = {name: by("push button", name) for name in ("Start", "Finish", "Alarm Is Off")}
    buttons["Pause"] = by("push button", "Pause")
    controls = [buttons["Start"], buttons["Finish"], buttons["Pause"], buttons["Alarm Is Off"],
                hour_list, by("combo box", "Minute")]
    control_names = ["Start", "Finish", "Pause", "Alarm", "Hour", "Minute"]

    def focused():
        return next((control_names[i] for i, c in enumerate(controls)
                     if states(c).contains(pyatspi.STATE_FOCUSED)), None)

    def tab_round(expected):
        seen = [focused()]
        for _ in expected[1:]:
            key("Tab")
            pump(1.5, lambda: focused() != seen[-1])
            seen.append(focused())
        check(seen == expected, f"Tab goes {' -> '.join(expected)} (went {' -> '.join(map(str, seen))})")

    # Keyboard: with the stopwatch idle, only Start of its buttons takes focus.
    check(focused() == "Start", f"the window opens with Start focused (focus on {focused()})")
    if focused() != "Start":
        buttons["Start"].queryComponent().grabFocus()
        pump(1, lambda: focused() == "Start")
    tab_round(["Start", "Alarm", "Hour", "Minute", "Start"])

    # Set the alarm for 09:15 from the keyboard: type into the lists, then press the alarm button.
    key("Tab", "Tab")
    check(focused() == "Hour", f"two Tabs from Start reach Hour (focus on {focused()})")
    key("0", "9")
    key("Tab", "1", "5")
    for name, node, want in [("Hour", hour_list, "09"), ("Minute", controls[5], "15")]:
        chosen = [n.name for n in descendants(node, skip=()) if states(n).contains(pyatspi.STATE_SELECTED)]
        check(chosen == [want], f"typing {want} chooses {want} in {name} (selected: {chosen})")
    press(buttons["Alarm Is Off"])
    check(buttons["Alarm Is Off"].name == "Alarm Is On", f"the alarm button now reads '{buttons['Alarm Is Off'].name}'")

    # The clock ticks on its own; a screen reader hears about it only as a changed name on a label
    # that never has focus, which it does not read out. Nothing else may stir once a second.
    EVENTS.clear()
    start = time.monotonic()
    pump(3.2)
    span = time.monotonic() - start
    by_source = {}
    for _, kind, role, name in EVENTS:
        by_source.setdefault((role, "clock" if re.fullmatch(r"\d\d:\d\d:\d\d", name or "") else name), []).append(kind)
    print(f"events in {span:.1f} s of ticking: " +
          (", ".join(f"{r} '{n}': {len(k)} ({', '.join(sorted(set(k)))})" for (r, n), k in by_source.items()) or "none"))
    clock_events = by_source.pop(("label", "clock"), [])
    check(2 <= len(clock_events) <= 4 and set(clock_events) == {"object:property-change:accessible-name"},
          f"the time label sends one name change a tick and nothing else ({len(clock_events)} in {span:.1f} s)")
    check(not by_source, f"nothing else reports anything while the clock ticks ({sorted(by_source)})")
    check(not states(time_label).contains(pyatspi.STATE_FOCUSABLE),
          "the time label can never take focus, so a screen reader does not speak its changes")
    attributes = dict(a.split(":", 1) for a in time_label.getAttributes() if ":" in a)
    check(attributes.get("container-live", attributes.get("live", "off")) == "off",
          f"the time label is no live region ({attributes})")

    # The stopwatch through its buttons: after each press, which buttons a user can press.
    table = {
        "idle": {"Start": True, "Finish": False, "Pause": False},
        "running": {"Start": False, "Finish": True, "Pause": True},
        "paused": {"Start": False, "Finish": False, "Pause": True},
    }
    steps = [("Start", "running", "Pause"), ("Pause", "paused", "PAUSED!"), ("Pause", "running", "Pause"),
             ("Finish", "idle", "Pause")]
    pause = buttons["Pause"]
    for button, state, caption in steps:
        press(pause if button == "Pause" else buttons[button])
        got = {name: sensitive(pause if name == "Pause" else buttons[name]) for name in table[state]}
        check(got == table[state], f"after {button}: {state} ({got})")
        check(pause.name == caption, f"after {button}: the pause button reads '{caption}' (got '{pause.name}')")
        if (button, state) == ("Pause", "paused"):
            check(any(n.name == "Current Time Elapsed" for n in descendants(main_frame)),
                  "while paused, a label says 'Current Time Elapsed'")
        if button == "Start":
            # While it runs, Finish and Pause join the Tab order; Start, now disabled, leaves it.
            buttons["Finish"].queryComponent().grabFocus()
            pump(1, lambda: focused() == "Finish")
            tab_round(["Finish", "Pause", "Alarm", "Hour", "Minute", "Finish"])
    check(any(n.name == "Total Time Elapsed" for n in descendants(main_frame)),
          "after Finish, a label says 'Total Time Elapsed'")

    # The menus open from the keyboard; their items then show.
    for keys, item in [("alt+w", "Always On Top"), ("alt+h", "About")]:
        node = by("menu item", item, app)
        key(keys)
        opened = pump(2, lambda: states(node).contains(pyatspi.STATE_SHOWING))
        check(opened, f"{keys} opens the menu holding '{item}'")
        key("Escape")
        if opened:
            key("Escape")  # the menu bar keeps its highlight after the first

    # 09:15:00: the alarm window opens, and says so.
    EVENTS.clear()
    seen = lambda: next((c for c in app if c is not None and c != main_frame
                         and states(c).contains(pyatspi.STATE_SHOWING)
                         and any(n.name == "Time!" for n in descendants(c))), None)
    if not check(pump(40, lambda: seen() is not None), "at 09:15 the alarm window opens ('It's...', 'Time!')"):
        return 1
    window = seen()
    pump(1.0)
    kinds = sorted({kind for _, kind, role, _ in EVENTS if role in ("dialog", "alert", "frame", "window")
                    or "alert" in kind or kind.startswith("window:")})
    print(f"alarm window: role '{window.getRoleName()}', events {kinds}")
    check(window.getRoleName() == "alert", f"the alarm window is an alert ('{window.getRoleName()}')")
    check("window:activate" in kinds or "object:state-changed:active" in kinds,
          "the alarm window is announced as it becomes the active window")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
