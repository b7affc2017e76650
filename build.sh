#!/usr/bin/env bash
# Sets up a Debian 12 machine for Ostrel!, builds it, and then either starts it or runs every test.
#   ./build.sh run     install what is missing, build, start the program
#   ./build.sh test    install what is missing, build, run the whole test suite
# Installing needs root; a machine that already has everything is not touched.
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-run}
case $mode in run|test) ;; *) echo "usage: $0 run|test" >&2; exit 2 ;; esac

build_packages=(cmake g++ make pkg-config qt6-base-dev qt6-multimedia-dev libxcb1-dev libgl-dev)
run_packages=(qt6-qpa-plugins libqt6multimedia6 fonts-sil-charis xfonts-scalable fonts-liberation2)
test_packages=(xvfb xauth openbox xdotool x11-utils x11-xserver-utils imagemagick faketime
               pulseaudio pulseaudio-utils sox python3 stress-ng)

packages=("${build_packages[@]}" "${run_packages[@]}")
[ "$mode" = test ] && packages+=("${test_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_TESTS=$([ "$mode" = test ] && echo ON || echo OFF) >/dev/null
cmake --build build --parallel "$(nproc)"

if [ "$mode" = run ]; then
  exec build/ostrel
fi
cd build
exec ctest --output-on-failure --parallel "$(nproc)"
