#!/usr/bin/env bash
# End-to-end: floods, faults and strangers. A flood of the largest pieces over OSC is taken
# newest first and a quit still acts; a recording is on disk when the program is killed, and
# a recording that cannot be written is an error; exports stop on a signal and on a full disk
# and leave nothing behind; every signal that ends a process by default ends vordel cleanly;
# OSC lets nobody lock out subscribers or use vordel to amplify traffic; the built-in
# synthesizer notices that its audio server went away and comes back with it.
# Exit 77 without python3, JACK or liblo-tools.
VORDEL=$1
COMPOSE=$2
OSCPY=$(dirname "$0")/lib/osc.py
source "$(dirname "$0")/lib/common.sh"
need python3 jackd jack_lsp oscsend oscdump
OSC=$((18000 + RANDOM % 500 * 2))
LARGEST=$(for _ in $(seq 50); do printf '0 50 40 50 1030 '; done)
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
notes_in() { grep -c ' 9[0-3] ' "$1" 2>/dev/null || echo 0; }

# start_vordel NAME ARGS...: a headless vordel reading its standard input from a fifo.
start_vordel() {
  local name=$1
  shift
  mkfifo "$WORK/$name.in"
  "$VORDEL" --headless "$@" <"$WORK/$name.in" >"$WORK/$name.out" 2>&1 &
  eval "${name}_PID=$!"
  PIDS+=($!)
  exec {fd}>"$WORK/$name.in"
  eval "${name}_IN=$fd"
  wait_for "grep -q 'ready without a window' '$WORK/$name.out'" 20 || fail "$name did not start"
}

# 1. A flood of the largest pieces: only the newest pending one is composed, the drops are said,
#    memory stays flat, and a quit after the flood ends the program (no timing is asserted here:
#    bench/flood.sh measures how soon).
start_vordel flood --output recording --record "$WORK/flood.rec" --osc-port "$OSC"
oscsend localhost "$OSC" /vordel/piece s "$LARGEST"
wait_for "[ \$(grep -c '\[Reproduce\]' '$WORK/flood.out') -ge 2 ]" 20 || fail "the largest piece was not built"
sleep 1
rss0=$(rss_kb "$flood_PID")
python3 "$OSCPY" flood "$OSC" 10000 /vordel/piece "$LARGEST"
wait_for "grep -q 'command(s) dropped' '$WORK/flood.out'" 20 || fail "the drops were not said"
rss1=$(rss_kb "$flood_PID")
echo "RSS before the flood ${rss0} kB, after ${rss1} kB"
[ $((rss1 - rss0)) -lt 50000 ] || fail "memory grew by $((rss1 - rss0)) kB under the flood"
python3 "$OSCPY" flood "$OSC" 2000 /vordel/piece "$LARGEST"
oscsend localhost "$OSC" /vordel/quit
wait_for "! kill -0 $flood_PID 2>/dev/null" 30 || fail "/vordel/quit after a flood was not honoured"
wait "$flood_PID" || fail "exit code after the flood"
[ "$(grep -c '\[Reproduce\]' "$WORK/flood.out")" -lt 1000 ] || fail "the flood was composed piece by piece"
start_vordel flood2 --record /dev/null --osc-port "$OSC"
python3 "$OSCPY" flood "$OSC" 5000 /vordel/piece "$LARGEST" &
FLOODER=$!
sleep 0.5
kill -TERM "$flood2_PID"
wait_for "! kill -0 $flood2_PID 2>/dev/null" 30 || fail "SIGTERM during a flood was not honoured"
wait "$flood2_PID" || fail "exit code after SIGTERM during a flood"
wait "$FLOODER"

# 2. --record: on disk while playing (SIGKILL keeps it); a file that cannot be opened is a usage
#    error; a full device is reported and the exit code says so.
start_vordel rec --output recording --record "$WORK/kill.rec" --osc-port 0
say() { local fd; eval "fd=\$${1}_IN"; printf '%s\n' "$2" >&"$fd"; }
say rec "0 50 40 1 0"
wait_for "[ \$(notes_in '$WORK/kill.rec') -gt 10 ]" 10 || fail "nothing recorded while playing"
kill -KILL "$rec_PID"
wait "$rec_PID" 2>/dev/null
[ "$(notes_in "$WORK/kill.rec")" -gt 10 ] || fail "SIGKILL left no recording"
"$VORDEL" --headless --record /nonexistent/x.txt </dev/null >"$WORK/noopen.out" 2>&1
RC=$?
[ "$RC" -eq 2 ] || fail "--record to a folder that is not there: exit $RC"
grep -q "cannot record to /nonexistent/x.txt" "$WORK/noopen.out" || fail "no reason: $(cat "$WORK/noopen.out")"
grep -q "recording to" "$WORK/noopen.out" && fail "said it records anyway"
printf '0 50 40 1 0\nq\n' | "$VORDEL" --headless --record /dev/full --osc-port 0 >"$WORK/full.out" 2>&1
RC=$?
[ "$RC" -ne 0 ] || fail "--record /dev/full exited 0"
grep -q "is incomplete: No space left on device" "$WORK/full.out" || fail "no report: $(tail -3 "$WORK/full.out")"

# 3. Exports stop on a signal, leave nothing and exit with 128 + the signal.
LONG="0 50 40 90 1110 0 50 40 90 1110 0 50 40 90 1110"
"$COMPOSE" --render "$WORK/long.wav" --gain 0 "$LONG" 2>"$WORK/render.out" &
RENDER=$!
wait_for "ls -a '$WORK' | grep -q '\.long\.wav\.partial'" 30 || fail "the render did not start writing"
kill -INT "$RENDER"
wait "$RENDER"
RC=$?
[ "$RC" -eq 130 ] || fail "SIGINT during a render: exit $RC"
ls -a "$WORK" | grep -q "long\.wav" && fail "the render left a file: $(ls -a "$WORK")"
mkfifo "$WORK/nobody.mid"
"$COMPOSE" --midi "$WORK/nobody.mid" "0 50 40 1 0" 2>/dev/null &
WRITER=$!
sleep 0.5
kill -TERM "$WRITER"
wait "$WRITER"
RC=$?
[ "$RC" -eq 143 ] || fail "SIGTERM while writing to a fifo nobody reads: exit $RC"

# 4. A full disk: a render or a MIDI file fails, nothing is left, an older file keeps its content.
if mkdir -p "$WORK/small" && mount -t tmpfs -o size=256k tmpfs "$WORK/small" 2>/dev/null; then
  echo "old" >"$WORK/small/keep.wav"
  "$COMPOSE" --render "$WORK/small/keep.wav" "0 50 40 50 25" 2>"$WORK/fullrender.out"
  RC=$?
  [ "$RC" -eq 1 ] || fail "a render onto a full disk: exit $RC"
  grep -q "not enough room for $WORK/small/keep.wav: the rendering takes about" "$WORK/fullrender.out" ||
    fail "a render onto a full disk was not refused up front: $(cat "$WORK/fullrender.out")"
  [ "$(cat "$WORK/small/keep.wav")" = "old" ] || fail "the old file was overwritten"
  [ "$(ls -a "$WORK/small" | grep -c partial)" -eq 0 ] || fail "a partial file is left"
  dd if=/dev/zero of="$WORK/small/filler" bs=4k >/dev/null 2>&1
  "$COMPOSE" --midi "$WORK/small/piece.mid" "0 50 40 50 25" 2>/dev/null
  RC=$?
  [ "$RC" -eq 1 ] || fail "a MIDI file onto a full disk: exit $RC"
  [ -e "$WORK/small/piece.mid" ] && fail "a MIDI file was left on a full disk"
  umount "$WORK/small"
else
  echo "skipped the full disk: no tmpfs can be mounted here"
fi

# 5. SIGQUIT, SIGUSR1, SIGUSR2, SIGTRAP, SIGPIPE, SIGABRT and SIGSYS from another process end the
#    program the clean way, every note ended.
start_jack 256
for sig in QUIT USR1 USR2 TRAP PIPE ABRT SYS; do
  start_dump "$WORK/$sig.txt"
  start_vordel "v$sig" --output jack --port midi-monitor --osc-port 0
  say "v$sig" "0 50 40 1 0"
  wait_for "grep -q ': 9' '$WORK/$sig.txt'" 10 || fail "SIG$sig: no notes"
  sleep 0.3
  eval "pid=\$v${sig}_PID"
  kill -"$sig" "$pid"
  wait "$pid"
  RC=$?
  [ "$RC" -eq 0 ] || fail "SIG$sig: exit $RC"
  stop_dump
  check_silent_end "$WORK/$sig.txt" || fail "SIG$sig left notes sounding"
done

# 5b. The end of a fade, after a next and after a stop: no Note Off after the All Notes Off.
start_dump "$WORK/fade.txt"
start_vordel fade --output jack --port midi-monitor --osc-port "$OSC" --endless --gap 0.3 --fade 0.5
say fade "0 80 40 1 120 0 60 40 1 120"  # four voices, all the time
wait_for "[ \$(notes_in '$WORK/fade.txt') -gt 50 ]" 20 || fail "fade: no notes"
oscsend localhost "$OSC" /vordel/next
wait_for "grep -q 'playback ended (next)' '$WORK/fade.out'" 20 || fail "fade: the next did not end the piece"
wait_for "[ \$(grep -c 'playback started' '$WORK/fade.out') -ge 3 ]" 20 || fail "fade: nothing followed the next"
sleep 0.5
say fade 0
wait_for "grep -q 'playback ended (stop)' '$WORK/fade.out'" 20 || fail "fade: the stop did not end the piece"
say fade q
wait "$fade_PID" || fail "fade: exit code"
stop_dump
check_no_note_at_all_notes_off "$WORK/fade.txt" || fail "a Note Off after its All Notes Off"
check_silent_end "$WORK/fade.txt" || fail "fade: notes left sounding"
start_dump "$WORK/dump.txt"

# 6. OSC: 70 subscriptions from one host do not lock out the 71st; answers are limited to a
#    hundred a second for each host, however many ports ask.
start_vordel osc --output jack --port midi-monitor --osc-port "$OSC"
python3 "$OSCPY" subscribers "$OSC" 70
LISTEN=$((OSC + 1000))
oscdump -L "$LISTEN" >"$WORK/osc.txt" 2>&1 &
PIDS+=($!)
sleep 0.3
oscsend localhost "$OSC" /vordel/subscribe i "$LISTEN"
wait_for "grep -q 'replaces the oldest subscription' '$WORK/osc.out'" 10 || fail "no line about the full table"
say osc "0 50 40 1 0"
wait_for "grep -q ' /vordel/started' '$WORK/osc.txt'" 10 || fail "the newest subscriber was locked out"
read -r answers took < <(python3 "$OSCPY" answers "$OSC" 300)
allowed=$(( (${took%.*} + 2) * 100 ))
echo "$answers answers to 300 requests sent in $took s"
[ "$answers" -le "$allowed" ] || fail "$answers answers in $took s: more than a hundred a second"
[ "$answers" -ge 1 ] || fail "no answer at all"
oscsend localhost "$OSC" /vordel/nowhere
wait_for "grep -q 'no address /vordel/nowhere' '$WORK/osc.out'" 10 || fail "stray line not written"
say osc q
wait "$osc_PID" || fail "exit code after the OSC checks"
stop_dump

# 7. The built-in synthesizer on JACK: the server stops, the status says so, and SIGTERM still
#    ends the program cleanly.
start_vordel synth --output synth --audio-driver jack --osc-port 0
grep -q "MOUT OK" "$WORK/synth.out" || fail "the synthesizer did not start on JACK: $(cat "$WORK/synth.out")"
say synth "0 50 40 1 0"
sleep 1
stop_jack
wait_for "grep -q 'MOUT Error.*went away' '$WORK/synth.out'" 15 || fail "the lost JACK server was not noticed"
kill -TERM "$synth_PID"
wait "$synth_PID"
RC=$?
[ "$RC" -eq 0 ] || fail "SIGTERM after the JACK server stopped: exit $RC"

# 8. The built-in synthesizer on PulseAudio (a null sink): a restarted server is noticed and used.
if command -v pulseaudio >/dev/null; then
  export HOME="$WORK"
  start_pulse() {
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --log-target=stderr \
      -L "module-null-sink sink_name=null" -L "module-native-protocol-unix" >>"$WORK/pulse.log" 2>&1 &
    PULSE_PID=$!
    PIDS+=("$PULSE_PID")
    wait_for "pactl info >/dev/null 2>&1" 10 || fail "pulseaudio did not start: $(tail -3 "$WORK/pulse.log")"
  }
  start_pulse
  start_vordel pulse --output synth --audio-driver pulseaudio --osc-port 0
  grep -q "MOUT OK" "$WORK/pulse.out" || fail "the synthesizer did not start on PulseAudio"
  say pulse "0 50 40 50 25"
  sleep 3
  kill "$PULSE_PID"
  wait "$PULSE_PID" 2>/dev/null
  wait_for "grep -q 'MOUT Error.*went away' '$WORK/pulse.out'" 15 || fail "the lost PulseAudio server was not noticed"
  start_pulse
  wait_for "[ \"\$(grep 'MOUT' '$WORK/pulse.out' | tail -1 | grep -c 'MOUT OK')\" = 1 ]" 20 ||
    fail "the synthesizer did not come back with the server: $(tail -3 "$WORK/pulse.out")"
  say pulse q
  wait "$pulse_PID" || fail "exit code on PulseAudio"
else
  echo "skipped PulseAudio: not installed"
fi
echo "ok: floods, recordings, export signals, full disks, every signal, OSC limits and lost audio servers"
