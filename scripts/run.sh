#!/usr/bin/env bash
# Sets up the machine, builds vordel and runs it with the start-up piece.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
exec ./build/vordel-compose "$@" "0 80 40 30 25 1 50 30 23 20"
