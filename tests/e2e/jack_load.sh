#!/usr/bin/env bash
# End-to-end: every message reaches a JACK peer while a core is busy. vordel-compose --play
# plays a dense piece into the recorder on a dummy server at 64 frames (a cycle of 1.3 ms) with
# `yes` keeping one core busy, RUNS times (default 3; bench/jack_loss.sh runs it twenty times):
# every message arrives, every note ends, and the summary counts no message lost. No timing is
# asserted. Exit 77 without JACK.
COMPOSE=$1
RUNS=${RUNS:-3}
source "$(dirname "$0")/lib/common.sh"
need jackd jack_lsp yes
PIECE="0 80 40 30 4 3 60 50 40 3"
EVENTS=$("$COMPOSE" --clock 5 --dump "$PIECE" | grep -c '^>EV')
WANTED=$((12 + EVENTS + 16))

start_jack 64
yes >/dev/null &
PIDS+=($!)
lost_runs=0
for run in $(seq "$RUNS"); do
  start_dump "$WORK/dump-$run.txt"
  "$COMPOSE" --clock 5 --play --output port --port midi-monitor "$PIECE" >"$WORK/play-$run.out" 2>&1 ||
    fail "run $run: exit $?"
  stop_dump
  got=$(wc -l <"$WORK/dump-$run.txt")
  echo "run $run: $got of $WANTED messages; $(grep -o '[0-9]* events sent.*' "$WORK/play-$run.out" | head -1)"
  grep -q " messages lost" "$WORK/play-$run.out" && fail "run $run: vordel lost messages"
  [ "$got" -eq "$WANTED" ] || lost_runs=$((lost_runs + 1))
  check_silent_end "$WORK/dump-$run.txt" || fail "run $run: notes left sounding"
done
[ "$lost_runs" -eq 0 ] || fail "$lost_runs of $RUNS runs lost messages at the peer"
echo "ok: $RUNS runs of $WANTED messages at 64 frames with a core busy, none lost"
