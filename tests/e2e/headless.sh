#!/usr/bin/env bash
# End-to-end: vordel without a window, driven by OSC (oscsend, answers read by oscdump) and by
# lines on standard input, playing into a JACK dummy server and its recorder. Also: no display
# without --headless is one clear line and exit 2; a second instance takes its own names and the
# next OSC port; every termination signal ends every note with All Notes Off and exit 0; the
# server dies and comes back without spinning; "q" and /vordel/quit end the program.
# Exit 77 without JACK or liblo-tools.
VORDEL=$1
source "$(dirname "$0")/lib/common.sh"
need jackd jack_lsp jack_connect oscsend oscdump xmllint
SCHEMA=$(dirname "$0")/../export/musicxml-4.0/musicxml.xsd
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
OSC=$((17000 + RANDOM % 500 * 2))
REPLY=$((OSC + 1000))

# 1. No display and no --headless: one line that names --headless, exit 2, no abort.
env -u DISPLAY -u WAYLAND_DISPLAY "$VORDEL" >"$WORK/nodisplay.out" 2>&1
RC=$?
[ "$RC" -eq 2 ] || fail "without a display: exit $RC"
[ "$(wc -l <"$WORK/nodisplay.out")" -eq 1 ] && grep -q -- "--headless" "$WORK/nodisplay.out" ||
  fail "without a display: $(cat "$WORK/nodisplay.out")"

start_jack 256
start_dump "$WORK/dump.txt"
oscdump -L "$REPLY" >"$WORK/osc.txt" 2>&1 &
PIDS+=($!)
sleep 0.3

# start_vordel NAME ARGS...: a headless vordel reading its standard input from a fifo.
start_vordel() {
  local name=$1
  shift
  mkfifo "$WORK/$name.in"
  "$VORDEL" --headless --output jack --port midi-monitor "$@" <"$WORK/$name.in" >"$WORK/$name.out" 2>&1 &
  eval "${name}_PID=$!"
  PIDS+=($!)
  exec {fd}>"$WORK/$name.in"
  eval "${name}_IN=$fd"
  wait_for "grep -q 'ready without a window' '$WORK/$name.out'" 20 || fail "$name did not start"
}
say() { local fd; eval "fd=\$${1}_IN"; printf '%s\n' "$2" >&"$fd"; }
notes_in() { grep -c ': 9' "$1"; }

# What --list-outputs and --list-inputs find here: the recorder's input, and what auto takes (the
# built-in synthesizer: the recorder is no synthesizer).
"$VORDEL" --list-outputs >"$WORK/outputs.txt" 2>&1 || fail "--list-outputs: exit $?"
grep -q "^  jack  .*a JACK MIDI port$" "$WORK/outputs.txt" && grep -q "^ *midi-monitor:input$" "$WORK/outputs.txt" &&
  grep -q "^auto takes: synth$" "$WORK/outputs.txt" || fail "--list-outputs: $(cat "$WORK/outputs.txt")"
"$VORDEL" --list-inputs >"$WORK/inputs.txt" 2>&1 || fail "--list-inputs: exit $?"
grep -q "^MIDI input: JACK" "$WORK/inputs.txt" || fail "--list-inputs: $(cat "$WORK/inputs.txt")"
start_vordel main --osc-port "$OSC" --files-dir "$WORK/files"
grep -q "\[Reproduce\] vordel-compose --clock [0-9]* --dump '0 80 40 30 25 1 50 30 23 20'" "$WORK/main.out" ||
  fail "no start-up piece"
# Kept in a file, every line says when (ISO 8601, local time with its offset).
unstamped=$(grep -Ev '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}[+-][0-9]{2}:[0-9]{2} ' "$WORK/main.out")
[ -z "$unstamped" ] || fail "lines without their time: $unstamped"
# The MIDI input listens to nobody, least of all vordel's own output.
jack_lsp | grep -q "vordel-in:vordel in" || fail "no MIDI input port"
jack_lsp -c | awk '/^[^ ]/ {port = $0; next} port == "vordel:vordel" && /vordel in/ {bad = 1}
  END {exit !bad}' && fail "the output feeds its own input"

# 2. OSC: subscribe, status, a piece, a refused piece.
oscsend localhost "$OSC" /vordel/subscribe i "$REPLY"
oscsend localhost "$OSC" /vordel/status i "$REPLY"
wait_for "grep -q ' /vordel/status iiiiisiiiiff 0 ' '$WORK/osc.txt'" 10 || fail "no status answer"
grep " /vordel/status" "$WORK/osc.txt" | grep -q "vordel-compose --clock" || fail "status without the command"
oscsend localhost "$OSC" /vordel/piece s "0 50 40 1 0"
wait_for "grep -q ' /vordel/started' '$WORK/osc.txt'" 10 || fail "no /vordel/started"
wait_for "[ \$(notes_in '$WORK/dump.txt') -gt 10 ]" 10 || fail "no notes after /vordel/piece"
# While it plays, the status ends with the beat in the section and the tempo in force.
playing_status() {
  grep ' /vordel/status iiiiisiiiiff 1 ' "$WORK/osc.txt" | awk '$NF > 0 && $(NF - 1) >= 0 {ok = 1} END {exit !ok}'
}
oscsend localhost "$OSC" /vordel/status i "$REPLY"
wait_for playing_status 10 || fail "no beat and tempo while playing: $(grep status "$WORK/osc.txt")"
oscsend localhost "$OSC" /vordel/piece si "1 2" "$REPLY"
wait_for "grep -q ' /vordel/refused s' '$WORK/osc.txt'" 10 || fail "no answer to a refused piece"
# The score of the piece that plays, a name in the files folder (made on first use), answered
# with the whole path; one that cannot be written, with why.
oscsend localhost "$OSC" /vordel/score si "piece.musicxml" "$REPLY"
wait_for "grep -q ' /vordel/saved s \"$WORK/files/piece.musicxml\"' '$WORK/osc.txt'" 20 || fail "no /vordel/saved"
xmllint --noout --nonet --schema "$SCHEMA" "$WORK/files/piece.musicxml" 2>/dev/null || fail "the score does not validate"
grep -q '<work-title>0 50 40 1 0</work-title>' "$WORK/files/piece.musicxml" || fail "not the playing piece's score"
oscsend localhost "$OSC" /vordel/score si "no/such/folder/piece.musicxml" "$REPLY"
wait_for "grep -q \" /vordel/refused s \\\"'no/such/folder/piece.musicxml' does not lead\" '$WORK/osc.txt'" 20 ||
  fail "an unwritable score was not refused"
oscsend localhost "$OSC" /vordel/volume i 300
oscsend localhost "$OSC" /vordel/nothing
wait_for "grep -q 'no address /vordel/nothing' '$WORK/main.out'" 10 || fail "unknown address not logged"

# 3. Standard input: stop, play.
say main 0
wait_for "grep -q ' /vordel/ended s \"stop\"' '$WORK/osc.txt'" 10 || fail "no /vordel/ended stop"
check_silent_end "$WORK/dump.txt" || fail "notes left sounding after 0"
before=$(notes_in "$WORK/dump.txt")
say main 1
wait_for "[ \$(notes_in '$WORK/dump.txt') -gt $before ]" 10 || fail "1 on standard input did not play"

# 4. A second instance: its own JACK names and the next OSC port.
start_vordel second --osc-port "$OSC"
grep -q "OSC: port $OSC is taken; listening on port $((OSC + 1))" "$WORK/second.out" ||
  fail "second instance: $(cat "$WORK/second.out")"
jack_lsp | grep -q "^vordel-2:vordel-2" || fail "second instance has no port of its own"
say second q
wait_exit "$second_PID" 20 || fail "second instance exit code"

# 5. The server dies during the playback and comes back: no spinning, the next playback sounds.
stop_jack
wait_exit "$DUMP_PID" 20  # the recorder ends with its server
sleep 1
t0=$(cpu_ticks "$main_PID")
sleep 3
used=$(( $(cpu_ticks "$main_PID") - t0 ))
[ "$used" -lt 150 ] || fail "spinning while the server is away ($used ticks in 3 s)"
wait_for "grep -q 'MOUT Error.' '$WORK/main.out'" 10 || fail "the output's error was not logged"
restart_jack
start_dump "$WORK/after.txt"
wait_for "jack_lsp 2>/dev/null | grep -q '^vordel:vordel'" 10 || fail "the port was not opened again"
wait_for "grep -q 'MIN OK / MOUT OK' '$WORK/main.out'" 10 || fail "no log line of the output's return"
jack_connect vordel:vordel midi-monitor:input 2>/dev/null
say main 0
sleep 0.2
say main 1
wait_for "[ \$(notes_in '$WORK/after.txt') -gt 5 ]" 10 || fail "the next playback did not sound"

# 6. SIGTERM during a playback: every note ends, All Notes Off, exit 0.
kill -TERM "$main_PID"
wait_exit "$main_PID" 20
RC=$?
[ "$RC" -eq 0 ] || fail "SIGTERM: exit $RC"
stop_dump
check_silent_end "$WORK/after.txt" || fail "SIGTERM left notes sounding"

# 7. SIGINT and SIGHUP likewise; "q" and /vordel/quit end the program.
for sig in INT HUP; do
  start_dump "$WORK/$sig.txt"
  start_vordel "v$sig" --osc-port "$OSC"
  say "v$sig" "0 50 40 1 0"
  wait_for "[ \$(notes_in '$WORK/$sig.txt') -gt 10 ]" 10 || fail "SIG$sig: no notes"
  eval "pid=\$v${sig}_PID"
  kill -"$sig" "$pid"
  wait_exit "$pid" 20 || fail "SIG$sig: exit code"
  stop_dump
  check_silent_end "$WORK/$sig.txt" || fail "SIG$sig left notes sounding"
done
start_dump "$WORK/quit.txt"
start_vordel quitter --osc-port "$OSC"
start=$(date +%s%N)
oscsend localhost "$OSC" /vordel/quit
wait_exit "$quitter_PID" 20 || fail "/vordel/quit: exit code"
echo "/vordel/quit ended the program in $(( ($(date +%s%N) - start) / 1000000 )) ms"
start_vordel stdinq --osc-port 0
start=$(date +%s%N)
say stdinq q
wait_exit "$stdinq_PID" 20 || fail "q: exit code"
echo "q ended the program in $(( ($(date +%s%N) - start) / 1000000 )) ms"
stop_dump

# 8. A parameter string on the command line plays at once, alone or going on with --endless; one
#    that makes no piece is said and nothing starts (exit 1).
for endless in "" "--endless"; do
  start_dump "$WORK/given$endless.txt"
  # shellcheck disable=SC2086
  start_vordel "given${endless#--}" --osc-port 0 $endless "0 50 40 1 0"
  wait_for "[ \$(notes_in '$WORK/given$endless.txt') -gt 10 ]" 10 || fail "vordel $endless 'STRING' did not play it"
  grep -q "\[Reproduce\] vordel-compose --clock [0-9]* --dump '0 50 40 1 0'" "$WORK/given${endless#--}.out" ||
    fail "not the string given"
  grep -q "'0 80 40 30 25 1 50 30 23 20'" "$WORK/given${endless#--}.out" && fail "the start-up piece was composed"
  say "given${endless#--}" q
  eval "wait_exit \$given${endless#--}_PID 20" || fail "vordel 'STRING': exit code"
  stop_dump
  check_silent_end "$WORK/given$endless.txt" || fail "vordel 'STRING' left notes sounding"
done
"$VORDEL" --headless "1 2" </dev/null >"$WORK/badgiven.out" 2>&1
[ $? -eq 1 ] && grep -q "holds 2 number(s)" "$WORK/badgiven.out" || fail "a string that makes no piece: $(cat "$WORK/badgiven.out")"
"$VORDEL" --headless 0 50 40 1 0 </dev/null >"$WORK/unquoted.out" 2>&1
[ $? -eq 2 ] && grep -q "as in vordel '0 50 40 1 0'" "$WORK/unquoted.out" || fail "unquoted: $(cat "$WORK/unquoted.out")"
grep -qi "queue limit" "$WORK"/*.out && fail "queue limit messages"
echo "ok: OSC, standard input, a second instance, the server's return and every signal"
