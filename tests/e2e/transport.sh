#!/usr/bin/env bash
# End-to-end: one story of every stop. A headless vordel playing a two-line playlist endlessly
# with a two-second fade is stopped one second before the first piece's end: the piece ends
# during the fade, and the second piece never sounds at the recorder; the journal and the OSC
# subscribers hear "stop", once. Beside it, a piece that follows another seamlessly says its
# warnings as any piece does. Exit 77 without JACK or liblo-tools.
VORDEL=$1
source "$(dirname "$0")/lib/common.sh"
need jackd jack_lsp oscsend oscdump
OSC=$((19000 + RANDOM % 500 * 2))
REPLY=$((OSC + 1000))

FIRST="0 50 40 1 0"
printf '%s\n0 50 40 200 0\n' "$FIRST" >"$WORK/list.txt"

start_jack 256
start_dump "$WORK/dump.txt"
oscdump -L "$REPLY" >"$WORK/osc.txt" 2>&1 &
PIDS+=($!)

# The piece that follows, recorded to a file by a vordel of its own (with its own journal).
mkfifo "$WORK/follow.in"
mkdir -p -m 700 "$WORK/run-follow"
XDG_STATE_HOME="$WORK/state-follow" XDG_RUNTIME_DIR="$WORK/run-follow" "$VORDEL" --headless --output recording \
  --record "$WORK/follow.rec" --osc-port 0 --endless --playlist "$WORK/list.txt" --gap 0 \
  <"$WORK/follow.in" >"$WORK/follow.out" 2>&1 &
FOLLOW_PID=$!
PIDS+=("$FOLLOW_PID")
exec {FOLLOW_IN}>"$WORK/follow.in"

mkfifo "$WORK/stop.in"
"$VORDEL" --headless --output jack --port midi-monitor --osc-port "$OSC" --endless \
  --playlist "$WORK/list.txt" --gap 0 --fade 2 <"$WORK/stop.in" >"$WORK/stop.out" 2>&1 &
STOP_PID=$!
PIDS+=("$STOP_PID")
exec {STOP_IN}>"$WORK/stop.in"
wait_for "grep -q 'ready without a window' '$WORK/stop.out'" 20 || fail "vordel did not start"
oscsend localhost "$OSC" /vordel/subscribe i "$REPLY"
# The first note at the recorder is the start; the stop goes one second before the end.
wait_for "grep -q ': 9' '$WORK/dump.txt'" 30 || fail "the first piece did not sound"
started=$(date +%s%N)
LENGTH_MS=$(sed -n 's/.*\[SetPosition\] .* TotTime: \([0-9]*\) .*/\1/p' "$WORK/stop.out" | head -1)
[ -n "$LENGTH_MS" ] && [ "$LENGTH_MS" -gt 3000 ] || fail "no length for '$FIRST'"
sleep "$(awk -v ms="$LENGTH_MS" 'BEGIN {printf "%.3f", (ms - 1000) / 1000}')"
printf '0\n' >&"$STOP_IN"
stopped_after_ms=$(( ($(date +%s%N) - started) / 1000000 ))
[ "$stopped_after_ms" -lt "$LENGTH_MS" ] || fail "the stop came after the piece's end ($stopped_after_ms ms)"
wait_for "grep -q 'playback ended (stop)' '$WORK/stop.out'" 20 || fail "the stop did not end the playback"
sleep 3  # the gap and more: time for a follower to start, if one were left
printf 'q\n' >&"$STOP_IN"
wait "$STOP_PID" || fail "exit code"
stop_dump

# One playback started and ended for the stop; the second piece did not sound. Its notes would
# be the only notes after the All Notes Off that ends the first playback.
[ "$(grep -c 'playback started' "$WORK/stop.out")" -eq 1 ] || fail "more than one playback started"
python3 - "$WORK/dump.txt" <<'PY' || fail "notes after the first playback's end"
import sys
lines = [l.split() for l in open(sys.argv[1])]
def note_on(l): return len(l) == 4 and l[1][0] == "9" and l[3] != "00"
first = next(i for i, l in enumerate(lines) if note_on(l))
ends = [i for i, l in enumerate(lines) if i > first and len(l) == 4 and l[1][0] == "b" and l[2] == "7b"]
assert ends, "no All Notes Off"
after = [l for l in lines[ends[0]:] if note_on(l)]
assert not after, after[:5]
PY
JOURNAL="$XDG_STATE_HOME/vordel/played.log"
[ "$(wc -l <"$JOURNAL")" -eq 1 ] && [ "$(cut -f3 "$JOURNAL")" = stop ] || fail "journal: $(cat "$JOURNAL")"
sleep 0.3
[ "$(grep -c '/vordel/ended' "$WORK/osc.txt")" -eq 1 ] && grep -q '/vordel/ended s "stop"' "$WORK/osc.txt" ||
  fail "/vordel/ended: $(grep ended "$WORK/osc.txt")"

# The follower's warning, once, after its own [Reproduce] line.
wait_for "grep -q \"\\[Reproduce\\] .*--dump '0 50 40 200 0'\" '$WORK/follow.out'" 60 ||
  fail "the second line did not follow"
wait_for "grep -q '\[Warning\] section 1: tempo 200 is outside 1-100' '$WORK/follow.out'" 5 ||
  fail "the piece that followed showed no warning"
grep -A3 "\[Reproduce\] .*--dump '0 50 40 200 0'" "$WORK/follow.out" | grep -q '\[Warning\] section 1: tempo 200' ||
  fail "the warning is not the follower's"
printf 'q\n' >&"$FOLLOW_IN"
wait "$FOLLOW_PID" || fail "exit code of the follower's vordel"
echo "ok: a faded stop near the end is not followed, told once; a follower says its warnings"
