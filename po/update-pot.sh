#!/usr/bin/env bash
# Writes the translators' template, po/ostrel.pot (or the file given), from the English texts of
# the desktop entry and the AppStream metainfo in data/.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-po/ostrel.pot}

# The desktop entry's name stays "Ostrel!" in every language: only these keys are offered.
keys=(-k -kGenericName -kComment -kKeywords)
# AppStream's rules for metainfo files (installed with appstream) honour translate="no", which keeps
# the name and the release notes out of the template; the older copy in gettext's own data would not.
its=/usr/share/gettext/its/metainfo.its
[ -f "$its" ] || { echo "$its is missing: install appstream" >&2; exit 1; }
common=(--add-comments=Translators: --add-location=file --from-code=UTF-8 --sort-by-file
        --package-name=ostrel --copyright-holder="The Ostrel! developers")

tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
xgettext "${common[@]}" --language=Desktop "${keys[@]}" -o "$tmp" data/org.ostrel.Ostrel.desktop
# The sources are UTF-8 whatever they hold; joining onto a template without a charset is warned of.
sed -i 's/charset=CHARSET/charset=UTF-8/' "$tmp"
xgettext "${common[@]}" --its="$its" --join-existing -o "$tmp" data/org.ostrel.Ostrel.metainfo.xml
sed -i '1s/.*/# The desktop entry and AppStream metainfo of Ostrel!/' "$tmp"
cat "$tmp" >"$out"
