#!/usr/bin/env bash
# End-to-end: MIDI clock at a JACK peer. A headless vordel with --midi-clock plays a piece into
# the recorder: Song Position 0 and Start come before the first note, the clocks run until Stop,
# which comes after the last note and before the All Notes Off that ends the playback, and the
# notes of the voice that leads fall in the very frame of a clock. The same piece without the
# option sends no clock at all; the option with the built-in synthesizer is a usage error.
# Exit 77 without JACK.
VORDEL=$1
source "$(dirname "$0")/lib/common.sh"
need jackd jack_lsp
PIECE="0 50 40 1 0"

"$VORDEL" --headless --output synth --midi-clock </dev/null >"$WORK/synth.out" 2>&1
[ $? -eq 2 ] && grep -q -- "--midi-clock sends on a MIDI port" "$WORK/synth.out" ||
  fail "the clock on the synthesizer: $(cat "$WORK/synth.out")"

start_jack 256
# play NAME ARGS...: one playback of the piece into the recorder's dump NAME.txt, then quit.
play() {
  local name=$1
  shift
  start_dump "$WORK/$name.txt"
  mkfifo "$WORK/$name.in"
  "$VORDEL" --headless --output jack --port midi-monitor --osc-port 0 "$@" "$PIECE" \
    <"$WORK/$name.in" >"$WORK/$name.out" 2>&1 &
  local pid=$!
  PIDS+=("$pid")
  exec {fd}>"$WORK/$name.in"
  wait_for "grep -q 'playback ended (end)' '$WORK/$name.out'" 60 || fail "$name: the piece did not end"
  printf 'q\n' >&"$fd"
  wait_exit "$pid" 20 || fail "$name: exit code"
  stop_dump
}

play clock --midi-clock
messages "$WORK/clock.txt" | awk '
  $1 == "f2" && $2 == "00" && $3 == "00" && !start { position = NR }
  $1 == "fa" { starts++; start = NR }
  $1 == "fc" { stops++; stop = NR }
  $1 == "f8" { clocks++; if (stop) late++ }
  /^9/ && $3 != "00" { if (!first_on) first_on = NR; last_on = NR }
  /^b/ && $2 == "7b" { last_off = NR }
  END {
    if (starts != 1 || stops != 1) { print starts " Start(s) and " stops " Stop(s)"; exit 1 }
    if (!position || position > start || start > first_on) { print "Start after a note"; exit 1 }
    if (stop < last_on || stop > last_off) { print "Stop not between the last note and the end"; exit 1 }
    if (late) { print late " clocks after Stop"; exit 1 }
    if (clocks < 24 * 8) { print "only " clocks " clocks"; exit 1 }
  }' || fail "the clock's messages: $(messages "$WORK/clock.txt" | grep -c f8) clocks"
# The frames (microseconds at the recorder) of the clocks, and the note starts that share one.
awk '$2 == "f8" {clock[$1] = 1} $2 ~ /^9/ && $4 != "00" {on[$1] = 1}
  END { for (t in on) { n++; if (t in clock) shared++ }
        print shared " of " n " note start frames on a clock" > "/dev/stderr"; if (shared * 2 < n) exit 1 }' \
  "$WORK/clock.txt" || fail "notes off the clock"

play plain
grep -Eq ': (f8|fa|fc|f2)' "$WORK/plain.txt" && fail "a clock without --midi-clock"
[ "$(grep -c ': 9' "$WORK/plain.txt")" -eq "$(grep -c ': 9' "$WORK/clock.txt")" ] ||
  fail "the notes differ with the clock"
echo "ok: MIDI clock from Start to Stop, the notes on it, none without the option"
