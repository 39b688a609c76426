#!/usr/bin/env bash
# End-to-end: vordel-compose --play into a JACK dummy server, recorded by jack_midi_dump. What
# must hold on any machine: every message arrives, the ensemble first, every note's start and
# end in the piece's order, All Notes Off last, the client named vordel on its server whatever
# else runs; a clean stop on SIGINT and on SIGHUP; the built-in synthesizer without a server or
# an audio device. Timing is the benchmark's business (bench/peer).
# Exit 77 (skipped) when JACK is not installed.
COMPOSE=$1
source "$(dirname "$0")/lib/common.sh"
need jackd jack_lsp jack_connect

start_jack 256
PIECE="0 50 40 1 0"
"$COMPOSE" --clock 0 --dump "$PIECE" | grep '^>EV' >"$WORK/events.txt"
EVENTS=$(wc -l <"$WORK/events.txt")

# 1. The whole piece, while another vordel of the same user plays elsewhere (on a JACK server of
#    its own name that does not run: into a recording): this one is the second instance, and still
#    vordel on its own server.
JACK_DEFAULT_SERVER="vordel-elsewhere-$$" "$COMPOSE" --play --record /dev/null --clock 0 \
  "0 80 40 30 100 1 50 30 23 100" >"$WORK/neighbour.out" 2>&1 &
NEIGHBOUR=$!
PIDS+=("$NEIGHBOUR")
wait_for "grep -q 'MIDI output' '$WORK/neighbour.out'" 10 || fail "the neighbour did not start"
start_dump "$WORK/dump.txt"
"$COMPOSE" --play --output port --port midi-monitor --clock 0 "$PIECE" >"$WORK/play.out" 2>&1 ||
  fail "play exited $?"
stop_dump
kill -INT "$NEIGHBOUR"
grep -q "JACK port vordel:vordel -> midi-monitor:input" "$WORK/play.out" || fail "not connected"
grep -q "^finished" "$WORK/play.out" || fail "did not finish"
grep -qi "queue limit" "$WORK/play.out" && fail "queue limit messages"
messages "$WORK/dump.txt" >"$WORK/msgs.txt"
TOTAL=$(wc -l <"$WORK/msgs.txt")
[ "$TOTAL" -eq $((12 + EVENTS + 16)) ] ||
  fail "expected $((12 + EVENTS + 16)) messages, got $TOTAL; first and last:
$(head -14 "$WORK/dump.txt")
...
$(tail -20 "$WORK/dump.txt")"
head -12 "$WORK/msgs.txt" | awk '{print $1}' | tr '\n' ' ' | grep -q "^c0 b0 b0 c1 b1 b1 c2 b2 b2 c3 b3 b3 " ||
  fail "ensemble messages: $(head -12 "$WORK/msgs.txt" | tr '\n' ';')"
head -1 "$WORK/msgs.txt" | grep -q "^c0 3c" || fail "program of channel 1 is not French horn"
# The notes in the piece's order: kind and channel of each message against its event.
sed -n "13,$((12 + EVENTS))p" "$WORK/msgs.txt" >"$WORK/notes.txt"
paste -d' ' "$WORK/notes.txt" <(sed 's/>EV//; s/,/ /g' "$WORK/events.txt") | awk '
  { kind = (substr($1,1,1) == "9") ? "on" : "off"; want = ($6 != 0) ? "on" : "off";
    if (kind != want || index("0123456789abcdef", substr($1,2,1)) != $4) { print "line " NR ": " $0; exit 1 } }' ||
  fail "notes out of order"
check_silent_end "$WORK/dump.txt" || fail "the piece did not end silently"
tail -16 "$WORK/msgs.txt" | awk '$2 != "7b" {bad=1} END {exit bad}' || fail "not All Notes Off last"

# 2. SIGINT and SIGHUP in the middle of a longer piece: every note ends, All Notes Off, exit 0.
for sig in INT HUP; do
  start_dump "$WORK/dump-$sig.txt"
  "$COMPOSE" --play --output port --port midi-monitor --clock 0 "0 80 40 30 25 1 50 30 23 20" \
    >"$WORK/play-$sig.out" 2>&1 &
  PLAY_PID=$!
  wait_for "grep -q ': 9' '$WORK/dump-$sig.txt'" 20 || fail "no notes before SIG$sig"
  sleep 1
  kill -"$sig" "$PLAY_PID"
  wait "$PLAY_PID"
  RC=$?
  stop_dump
  [ "$RC" -eq 0 ] || fail "SIG$sig: exit $RC"
  grep -q "^stopped" "$WORK/play-$sig.out" || fail "SIG$sig: no stop line"
  check_silent_end "$WORK/dump-$sig.txt" || fail "SIG$sig: notes left sounding"
done

# 3. Without a JACK server: the built-in synthesizer without an audio device (as here) cannot
# sound, which is found at once: exit 1, why, and what can be tried here. A port alone cannot be
# had.
JACK_DEFAULT_SERVER="vordel-none-$$" "$COMPOSE" --play --output synth --clock 0 "$PIECE" \
  >"$WORK/synth.out" 2>&1
RC=$?
if grep -q "MIDI output: built-in synthesizer ([a-z]*)$" "$WORK/synth.out"; then
  [ "$RC" -eq 0 ] && grep -q "^finished" "$WORK/synth.out" || fail "synth play: $(cat "$WORK/synth.out")"
else
  [ "$RC" -eq 1 ] || fail "the synthesizer without an audio device: exit $RC"
  grep -q "the output cannot sound: built-in synthesizer" "$WORK/synth.out" &&
    grep -q "try --output .*recording (--record FILE).*--audio-driver" "$WORK/synth.out" ||
    fail "no reason or nothing to try: $(cat "$WORK/synth.out")"
  grep -q "^finished" "$WORK/synth.out" && fail "it played silently"
fi
if [ ! -e /dev/snd/seq ]; then
  JACK_DEFAULT_SERVER="vordel-none-$$" "$COMPOSE" --play --output port "$PIECE" >"$WORK/noport.out" 2>&1
  [ $? -eq 1 ] && grep -q "no MIDI port" "$WORK/noport.out" || fail "port without JACK"
fi
echo "ok: $EVENTS events played and checked; SIGINT and SIGHUP end silently"
