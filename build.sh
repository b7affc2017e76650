#!/usr/bin/env bash
# Sets up a Debian 12 machine for Ostrel!, builds it, and then either starts it or runs every test.
#   ./build.sh run     install what is missing, build, start the program
#   ./build.sh test    install what is missing, build, run the whole test suite
# Run it as yourself: what is missing is installed through sudo, after saying what it is, and a
# machine that already has everything is not touched. As root (CI, a fresh machine) it installs itself.
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-run}
case $mode in run|test) ;; *) echo "usage: $0 run|test" >&2; exit 2 ;; esac

# Under sudo the program would get the user's display but not the session bus or XDG_RUNTIME_DIR:
# no notification, no request not to suspend, no screen kept lit, no sound server.
if [ "$mode" = run ] && [ "$(id -u)" = 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
  echo "Run it as yourself, without sudo: ./build.sh run (it asks sudo only to install what is missing)." >&2
  exit 1
fi

build_packages=(cmake g++ make pkg-config qt6-base-dev libpulse-dev libxcb1-dev libxcb-dpms0-dev libgl-dev gettext)
run_packages=(qt6-qpa-plugins libpulse0 fonts-sil-charis xfonts-scalable fonts-liberation2)
test_packages=(xvfb xauth openbox xfwm4 metacity mutter kwin-x11 xdotool xprintidle x11-utils x11-xserver-utils imagemagick faketime
               pulseaudio pulseaudio-utils sox python3 stress-ng
               desktop-file-utils appstream dpkg-dev file binutils lintian man-db dbus at-spi2-core python3-pyatspi
               libxcb-damage0-dev libxcb-xfixes0-dev libx11-dev)

packages=("${build_packages[@]}" "${run_packages[@]}")
[ "$mode" = test ] && packages+=("${test_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root=()
  if [ "$(id -u)" = 0 ]; then
    echo "Installing: ${missing[*]}"
  else
    echo "Missing: ${missing[*]}"
    echo "Installing them with sudo apt-get (sudo may ask for your password)."
    as_root=(sudo)
  fi
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if [ "$mode" = run ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_TESTS=OFF >/dev/null
  cmake --build build --parallel "$(nproc)"
  exec build/ostrel
fi

# Each test runs once, in the build where it tells the most (the README says why). The sanitizer build
# (AddressSanitizer, LeakSanitizer, UndefinedBehaviorSanitizer) runs the tests labelled below: the ones
# that run the program's code in the test process, the stress tests, and the desktop tests of its fault
# and late paths. The normal build, the one that gets installed, runs the rest: the desktop, install,
# accessibility and memory tests. So it builds only the program, its data and the memory test, and
# the package test's install does not build the rest first.
sanitizer_tests='unit|stress|sanitizer'
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_TESTS=ON -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build build --parallel "$(nproc)" --target ostrel ostrel_translated_data ostrel_compressed_docs tst_memory
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_TESTS=ON -DOSTREL_SANITIZE=ON >/dev/null
cmake --build build-asan --parallel "$(nproc)"

# A short run of the benchmark, beside the sanitizer build's tests: here it only has to run and print;
# bench/run.sh by hand, on a quiet machine, gives the figures.
BENCH_RUNS=1 BENCH_IDLE=2 BENCH_STARTS=1 BENCH_ALARM_RUNS=1 BENCH_SECOND_ALARM=0 BENCH_OPEN=5 \
  bench/run.sh >build/bench.log 2>&1 &
bench=$!

# The sanitizer build's tests first, so that the last lines printed stay the normal build's summary.
# Reports go to files: a test that reads the program's stderr, or stops it with a signal, would
# otherwise garble or lose them. faketime's library is preloaded ahead of the sanitizer runtime by some
# tests; that order is harmless. The sanitizer's tracking of dynamic TLS is off: with this glibc it now
# and then takes a library's TLS block for an older glibc's layout, and the leak check at exit then
# reads an unmapped range and crashes after every test has passed. Leaks are still reported; only
# those blocks are no longer scanned apart.
reports=$PWD/build-asan/sanitizer-reports
rm -rf "$reports" && mkdir -p "$reports"
sanitized=0
(cd build-asan &&
  ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1:intercept_tls_get_addr=0:log_path=$reports/asan \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan \
  ctest -L "$sanitizer_tests" --output-on-failure --parallel "$(nproc)") || sanitized=1
if [ -n "$(ls -A "$reports")" ]; then
  echo "Sanitizer reports ($reports):"
  cat "$reports"/*
  sanitized=1
fi
[ $sanitized = 0 ] && echo "Sanitizer build: all tests passed, no reports" || echo "Sanitizer build: FAILED"

benched=0
wait $bench || benched=1
cat build/bench.log

cd build
if [ $sanitized != 0 ] || [ $benched != 0 ]; then
  ctest -LE "$sanitizer_tests" --output-on-failure --parallel "$(nproc)"
  exit 1
fi
exec ctest -LE "$sanitizer_tests" --output-on-failure --parallel "$(nproc)"
