#!/usr/bin/env bash
# The desktop entry and the AppStream description as the desktop's own validators judge them.
set -euo pipefail
DATA=${1:?folder holding the desktop entry and the metainfo}
FAILURES=0
pass() { printf 'PASS: %s\n' "$*"; }
fail() { printf 'FAIL: %s\n' "$*"; FAILURES=$((FAILURES + 1)); }

desktop=$DATA/org.ostrel.Ostrel.desktop
metainfo=$DATA/org.ostrel.Ostrel.metainfo.xml

# desktop-file-validate prints hints too; any line at all is something a packager would be told.
if out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ]; then
  pass "desktop-file-validate has nothing to say"
else
  fail "desktop-file-validate: $out"
fi

# Pedantic, offline. The one hint allowed is the upper-case letter in the reverse-DNS id, which
# the desktop file name, the icons and the running program's desktop file name all share.
out=$(appstreamcli validate --no-net --pedantic --no-color --format=yaml "$metainfo" 2>&1) && rc=0 || rc=$?
tags=$(sed -n 's/^- tag: //p' <<<"$out" | grep -vx 'cid-contains-uppercase-letter' || true)
if [ "$rc" -eq 0 ] && [ -z "$tags" ] && grep -q '^Passed: yes' <<<"$out"; then
  pass "appstreamcli validate --pedantic passes (issues other than the id's case: none)"
else
  fail "appstreamcli validate (exit $rc): ${tags:-$out}"
fi

# What the validators cannot know: the entry, the description and the program must agree on names.
key() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(key Exec)" = ostrel ] && pass "Exec starts the installed ostrel" || fail "Exec is '$(key Exec)'"
[ "$(key Icon)" = org.ostrel.Ostrel ] && pass "Icon is the themed org.ostrel.Ostrel" || fail "Icon is '$(key Icon)'"
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[ "$launchable" = "$(basename "$desktop")" ] && pass "the metainfo launches $launchable" \
  || fail "the metainfo launches '$launchable'"
id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo")
[ "$id.desktop" = "$(basename "$desktop")" ] && pass "component id $id matches the entry's file name" \
  || fail "component id '$id'"

[ "$FAILURES" -eq 0 ] || { echo "$FAILURES check(s) failed"; exit 1; }
echo "all checks passed"
