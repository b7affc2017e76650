#!/usr/bin/env bash
# The Debian package: built by cpack from the build directory, its control fields as apt reads them,
# unpacked into a scratch root, and the program from that root opening its window on a desktop.
HERE=$(cd "$(dirname "$0")" && pwd)
BUILD=${1:?build directory}
# lib.sh wants the program's path up front; it is known once the package is unpacked.
OSTREL=unpacked-later
. "$HERE/../desktop/lib.sh"

# Packaging into the scratch directory keeps the build directory as the build left it.
if ! cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/pkg" >"$WORK/cpack.log" 2>&1; then
  cat "$WORK/cpack.log"; exit 1
fi
deb=$(find "$WORK/pkg" -maxdepth 1 -name '*.deb' | head -n1)
arch=$(dpkg --print-architecture)
check "cpack made ostrel_2.3_$arch.deb (got $(basename "${deb:-none}"))" test "$(basename "$deb")" = "ostrel_2.3_$arch.deb"

field() { dpkg-deb -f "$deb" "$1"; }
check "Package: ostrel" test "$(field Package)" = ostrel
check "Version: 2.3" test "$(field Version)" = 2.3
check "Section: utils" test "$(field Section)" = utils
check "Maintainer: $(field Maintainer)" test "$(field Maintainer)" = "Ostrel! developers <dev@ostrel.org>"
depends=$(field Depends)
say "Depends: $depends"
# dpkg-shlibdeps must have found the libraries the program links; a dependency list without them
# installs a program that cannot start.
names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libpulse0 fonts-sil-charis fonts-liberation2; do
  check "Depends names $lib" grep -qxF "$lib" <<<"$names"
done
check "Recommends a sound server (got '$(field Recommends)')" test "$(field Recommends)" = "pulseaudio | pipewire-pulse"
check "Installed-Size is filled in ($(field Installed-Size) KiB)" test "$(field Installed-Size)" -gt 0

# Files belong to root and live under /usr only, as dpkg expects of a package.
listing=$(dpkg-deb -c "$deb")
strays=$(awk '$2 != "root/root" {print $6 " " $2}' <<<"$listing")
check "every file in the package is owned by root${strays:+: $strays}" test -z "$strays"
outside=$(awk '{print $6}' <<<"$listing" | grep -vE '^\./(usr(/.*)?)?$' || true)
check "nothing outside /usr${outside:+: $outside}" test -z "$outside"
check "the program is installed 0755" grep -Eq '^-rwxr-xr-x .* \./usr/bin/ostrel$' <<<"$listing"
for f in usr/share/applications/org.ostrel.Ostrel.desktop usr/share/metainfo/org.ostrel.Ostrel.metainfo.xml \
         usr/share/icons/hicolor/48x48/apps/org.ostrel.Ostrel.png usr/share/icons/hicolor/scalable/apps/org.ostrel.Ostrel.svg \
         usr/share/man/man1/ostrel.1.gz usr/share/doc/ostrel/copyright usr/share/doc/ostrel/changelog.gz; do
  check "the package holds /$f" grep -q " \./$f\$" <<<"$listing"
done
# Debian's own checker of binary packages, pedantic. What it may still say, as information only:
# hardening-no-bindnow (resolving every Qt symbol at start would make the program slower to open),
# hardening-no-fortify-functions (the build takes the compiler's flags as the user gives them) and
# binary-has-unneeded-section (cpack's strip leaves the compiler's .comment note).
if command -v lintian >/dev/null; then
  lint=$(lintian --pedantic "$deb" 2>&1 | grep -E '^[EW]: ' || true)
  check "lintian has no error or warning${lint:+: $(tr '\n' ' ' <<<"$lint")}" test -z "$lint"
else
  check "lintian is installed" false
fi
check "the packaged program is stripped" sh -c "dpkg-deb --fsys-tarfile '$deb' | tar -xO ./usr/bin/ostrel | file - | grep -q ', stripped'"

# Start the program from the package, not the build tree, and see its main window.
dpkg -x "$deb" "$WORK/root"
OSTREL=$WORK/root/usr/bin/ostrel
desktop_start
app_start
exe=$(readlink "/proc/$APP_PID/exe")
check "the window belongs to the unpacked program ($exe)" test "$exe" = "$OSTREL"
client_geometry "$MAIN_WIN"
check "its main window is up, 280 pixels wide (got ${W}x$H)" test "$W" -eq 280
if [ -n "${OSTREL_SCREENSHOTS:-}" ]; then
  sleep 1.2
  screenshot "$WORK/deb.png"
  convert "$WORK/deb.png" -crop "${W}x${H}+${X}+${Y}" +repage "$OSTREL_SCREENSHOTS/installed-main-window.png"
fi
check "it is still running a second later" kill -0 "$APP_PID"

finish
