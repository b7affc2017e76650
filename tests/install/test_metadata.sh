#!/usr/bin/env bash
# The installed desktop entry and AppStream description, as the desktop's own validators judge them,
# and the translations merged into them.
set -euo pipefail
BUILD=${1:?build directory}
SOURCE=${2:?source directory}
ROOT=$(mktemp -d /tmp/ostrel-metadata.XXXXXX)
trap 'rm -rf "$ROOT"' EXIT
FAILURES=0
pass() { printf 'PASS: %s\n' "$*"; }
fail() { printf 'FAIL: %s\n' "$*"; FAILURES=$((FAILURES + 1)); }

DESTDIR=$ROOT cmake --install "$BUILD" --prefix /usr >"$ROOT/install.log" 2>&1 || { cat "$ROOT/install.log"; exit 1; }
desktop=$ROOT/usr/share/applications/org.ostrel.Ostrel.desktop
metainfo=$ROOT/usr/share/metainfo/org.ostrel.Ostrel.metainfo.xml
po=$SOURCE/po
languages=$(grep -v '^#' "$po/LINGUAS" | tr -s ' \t' '\n\n' | sed '/^$/d')

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

# Every language the translators' list names reaches the menu entry: a translated GenericName,
# Comment and Keywords, each other than the English, the keywords a list of several words each
# ended by a semicolon (one that runs them together with commas is a single long "word"; the
# validator lets a missing last semicolon pass). The name stays the same everywhere.
for lang in $languages; do
  missing=
  for k in GenericName Comment Keywords; do
    value=$(key "$k\[$lang\]")
    { [ -n "$value" ] && [ "$value" != "$(key "$k")" ]; } || missing+=" $k"
  done
  [[ $(key "Keywords\[$lang\]") =~ ^([^;,]+\;){3,}$ ]] || missing+=" Keywords as a list"
  [ -z "$missing" ] && pass "the entry speaks $lang" || fail "the entry lacks $lang for:$missing"
done
names=$(grep '^Name\[' "$desktop" || true)
[ -z "$names" ] && pass "the entry's Name is Ostrel! in every language" || fail "the name is translated: $names"

# ... and the software centre's page: for each language a summary, a developer name and every
# paragraph and list item of the description, none left as the English.
out=$(python3 - "$metainfo" $languages <<'PY'
import sys
import xml.etree.ElementTree as ET
LANG = '{http://www.w3.org/XML/1998/namespace}lang'
component = ET.parse(sys.argv[1]).getroot()
text = lambda e: ' '.join(''.join(e.itertext()).split())
# Each translatable element, as the English and the translations that follow it.
groups = []
for parent, tags in ((component, ('summary', 'developer_name')),
                     (component.find('description'), ('p',)),
                     (component.find('description/ul'), ('li',))):
    for child in parent:
        if child.tag not in tags:
            continue
        if child.get(LANG) is None:
            groups.append((child.tag, text(child), {}))
        else:
            groups[-1][2][child.get(LANG)] = text(child)
for lang in sys.argv[2:]:
    missing = [f'{tag} "{english[:30]}"' for tag, english, tr in groups
               if not tr.get(lang) or tr[lang] == english]
    if missing:
        print(f'FAIL: the metainfo lacks {lang} for: ' + '; '.join(missing))
    else:
        print(f'PASS: the metainfo speaks {lang} ({len(groups)} texts)')
PY
) || fail "the metainfo could not be read"
printf '%s\n' "$out"
FAILURES=$((FAILURES + $(grep -c '^FAIL' <<<"$out" || true)))

# The translators' files: the template holds what the English originals offer today, every .po
# is listed (one that is not is never merged), and none has a message untranslated or fuzzy.
fresh=$ROOT/ostrel.pot
if bash "$po/update-pot.sh" "$fresh" 2>"$ROOT/pot.log"; then
  stale=$(diff <(grep -v '^"POT-Creation-Date:' "$po/ostrel.pot") <(grep -v '^"POT-Creation-Date:' "$fresh") || true)
  [ -z "$stale" ] && pass "po/ostrel.pot is up to date with data/" || fail "po/ostrel.pot is stale: $stale"
else
  fail "po/update-pot.sh: $(cat "$ROOT/pot.log")"
fi
templates=$(grep -c '^msgid ' "$po/ostrel.pot")
templates=$((templates - 1))
files=$(cd "$po" && ls -1 *.po 2>/dev/null | sed 's/\.po$//' | sort || true)
[ "$files" = "$(sort <<<"$languages")" ] && pass "po/LINGUAS lists every .po file" \
  || fail "po/LINGUAS and the .po files differ: $(diff <(sort <<<"$languages") <(echo "$files") | grep '^[<>]' | tr '\n' ' ')"
for lang in $files; do
  stats=$(msgfmt --check --statistics -o /dev/null "$po/$lang.po" 2>&1) || true
  [ "$stats" = "$templates translated messages." ] && pass "$lang.po: $stats" || fail "$lang.po: $stats (the template has $templates)"
done

[ "$FAILURES" -eq 0 ] || { echo "$FAILURES check(s) failed"; exit 1; }
echo "all checks passed"
