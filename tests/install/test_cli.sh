#!/usr/bin/env bash
# The command line as a shell user meets it, with no display at all: --help and --version answer,
# a wrong option is one line and status 2, and Qt's own options still reach Qt.
set -uo pipefail
OSTREL=${1:?the ostrel program}
VERSION=${2:?the version it should print}
WORK=$(mktemp -d /tmp/ostrel-cli.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
FAILURES=0
pass() { printf 'PASS: %s\n' "$*"; }
fail() { printf 'FAIL: %s\n' "$*"; FAILURES=$((FAILURES + 1)); }
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }

# run ARGS...: STATUS, OUT and ERR of the program started without any display.
run() {
  STATUS=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 5 "$OSTREL" "$@" >"$WORK/out" 2>"$WORK/err" || STATUS=$?
  OUT=$(cat "$WORK/out") ERR=$(cat "$WORK/err")
}

for args in --version -v "-style Fusion --version" "--platform=offscreen --version"; do
  # shellcheck disable=SC2086
  run $args
  check "'ostrel $args' prints 'ostrel $VERSION', status 0 (got '$OUT', $STATUS, stderr '$ERR')" \
    test "$OUT" = "ostrel $VERSION" -a "$STATUS" -eq 0 -a -z "$ERR"
done

run --help
check "--help: status 0, nothing on stderr (got $STATUS, '$ERR')" test "$STATUS" -eq 0 -a -z "$ERR"
check "--help starts with a usage line" grep -q '^Usage: .*ostrel \[options\]' <<<"$OUT"
for option in --help --version; do
  check "--help lists $option" grep -q -- "$option" <<<"$OUT"
done

for args in --bogus -bogus surplus; do
  run $args
  word=${args#-}; word=${word#-}
  check "'ostrel $args': status 2 (got $STATUS)" test "$STATUS" -eq 2
  check "'ostrel $args': one line naming '$word' and --help (got '$ERR')" \
    sh -c 'test "$(printf "%s\n" "$1" | wc -l)" -eq 1 && printf "%s" "$1" | grep -q -- "$2" && printf "%s" "$1" | grep -q -- --help' _ "$ERR" "$word"
  check "'ostrel $args': nothing on stdout" test -z "$OUT"
done

# A platform chosen on the command line counts as a display: the program starts and keeps running
# until stopped (status 124 from timeout) instead of ending with 1.
STATUS=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 3 "$OSTREL" -platform offscreen -style Fusion \
  >/dev/null 2>"$WORK/err" || STATUS=$?
check "'ostrel -platform offscreen -style Fusion' runs until stopped (status $STATUS: $(head -c 200 "$WORK/err"))" \
  test "$STATUS" -eq 124

[ "$FAILURES" -eq 0 ] || { echo "$FAILURES check(s) failed"; exit 1; }
echo "all checks passed"
