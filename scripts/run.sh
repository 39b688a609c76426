#!/usr/bin/env bash
# Sets up the machine, builds vordel and starts the desktop program. It plays on an external
# synthesizer when JACK or ALSA offers one and on the built-in synthesizer otherwise; options
# are passed on (see 'vordel --help'). Without a display it starts a virtual one (Xvfb) and says
# how to reach its clipboard.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORDEL_BUILD_TESTS=OFF -DVORDEL_BUILD_BENCH=OFF
cmake --build build -j"$(nproc)" --target vordel vordel-compose

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null; rm -f "$fd_file"' EXIT
  for _ in $(seq 50); do [ -s "$fd_file" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$fd_file")"
  echo "No display: vordel runs on the virtual display $DISPLAY. Drive it with, for example:"
  echo "  printf '0 80 40 30 25 1 50 30 23 20' | DISPLAY=$DISPLAY xclip -selection clipboard"
  echo "  printf 'q' | DISPLAY=$DISPLAY xclip -selection clipboard"
  ./build/vordel "$@"
  exit $?
fi
exec ./build/vordel "$@"
