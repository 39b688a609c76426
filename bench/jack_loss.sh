#!/usr/bin/env bash
# Messages lost on the way to a JACK peer under load: the end-to-end script tests/e2e/jack_load.sh
# run twenty times (a dense piece at 64 frames, one core busy). One summary line:
#   jackloss runs=20 messages=... lost=0
# Usage: bench/jack_loss.sh build/vordel-compose build/vordel-jack-recorder [RUNS]
set -u
COMPOSE=$1
export RECORDER=$2
RUNS=${3:-20}
out=$(RUNS=$RUNS bash "$(dirname "$0")/../tests/e2e/jack_load.sh" "$COMPOSE" 2>&1)
rc=$?
[ "$rc" -eq 77 ] && { echo "jackloss skipped (no JACK)"; exit 0; }
runs=$(echo "$out" | grep -c '^run [0-9]*:')
got=$(echo "$out" | awk '/^run [0-9]*:/ {sum += $3} END {print sum + 0}')
wanted=$(echo "$out" | awk '/^run [0-9]*:/ {sum += $5} END {print sum + 0}')
echo "jackloss runs=$runs messages=$wanted lost=$((wanted - got))"
