#!/usr/bin/env bash
# Installs the Debian packages vordel needs: `setup.sh run` what building and running the
# programs takes, `setup.sh` (or `setup.sh test`) that and what the tests and their tools take.
# Idempotent; run as root (or through sudo) on a fresh Debian 12 machine.
set -euo pipefail

RUN_PACKAGES=(
  # build
  build-essential cmake pkg-config g++
  # desktop program, MIDI output and the built-in synthesizer
  qt6-base-dev librtmidi-dev libfluidsynth-dev timgm6mb-soundfont libasound2-dev
  libcli11-dev libsndfile1-dev libebur128-dev libjack-jackd2-dev liblo-dev libxcb1-dev
  libpugixml-dev
  # Ableton Link (header only, with the standalone Asio it uses)
  ableton-link-dev libasio-dev
  # a virtual display when there is none, and its clipboard
  xvfb xauth xclip
)
TEST_PACKAGES=(
  # static checks, sanitizers, unit tests, manual pages
  clang libclang-rt-14-dev clang-format clang-tidy cppcheck googletest libgtest-dev libgmock-dev
  libbenchmark-dev help2man bash-completion libxml2-utils fluidsynth
  # end-to-end tests: windows, JACK dummy server, OSC, screenshots, audio, the package, units
  x11-utils xdotool jackd2 liblo-tools imagemagick sox tesseract-ocr tesseract-ocr-eng
  fonts-liberation2 midicsv bc desktop-file-utils pulseaudio pulseaudio-utils python3
  # Link's tests run in a network namespace of their own (unshare, ip)
  util-linux iproute2
  # the scores as a notation program reads and prints them
  musescore3 poppler-utils
)

case "${1:-test}" in
  run) PACKAGES=("${RUN_PACKAGES[@]}") ;;
  test) PACKAGES=("${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}") ;;
  *)
    echo "usage: setup.sh [run|test]" >&2
    exit 2
    ;;
esac

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#PACKAGES[@]} packages are installed"
  exit 0
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to allow real-time scheduling; answer for it.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $SUDO debconf-set-selections
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
