#!/usr/bin/env bash
# A flood of the largest pieces over OSC into a headless vordel (recording output): how long
# /vordel/quit and SIGTERM take to end it while the flood goes on, and how its memory moves.
# Also how long a quit takes while the largest piece's score is being written. Ends with one
# summary line:
#   flood quit_ms=X sigterm_ms=X score_quit_ms=X rss_start_mb=X rss_end_mb=X messages=N
# usage: bench/flood.sh [path/to/vordel] [messages]
set -euo pipefail
VORDEL=${1:-build/vordel}
COUNT=${2:-10000}
OSCPY=$(dirname "$0")/../tests/e2e/lib/osc.py
WORK=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$WORK"' EXIT
export XDG_RUNTIME_DIR="$WORK/run"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
PORT=$((19000 + RANDOM % 500))
LARGEST=$(for _ in $(seq 50); do printf '0 50 40 50 1030 '; done)
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
rss_mb() { awk '/^VmRSS/ {printf "%.1f", $2 / 1024}' "/proc/$1/status"; }

# run_one HOW: starts vordel, floods it, ends it HOW (quit or sigterm) during the flood; prints
# the milliseconds from the request to the end of the process and the RSS before and during the
# flood.
run_one() {
  mkfifo "$WORK/in.$1"
  "$VORDEL" --headless --record /dev/null --osc-port "$PORT" <"$WORK/in.$1" >"$WORK/out.$1" 2>&1 &
  local pid=$!
  exec {fd}>"$WORK/in.$1"
  for _ in $(seq 200); do grep -q 'ready without a window' "$WORK/out.$1" && break; sleep 0.05; done
  python3 "$OSCPY" flood "$PORT" 1 /vordel/piece "$LARGEST"
  for _ in $(seq 200); do [ "$(grep -c '^\[Reproduce\]' "$WORK/out.$1")" -ge 2 ] && break; sleep 0.05; done
  RSS_START=$(rss_mb "$pid")
  local t0
  if [ "$1" = quit ]; then
    # The quit comes in the flood, from the same socket, right after it.
    python3 "$OSCPY" flood-quit "$PORT" "$COUNT" /vordel/piece "$LARGEST" >"$WORK/sent.$1" &
    local flooder=$!
    while kill -0 "$pid" 2>/dev/null; do sleep 0.002; done
    local ended=$(( $(date +%s%N) / 1000000 ))
    wait "$flooder" 2>/dev/null || true
    t0=$(( $(cat "$WORK/sent.$1") / 1000000 ))
    RSS_END=$RSS_START
    echo "$(( ended - t0 )) $RSS_START $RSS_END"
    exec {fd}>&-
    return
  fi
  python3 "$OSCPY" flood "$PORT" "$COUNT" /vordel/piece "$LARGEST" &
  local flooder=$!
  sleep 1
  RSS_END=$(rss_mb "$pid")
  t0=$(now_ms)
  kill -TERM "$pid"
  while kill -0 "$pid" 2>/dev/null; do sleep 0.002; done
  echo "$(( $(now_ms) - t0 )) $RSS_START $RSS_END"
  kill "$flooder" 2>/dev/null
  wait "$flooder" 2>/dev/null || true
  exec {fd}>&-
}
# score_quit: the largest piece's score is being written when /vordel/quit comes; prints the
# milliseconds from the quit to the end of the process (the score is abandoned).
score_quit() {
  mkfifo "$WORK/in.score"
  "$VORDEL" --headless --record /dev/null --osc-port "$PORT" --files-dir "$WORK/files" \
    <"$WORK/in.score" >"$WORK/out.score" 2>&1 &
  local pid=$!
  exec {fd}>"$WORK/in.score"
  for _ in $(seq 200); do grep -q 'ready without a window' "$WORK/out.score" && break; sleep 0.05; done
  python3 "$OSCPY" flood "$PORT" 1 /vordel/piece "$LARGEST"
  for _ in $(seq 200); do [ "$(grep -c '^\[Reproduce\]' "$WORK/out.score")" -ge 2 ] && break; sleep 0.05; done
  python3 "$OSCPY" flood "$PORT" 1 /vordel/score largest.musicxml
  for _ in $(seq 400); do ls -a "$WORK/files" 2>/dev/null | grep -q partial && break; sleep 0.005; done
  # The sender prints when the quit went out (its own start-up is not counted).
  python3 "$OSCPY" flood-quit "$PORT" 0 /vordel/piece "" >"$WORK/sent.score"
  while kill -0 "$pid" 2>/dev/null; do sleep 0.002; done
  local ended
  ended=$(now_ms)
  echo "$(( ended - $(cat "$WORK/sent.score") / 1000000 ))"
  exec {fd}>&-
}
read -r quit_ms _ _ < <(run_one quit)
read -r sigterm_ms rss_start rss_end < <(run_one sigterm)
read -r score_quit_ms < <(score_quit)
echo "flood quit_ms=$quit_ms sigterm_ms=$sigterm_ms score_quit_ms=$score_quit_ms rss_start_mb=$rss_start rss_end_mb=$rss_end messages=$COUNT"
