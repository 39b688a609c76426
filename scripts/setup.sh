#!/usr/bin/env bash
# Installs every Debian package vordel needs to build, run and test. Idempotent; run as root
# (or through sudo) on a fresh Debian 12 machine.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake pkg-config g++ clang libclang-rt-14-dev clang-format clang-tidy cppcheck
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # desktop program, MIDI output and the built-in synthesizer
  qt6-base-dev librtmidi-dev libfluidsynth-dev fluidsynth timgm6mb-soundfont libasound2-dev
  libcli11-dev libsndfile1-dev libebur128-dev libjack-jackd2-dev liblo-dev libxcb1-dev
  libpugixml-dev libxml2-utils help2man bash-completion
  # end-to-end tests: virtual display, clipboard owner, JACK dummy server, screenshots, audio
  xvfb xauth xclip x11-utils xdotool jackd2 liblo-tools imagemagick sox tesseract-ocr tesseract-ocr-eng
  fonts-liberation2 midicsv bc desktop-file-utils pulseaudio pulseaudio-utils python3
)

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
