#!/usr/bin/env bash
# End-to-end: the JACK server dies during a playback and comes back. vordel-compose keeps its
# CPU low meanwhile (no spinning), shows the error, reopens its port when the server answers
# again so the rest of the piece sounds there, and ends at once on Ctrl-C.
# (The window-less program goes through the same in headless.sh.) Exit 77 without JACK.
COMPOSE=$1
source "$(dirname "$0")/lib/common.sh"
need jackd jack_lsp jack_connect

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }

start_jack 256
start_dump "$WORK/before.txt"
"$COMPOSE" --play --output jack --port midi-monitor --clock 0 "0 80 40 30 100 1 50 30 23 100" \
  >"$WORK/play.out" 2>&1 &
PLAY_PID=$!
PIDS+=("$PLAY_PID")
wait_for "grep -q ': 9' '$WORK/before.txt'" 20 || fail "no notes before the server died"

BEFORE_DUMP=$DUMP_PID
stop_jack
wait "$BEFORE_DUMP" 2>/dev/null  # the recorder ends with its server
sleep 1
t0=$(cpu_ticks "$PLAY_PID")
sleep 3
t1=$(cpu_ticks "$PLAY_PID")
kill -0 "$PLAY_PID" 2>/dev/null || fail "the player ended when the server died"
used=$(( t1 - t0 ))
echo "CPU while the server was away: $used ticks in 3 s"
[ "$used" -lt 150 ] || fail "the player spins while the server is away ($used ticks in 3 s)"
wait_for "tr '\r' '\n' < '$WORK/play.out' | grep -q 'MOUT Error.'" 10 || fail "no error status"

# The server comes back: the port opens again and the piece goes on sounding there.
restart_jack
start_dump "$WORK/after.txt"
wait_for "jack_lsp 2>/dev/null | grep -q '^vordel:vordel'" 10 || fail "the port was not opened again"
jack_connect vordel:vordel midi-monitor:input 2>/dev/null
wait_for "grep -q ': 9' '$WORK/after.txt'" 20 || fail "no notes after the server came back"

start=$(date +%s%N)
kill -INT "$PLAY_PID"
wait "$PLAY_PID"
RC=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "Ctrl-C ended the player in $ms ms"
[ "$RC" -eq 0 ] || fail "exit $RC after the restart"
[ "$ms" -lt 5000 ] || fail "Ctrl-C took $ms ms"
stop_dump
check_silent_end "$WORK/after.txt" || fail "notes left sounding after the restart"
echo "ok: survived the server's death and used it again"
