#!/usr/bin/env bash
# End-to-end: vordel-compose --play into a JACK server with the dummy driver, recorded by
# jack_midi_dump. Checks the messages that arrive (programs, pans, volumes, every note, All Notes
# Off), their spacing against the piece's event times, and a clean stop on SIGINT.
# Exit 77 (skipped) when JACK is not installed.
set -u
COMPOSE=$1
command -v jackd >/dev/null && command -v jack_midi_dump >/dev/null || { echo "no JACK"; exit 77; }

export JACK_DEFAULT_SERVER="vordel-e2e-$$"
export JACK_NO_START_SERVER=1
WORK=$(mktemp -d)
cleanup() {
  [ -n "${DUMP_PID:-}" ] && kill "$DUMP_PID" 2>/dev/null
  [ -n "${JACK_PID:-}" ] && kill "$JACK_PID" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 256 >"$WORK/jackd.log" 2>&1 &
JACK_PID=$!
for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
jack_lsp >/dev/null 2>&1 || fail "jackd did not start: $(cat "$WORK/jackd.log")"

start_dump() {
  jack_midi_dump -a >"$1" 2>/dev/null &
  DUMP_PID=$!
  for _ in $(seq 50); do jack_lsp 2>/dev/null | grep -q midi-monitor && return; sleep 0.1; done
  fail "jack_midi_dump did not register"
}
stop_dump() { sleep 0.3; kill "$DUMP_PID" 2>/dev/null; wait "$DUMP_PID" 2>/dev/null; DUMP_PID=; }

PIECE="0 50 40 1 0"
"$COMPOSE" --clock 0 --dump "$PIECE" | grep '^>EV' >"$WORK/events.txt"
EVENTS=$(wc -l <"$WORK/events.txt")

# 1. The whole piece.
start_dump "$WORK/dump.txt"
"$COMPOSE" --play --output port --port midi-monitor --clock 0 "$PIECE" >"$WORK/play.out" 2>&1 ||
  fail "play exited $?: $(cat "$WORK/play.out")"
stop_dump
grep -q "JACK port vordel -> midi-monitor" "$WORK/play.out" || fail "not connected: $(cat "$WORK/play.out")"
grep -q "finished" "$WORK/play.out" || fail "did not finish: $(cat "$WORK/play.out")"

# Lines look like "  27904: 90 3a 3c note on ...": frame, status, data.
awk '{sub(":","",$1); print $1, $2, $3, $4}' "$WORK/dump.txt" >"$WORK/msgs.txt"
TOTAL=$(wc -l <"$WORK/msgs.txt")
[ "$TOTAL" -eq $((12 + EVENTS + 16)) ] || fail "expected $((12 + EVENTS + 16)) messages, got $TOTAL"
head -12 "$WORK/msgs.txt" | awk '{print $2}' | tr '\n' ' ' | grep -q "^c0 b0 b0 c1 b1 b1 c2 b2 b2 c3 b3 b3 " ||
  fail "ensemble messages: $(head -12 "$WORK/msgs.txt" | tr '\n' ';')"
head -1 "$WORK/msgs.txt" | grep -q " c0 3c" || fail "program of channel 1 is not French horn"
tail -16 "$WORK/msgs.txt" | awk '{print $2, $3}' | sort -u | awk '$2!="7b"{bad=1} END{exit bad}' ||
  fail "the piece does not end with All Notes Off"

# Every note message against its event: send frame / 48 kHz minus event time stays constant
# within a few JACK periods (256 frames = 5.3 ms each).
sed -n "13,$((12 + EVENTS))p" "$WORK/msgs.txt" >"$WORK/notes.txt"
paste -d' ' "$WORK/notes.txt" <(sed 's/>EV//; s/,/ /g' "$WORK/events.txt") | awk '
  { frame=$1; status=$2; ch=$5; t=$8;
    kind = (substr(status,1,1)=="9") ? "on" : "off";
    want = ($7 != 0) ? "on" : "off";
    if (kind != want) { print "kind mismatch at line " NR ": " $0; exit 1 }
    if (index("0123456789abcdef", substr(status,2,1)) - 1 != ch - 1) { print "channel mismatch at line " NR; exit 1 }
    offset = frame / 48.0 - t;
    if (NR == 1) base = offset;
    d = offset - base; if (d < 0) d = -d;
    if (d > worst) worst = d;
  }
  END { printf "worst spacing error %.1f ms over %d notes\n", worst, NR; if (worst > 25) exit 1 }' ||
  fail "note spacing"

# 2. SIGINT in the middle of a long piece: notes released, All Notes Off, exit 0.
start_dump "$WORK/dump2.txt"
"$COMPOSE" --play --output port --port midi-monitor --clock 0 "0 80 40 30 25 1 50 30 23 20" \
  >"$WORK/play2.out" 2>&1 &
PLAY_PID=$!
sleep 2
kill -INT "$PLAY_PID"
wait "$PLAY_PID"
RC=$?
stop_dump
[ "$RC" -eq 0 ] || fail "interrupted play exited $RC: $(cat "$WORK/play2.out")"
grep -q "stopped" "$WORK/play2.out" || fail "no stop line: $(cat "$WORK/play2.out")"
awk '{print $2, $3}' "$WORK/dump2.txt" | tail -16 | grep -c '7b$' | grep -qx 16 || fail "no All Notes Off at the stop"
# Every note started is ended before the All Notes Off.
awk '{s=substr($2,1,1); k=substr($2,2,1) ":" $3; if (s=="9" && $4!="00") on[k]++; else if (s=="8" || s=="9") on[k]--}
     END {for (k in on) if (on[k] > 0) {print "still sounding " k; exit 1}}' "$WORK/dump2.txt" ||
  fail "hanging notes after SIGINT"

# 3. Without a JACK server: the built-in synthesizer plays (here without an audio device, which
# shows as an error status, not a failure); and a port alone cannot be had.
JACK_DEFAULT_SERVER="vordel-none-$$" "$COMPOSE" --play --output synth --clock 0 "$PIECE" \
  >"$WORK/synth.out" 2>&1 || fail "synth play exited $?: $(cat "$WORK/synth.out")"
grep -q "built-in synthesizer" "$WORK/synth.out" && grep -q "finished" "$WORK/synth.out" ||
  fail "synth play: $(cat "$WORK/synth.out")"
if [ ! -e /dev/snd/seq ]; then
  JACK_DEFAULT_SERVER="vordel-none-$$" "$COMPOSE" --play --output port "$PIECE" >"$WORK/noport.out" 2>&1
  [ $? -eq 1 ] && grep -q "no MIDI port" "$WORK/noport.out" || fail "port without JACK: $(cat "$WORK/noport.out")"
fi
# 4. The JACK server dies during a playback: no crash, the status shows the error, and the
# playback still stops cleanly.
start_dump "$WORK/dump3.txt"
"$COMPOSE" --play --output port --port midi-monitor --clock 0 "0 80 40 30 25" >"$WORK/die.out" 2>&1 &
PLAY_PID=$!
sleep 1.5
kill "$JACK_PID"
wait "$JACK_PID" 2>/dev/null
JACK_PID=
sleep 2.5
kill -0 "$PLAY_PID" 2>/dev/null || fail "play ended when the server died: $(cat "$WORK/die.out")"
kill -INT "$PLAY_PID"
wait "$PLAY_PID"
RC=$?
[ "$RC" -eq 0 ] || fail "exit $RC after the server died: $(cat "$WORK/die.out")"
tr '\r' '\n' <"$WORK/die.out" | grep -q "MOUT Error." || fail "no error status: $(cat "$WORK/die.out")"

echo "ok: $EVENTS events played and checked"
