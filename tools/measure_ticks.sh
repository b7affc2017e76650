#!/usr/bin/env bash
# How faithfully the clock shows the wall clock on a busy machine: runs the program under its own X
# server for a number of minutes while every core is kept busy, and counts how often each second of
# the wall clock appeared in the time box. Not a test: it prints figures.
#   tools/measure_ticks.sh [MINUTES] [PROGRAM]      (defaults: 10, build/ostrel)
# The program reports each tick on stderr when OSTREL_TRACE_TICKS is set ("tick hh:mm:ss", the time
# box's new text).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
minutes=${1:-10}
export OSTREL=${2:-$here/../build/ostrel}
[ -x "$OSTREL" ] || { echo "no program at $OSTREL (build it first)" >&2; exit 2; }
. "$here/../tests/desktop/lib.sh"

desktop_start
cores=$(nproc)
if command -v stress-ng >/dev/null; then
  stress-ng --cpu "$cores" --timeout "$((minutes * 60 + 60))s" >/dev/null 2>&1 &
  PIDS+=($!)
else
  for _ in $(seq "$cores"); do yes >/dev/null & PIDS+=($!); done
fi
say "$cores core(s) kept busy; watching the clock for $minutes minute(s) ..."

# Each tick line gets the moment this side read it, so lateness after the second can be shown too.
env OSTREL_TRACE_TICKS=1 "$OSTREL" 2> >(python3 -u -c '
import sys, time
for line in sys.stdin:
    if line.startswith("tick "):
        print("%.6f %s" % (time.time(), line.split()[1]), flush=True)
' >"$WORK/ticks") >/dev/null &
APP_PID=$!
PIDS+=($APP_PID)
sleep $((minutes * 60))
kill "$APP_PID" 2>/dev/null || true
sleep 0.5

python3 - "$WORK/ticks" <<'PY'
import collections, sys, time

ticks = [line.split() for line in open(sys.argv[1]) if line.strip()]
if len(ticks) < 3:
    sys.exit("the program reported %d ticks: does it honour OSTREL_TRACE_TICKS?" % len(ticks))

def second_of_day(text):
    h, m, s = (int(p) for p in text.split(":"))
    return h * 3600 + m * 60 + s

# The first and last ticks may be cut by the start and the end; count the whole seconds between.
seen = collections.Counter()
wrong, lateness = 0, []
for stamp, text in ticks[1:-1]:
    t = float(stamp)
    wall = time.localtime(t)
    if second_of_day(text) != wall.tm_hour * 3600 + wall.tm_min * 60 + wall.tm_sec:
        wrong += 1  # read in another second than it shows: late by a second or more
    lateness.append(t - int(t))
    seen[second_of_day(text)] += 1
first, last = second_of_day(ticks[1][1]), second_of_day(ticks[-2][1])
span = (last - first) % 86400 + 1
expected = [(first + i) % 86400 for i in range(span)]
once = sum(1 for s in expected if seen[s] == 1)
skipped = [s for s in expected if seen[s] == 0]
twice = [s for s in expected if seen[s] >= 2]
lateness.sort()
fmt = lambda s: "%02d:%02d:%02d" % (s // 3600, s // 60 % 60, s % 60)
print("seconds expected: %d (%s to %s)" % (span, fmt(first), fmt(last)))
print("seen once:        %d" % once)
print("skipped:          %d%s" % (len(skipped), (" (" + " ".join(map(fmt, skipped[:20])) + ")") if skipped else ""))
print("seen twice:       %d%s" % (len(twice), (" (" + " ".join(map(fmt, twice[:20])) + ")") if twice else ""))
print("shown in the wrong second: %d" % wrong)
print("tick read after the second began: median %.1f ms, 99%% %.1f ms, max %.1f ms"
      % (1000 * lateness[len(lateness) // 2], 1000 * lateness[int(len(lateness) * 0.99)], 1000 * lateness[-1]))
PY
