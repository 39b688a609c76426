#!/usr/bin/env bash
# End-to-end: playing in time with other JACK programs.
# - MIDI clock at a JACK peer. A headless vordel with --midi-clock plays a piece into the
#   recorder: Song Position 0 and Start come before the first note, the clocks run until Stop,
#   which comes after the last note and before the All Notes Off that ends the playback, and the
#   notes of the voice that leads fall in the very frame of a clock. The same piece without the
#   option sends no clock at all; the option with the built-in synthesizer is a usage error.
# - Following a MIDI clock: a vordel with --sync midi-clock starts with another one's clock and
#   plays at its tempo (measured from the clocks' frames, so as steady as JACK's clock).
# - The JACK transport: `jack_transport play` and `stop` start and stop a following vordel; a
#   leading vordel rolls the transport while its piece plays, and jack_showtime prints the bars,
#   beats and ticks it publishes.
# Exit 77 without JACK.
VORDEL=$1
source "$(dirname "$0")/lib/common.sh"
need jackd jack_lsp jack_connect jack_transport jack_showtime oscsend oscdump
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

# One vordel follows another's MIDI clock: the second starts when the first does, and takes
# the tempo the first plays at.
OSC=$((20000 + RANDOM % 500 * 2))
REPLY=$((OSC + 1000))
oscdump -L "$REPLY" >"$WORK/osc.txt" 2>&1 &
PIDS+=($!)
start_dump "$WORK/follower.txt"
mkfifo "$WORK/follower.in" "$WORK/leader.in"
"$VORDEL" --headless --output jack --port midi-monitor --osc-port "$OSC" --sync midi-clock \
  <"$WORK/follower.in" >"$WORK/follower.out" 2>&1 &
FOLLOWER_PID=$!
PIDS+=("$FOLLOWER_PID")
exec {FOLLOWER_IN}>"$WORK/follower.in"
wait_for "grep -q 'ready without a window' '$WORK/follower.out'" 20 || fail "the follower did not start"
"$VORDEL" --headless --output jack --midi-clock --osc-port "$((OSC + 1))" \
  <"$WORK/leader.in" >"$WORK/leader.out" 2>&1 &
LEADER_PID=$!
PIDS+=("$LEADER_PID")
exec {LEADER_IN}>"$WORK/leader.in"
wait_for "grep -q 'ready without a window' '$WORK/leader.out'" 20 || fail "the leader did not start"
jack_connect vordel-2:vordel-2 "vordel-in:vordel in" || fail "cannot connect the leader's clock"
printf '0 50 40 1 0\n' >&"$LEADER_IN"
wait_for "grep -q 'MIDI clock: following' '$WORK/follower.out'" 20 || fail "the follower took no tempo"
wait_for "[ \$(grep -c ': 9' '$WORK/follower.txt') -gt 5 ]" 10 || fail "the follower did not start with the clock"
# What each says it plays at, while both are in the first part of their first section.
for who in "$OSC" "$((OSC + 1))"; do oscsend localhost "$who" /vordel/status i "$REPLY"; done
wait_for "[ \$(grep -c ' /vordel/status iiiiisiiiiff 1 ' '$WORK/osc.txt') -ge 2 ]" 10 || fail "no status while playing"
grep ' /vordel/status iiiiisiiiiff 1 ' "$WORK/osc.txt" | awk '{t[NR] = $NF}
  END { r = t[1] / t[2]; print "tempos " t[1] " and " t[2] > "/dev/stderr"; if (r < 0.98 || r > 1.02) exit 1 }' ||
  fail "the follower's tempo is not the leader's"
printf 'q\n' >&"$LEADER_IN"
wait_exit "$LEADER_PID" 20 || fail "the leader's exit code"
wait_for "grep -q 'playback ended (stop)' '$WORK/follower.out'" 20 || fail "the leader's Stop did not stop the follower"
printf 'q\n' >&"$FOLLOWER_IN"
wait_exit "$FOLLOWER_PID" 20 || fail "the follower's exit code"
stop_dump
check_silent_end "$WORK/follower.txt" || fail "the follower left notes sounding"

# Without a JACK server, the transport cannot be followed: said, and exit 2.
JACK_DEFAULT_SERVER=vordel-e2e-nobody "$VORDEL" --headless --jack-transport follow </dev/null >"$WORK/nojack.out" 2>&1
[ $? -eq 2 ] && grep -q "needs a running JACK server" "$WORK/nojack.out" ||
  fail "--jack-transport without a server: $(cat "$WORK/nojack.out")"

# Following: the transport's play plays, its stop stops.
start_dump "$WORK/follow.txt"
mkfifo "$WORK/follow.in"
"$VORDEL" --headless --output jack --port midi-monitor --osc-port 0 --jack-transport follow \
  <"$WORK/follow.in" >"$WORK/follow.out" 2>&1 &
FOLLOW_PID=$!
PIDS+=("$FOLLOW_PID")
exec {FOLLOW_IN}>"$WORK/follow.in"
wait_for "grep -q 'ready without a window.*JACK transport' '$WORK/follow.out'" 20 || fail "the follower did not start"
sleep 0.5
[ "$(grep -c ': 9' "$WORK/follow.txt")" -eq 0 ] || fail "the follower played before the transport rolled"
echo play | jack_transport >/dev/null 2>&1
wait_for "[ \$(grep -c ': 9' '$WORK/follow.txt') -gt 5 ]" 20 || fail "jack_transport play did not play"
echo stop | jack_transport >/dev/null 2>&1
wait_for "grep -q 'playback ended (stop)' '$WORK/follow.out'" 20 || fail "jack_transport stop did not stop"
printf 'q\n' >&"$FOLLOW_IN"
wait_exit "$FOLLOW_PID" 20 || fail "the follower's exit code"
stop_dump
check_silent_end "$WORK/follow.txt" || fail "the transport's stop left notes sounding"

# Leading: the transport rolls with the piece, bar by bar as vordel counts, and stops at its end.
jack_showtime >"$WORK/showtime.txt" 2>&1 &
SHOWTIME=$!
PIDS+=("$SHOWTIME")
play lead --jack-transport lead
sleep 0.5
kill "$SHOWTIME"
wait "$SHOWTIME" 2>/dev/null
grep 'Rolling' "$WORK/showtime.txt" | awk '
  { split($NF, bbt, "|"); bar = bbt[1] + 0; beat = bbt[2] + 0; tick = bbt[3] + 0
    if (beat < 1 || beat > 4 || tick < 0 || tick >= 1920) { print "odd BBT " $NF; exit 1 }
    at = (bar - 1) * 4 + beat - 1 + tick / 1920
    if (at < last) { print "BBT went back: " $NF; exit 1 }
    last = at; n++ }
  END { if (n == 0 || last < 4) { print "the transport did not roll through a bar (" last " beats)"; exit 1 } }' ||
  fail "the leader's bar, beat and tick"
tail -1 "$WORK/showtime.txt" | grep -q "Stopped" || fail "the transport rolls on after the piece"
echo "ok: MIDI clock from Start to Stop, the notes on it, none without the option; a clock followed; the JACK transport followed and led"
