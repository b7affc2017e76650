#!/usr/bin/env bash
# `cmake --install` into a scratch root: every file lands where the desktop looks for it.
set -euo pipefail
BUILD=${1:?build directory}
ROOT=$(mktemp -d /tmp/ostrel-install.XXXXXX)
trap 'rm -rf "$ROOT"' EXIT
FAILURES=0
pass() { printf 'PASS: %s\n' "$*"; }
fail() { printf 'FAIL: %s\n' "$*"; FAILURES=$((FAILURES + 1)); }
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }

DESTDIR=$ROOT cmake --install "$BUILD" --prefix /usr >"$ROOT.log" 2>&1 || { cat "$ROOT.log"; rm -f "$ROOT.log"; exit 1; }
rm -f "$ROOT.log"
usr=$ROOT/usr

check "bin/ostrel is an executable ELF program" \
  sh -c "test -x '$usr/bin/ostrel' && file -b '$usr/bin/ostrel' | grep -q '^ELF.*executable'"
# An RPATH left pointing into the build tree would load the build's libraries, or none once it is gone.
runpath=$(readelf -d "$usr/bin/ostrel" | grep -E 'R(UN)?PATH' || true)
check "the installed program carries no RPATH (${runpath:-none})" test -z "$runpath"
check "the desktop entry is in share/applications" test -f "$usr/share/applications/org.ostrel.Ostrel.desktop"
check "the AppStream file is in share/metainfo" test -f "$usr/share/metainfo/org.ostrel.Ostrel.metainfo.xml"
check "the scalable icon is in the hicolor theme" \
  sh -c "file -b '$usr/share/icons/hicolor/scalable/apps/org.ostrel.Ostrel.svg' | grep -qi 'svg'"

# A theme directory promises its size: an icon of another size there is scaled or skipped.
for size in 16 32 48 64 128 256; do
  icon=$usr/share/icons/hicolor/${size}x${size}/apps/org.ostrel.Ostrel.png
  got=$( [ -f "$icon" ] && file -b "$icon" | sed -n 's/^PNG image data, \([0-9]*\) x \([0-9]*\),.*/\1x\2/p' )
  check "hicolor/${size}x${size} holds a ${size}x${size} PNG (got ${got:-nothing})" test "$got" = "${size}x${size}"
done

# The manual page, as man renders it: groff's warnings are mistakes in the page's markup.
page=$usr/share/man/man1/ostrel.1.gz
warnings=$( [ -f "$page" ] && MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || echo "no page" )
check "man -l renders share/man/man1/ostrel.1.gz without warnings${warnings:+: $warnings}" test -z "$warnings"
check "the licence is installed as share/doc/ostrel/copyright" grep -q '^License: Expat' "$usr/share/doc/ostrel/copyright"

# Nothing else: no build tools, headers or test programs installed alongside.
unexpected=$(cd "$ROOT" && find . -type f | sort | grep -vE \
  '^\./usr/(bin/ostrel|lib/([^/]+/)?ostrel/ostrel-sound\.so|share/applications/org\.ostrel\.Ostrel\.desktop|share/metainfo/org\.ostrel\.Ostrel\.metainfo\.xml|share/man/man1/ostrel\.1\.gz|share/doc/ostrel/(copyright|changelog\.gz)|share/icons/hicolor/[^/]+/apps/org\.ostrel\.Ostrel\.(png|svg))$' || true)
check "nothing else is installed${unexpected:+: $unexpected}" test -z "$unexpected"

[ "$FAILURES" -eq 0 ] || { echo "$FAILURES check(s) failed"; exit 1; }
echo "all checks passed"
