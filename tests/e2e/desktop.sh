#!/usr/bin/env bash
# End-to-end: the real vordel under Xvfb, driven through the clipboard by xclip and through OSC,
# playing into a JACK dummy server and its recorder. The window's state is read from the file it
# writes for tests (--state-file), the legend's colours are checked in a screenshot, and the
# screenshots are kept in ARTIFACTS for people to look at. Also: a large text left on the
# clipboard costs nothing while idle; SIGTERM and a lost X server end every note; under a
# Wayland session the window goes to XWayland and says so.
# Exit 77 (skipped) when Xvfb, xclip, JACK or liblo-tools are missing.
VORDEL=$1
source "$(dirname "$0")/lib/common.sh"
need Xvfb xclip jackd jack_lsp import convert xdotool oscsend oscdump xdpyinfo
ARTIFACTS=${ARTIFACTS:-$PWD/artifacts}
mkdir -p "$ARTIFACTS"
OSC=$((17000 + RANDOM % 500 * 2))
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }

start_x() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
  XVFB_PID=$!
  PIDS+=("$XVFB_PID")
  wait_for "[ -s '$WORK/display' ]" 10 || fail "Xvfb did not start"
  export DISPLAY=":$(cat "$WORK/display")"
  rm -f "$WORK/display"
}
copy() { printf '%s' "$1" | xclip -selection clipboard 2>/dev/null; }
state() { grep "^$1=" "$WORK/state" 2>/dev/null | cut -d= -f2-; }
start_vordel() {
  rm -f "$WORK/state"
  "$VORDEL" --output jack --port midi-monitor --osc-port "$OSC" --state-file "$WORK/state" "$@" \
    >"$WORK/vordel.out" 2>&1 &
  VORDEL_PID=$!
  PIDS+=("$VORDEL_PID")
  wait_for "[ -n \"\$(xdotool search --name '^MainFrame$' 2>/dev/null)\" ]" 20 || fail "no MainFrame window"
  WIN=$(xdotool search --name '^MainFrame$' | head -1)
  wait_for "[ \"\$(state mout)\" = 'MOUT OK' ]" 20 || fail "the window shows no output status"
}
notes_in() { grep -c ': 9' "$1"; }

start_x
start_jack 256
start_dump "$WORK/dump.txt"
copy ""
start_vordel
[ "$(notes_in "$WORK/dump.txt")" -eq 0 ] || fail "something was played before any command"
state counters | grep -q "^Total Object Count: 2. / Current object: 1." || fail "counters: $(state counters)"
[ "$(state notice)" = "Nothing plays." ] || fail "notice: $(state notice)"
[ "$(state min)" = "MIN OK" ] || fail "input status: $(state min)"
import -window "$WIN" "$ARTIFACTS/vordel-window.png" || fail "no screenshot"

# A parameter string: ensemble 0, then the piece plays; the window follows.
copy "0 50 40 1 0"
wait_for "[ \$(notes_in '$WORK/dump.txt') -gt 20 ]" 10 || fail "no notes after the parameter string"
messages "$WORK/dump.txt" | head -12 | awk '{print $1}' | tr '\n' ' ' |
  grep -q "^c0 b0 b0 c1 b1 b1 c2 b2 b2 c3 b3 b3 " || fail "ensemble 0 was not sent first"
grep -q "^\[Reproduce\] vordel-compose --clock [0-9]* --dump '0 50 40 1 0'" "$WORK/vordel.out" ||
  fail "no reproduce line"
wait_for "state notice | grep -q '^Playing object 1 of 1'" 5 || fail "notice while playing: $(state notice)"
wait_for "state timer | grep -q '^Timer OK (1)'" 5 || fail "timer status: $(state timer)"

# The piano roll: the four channel colours, in the notes and the legend.
import -window "$WIN" "$ARTIFACTS/vordel-piano-roll.png" || fail "no screenshot"
for colour in "rgb(200,60,40)" "rgb(40,120,200)" "rgb(60,160,60)" "rgb(170,90,190)"; do
  n=$(convert "$ARTIFACTS/vordel-piano-roll.png" -fill white +opaque "$colour" -fill black \
    -opaque "$colour" -colorspace gray -format '%[fx:round((1-mean)*w*h)]' info:)
  [ "$n" -gt 100 ] || fail "piano roll: only $n pixels of $colour"
done

# The clipboard's rules: "0" stops and the window says nothing plays; a string without a whole
# section is explained in the window (and the piece kept plays); "1" plays again.
copy "0"
wait_for "[ \"\$(state notice)\" = 'Nothing plays.' ]" 5 || fail "notice after 0: $(state notice)"
sleep 0.3
check_silent_end "$WORK/dump.txt" || fail "notes left sounding after 0"
copy "12 13"
wait_for "state notice | grep -q 'not one complete group of five'" 5 ||
  fail "a refused string is not explained: $(state notice)"
copy "0"
wait_for "[ \"\$(state playing)\" = 0 ]" 5 || fail "0 did not stop"
# Anything else copied anywhere on the desktop commands nothing: a URL, a word, a sentence.
for text in "https://example.org/piece?id=3" "hello" "Meeting moved to Tuesday at ten"; do
  copy "$text"
  wait_for "grep -q 'clipboard: \"$text\" is not a parameter string' '$WORK/vordel.out'" 5 ||
    fail "'$text' was not said to be ignored"
  sleep 0.3
  [ "$(state playing)" = 0 ] || fail "'$text' started a playback"
done
[ "$(grep -c 'Meeting moved to Tuesday' "$WORK/vordel.out")" -eq 1 ] || fail "the sentence was said more than once"
grep -q "'0 0 0 0 0" "$WORK/vordel.out" && fail "a sentence was composed"
copy "1"
before=$(notes_in "$WORK/dump.txt")
wait_for "[ \$(notes_in '$WORK/dump.txt') -gt $before ]" 10 || fail "1 did not play again"

# OSC into the window: a piece and a stop (with nothing left on the clipboard to play again).
copy "x"
oscsend localhost "$OSC" /vordel/piece s "3 50 40 50 10"
wait_for "state counters | grep -q '^Total Object Count: 1.'" 10 || fail "OSC piece not taken"
oscsend localhost "$OSC" /vordel/stop
wait_for "[ \"\$(state playing)\" = 0 ]" 5 || fail "OSC stop"

# A megabyte left on the clipboard costs nothing while nothing happens: taken once (it holds no
# whole section, so the piece is kept and plays), stopped through OSC, then left there.
head -c 1000000 /dev/zero | tr '\0' '7' | xclip -selection clipboard 2>/dev/null
wait_for "[ \"\$(state playing)\" = 1 ]" 5 || fail "the large text was not taken"
oscsend localhost "$OSC" /vordel/stop
wait_for "[ \"\$(state playing)\" = 0 ]" 5 || fail "OSC stop after the large text"
sleep 1
t0=$(cpu_ticks "$VORDEL_PID")
sleep 10
used=$(( $(cpu_ticks "$VORDEL_PID") - t0 ))
echo "CPU over ten idle seconds with a megabyte on the clipboard: $used ticks"
[ "$used" -lt 100 ] || fail "the clipboard poll costs $used ticks in 10 s"
[ "$(state playing)" = 0 ] || fail "the large text was taken again"

# SIGTERM during a playback: every note ends, All Notes Off, exit 0.
oscsend localhost "$OSC" /vordel/play
wait_for "[ \"\$(state playing)\" = 1 ]" 5 || fail "no playback before SIGTERM"
sleep 0.5
kill -TERM "$VORDEL_PID"
wait "$VORDEL_PID"
RC=$?
[ "$RC" -eq 0 ] || fail "SIGTERM: exit $RC"
stop_dump
check_silent_end "$WORK/dump.txt" || fail "SIGTERM left notes sounding"

# Under a Wayland session with XWayland the window runs on X and says so. A "q" left on the
# clipboard by an earlier run is no command: it is said and ignored. A "q" copied now ends the
# program at once, and OSC subscribers hear that the playback ended for "quit".
start_dump "$WORK/dump2.txt"
copy "q"
WAYLAND_DISPLAY=wayland-test start_vordel
grep -q "runs on XWayland" "$WORK/vordel.out" || fail "no XWayland line: $(cat "$WORK/vordel.out")"
wait_for "grep -q '\"q\" was there before the start and is ignored' '$WORK/vordel.out'" 10 ||
  fail "the q found at the start was not said: $(cat "$WORK/vordel.out")"
kill -0 "$VORDEL_PID" 2>/dev/null || fail "a q left on the clipboard ended the program"
REPLY=$((OSC + 1000))
oscdump -L "$REPLY" >"$WORK/osc.txt" 2>&1 &
PIDS+=("$!")
sleep 0.3
oscsend localhost "$OSC" /vordel/subscribe i "$REPLY"
copy "1"
wait_for "grep -q ' /vordel/started' '$WORK/osc.txt'" 10 || fail "no /vordel/started"
wait_for "[ \$(notes_in '$WORK/dump2.txt') -gt 5 ]" 10 || fail "1 on the clipboard did not play"
start=$(date +%s%N)
copy "q"
wait "$VORDEL_PID"
RC=$?
echo "q ended the program in $(( ($(date +%s%N) - start) / 1000000 )) ms"
[ "$RC" -eq 0 ] || fail "exit code $RC after q"
wait_for "grep -q ' /vordel/ended s \"quit\"' '$WORK/osc.txt'" 5 ||
  fail "subscribers were not told of the quit: $(cat "$WORK/osc.txt")"
stop_dump
check_silent_end "$WORK/dump2.txt" || fail "q left notes sounding"

# A Wayland session whose DISPLAY is not set (a service): XWayland is found on its socket.
start_dump "$WORK/dump-wayland.txt"
rm -f "$WORK/state"
env -u DISPLAY WAYLAND_DISPLAY=wayland-test "$VORDEL" --output jack --port midi-monitor \
  --osc-port "$OSC" --state-file "$WORK/state" >"$WORK/vordel.out" 2>&1 &
VORDEL_PID=$!
PIDS+=("$VORDEL_PID")
wait_for "[ \"\$(state mout)\" = 'MOUT OK' ]" 20 || fail "no window without DISPLAY: $(cat "$WORK/vordel.out")"
grep -q "runs on XWayland (DISPLAY :[0-9]*, found on its local socket)" "$WORK/vordel.out" ||
  fail "no line about the XWayland found: $(cat "$WORK/vordel.out")"
oscsend localhost "$OSC" /vordel/quit
wait "$VORDEL_PID" || fail "exit code after running on the XWayland found"
stop_dump

# The X server goes away during a playback: the notes still end.
start_dump "$WORK/dump3.txt"
start_vordel
copy "1"
wait_for "[ \$(notes_in '$WORK/dump3.txt') -gt 5 ]" 10 || fail "no playback before the X server went"
kill "$XVFB_PID"
wait "$VORDEL_PID"
code=$?
[ "$code" = 1 ] || fail "after losing its X server vordel exited with $code, not 1"
stop_dump
check_silent_end "$WORK/dump3.txt" || fail "a lost X server left notes sounding"

# Wayland without any X server and without Wayland support for the window: one line and exit 2,
# never an abort. (Only when no other X server of this machine answers.)
others=0
for sock in /tmp/.X11-unix/X*; do
  [ -S "$sock" ] && xdpyinfo -display ":${sock##*/X}" >/dev/null 2>&1 && others=1
done
if [ "$others" = 0 ]; then
  env -u DISPLAY WAYLAND_DISPLAY=wayland-test "$VORDEL" >"$WORK/nowayland.out" 2>&1
  RC=$?
  [ "$RC" -eq 2 ] || fail "Wayland without XWayland: exit $RC: $(cat "$WORK/nowayland.out")"
  grep -q "no XWayland found" "$WORK/nowayland.out" || fail "no reason: $(cat "$WORK/nowayland.out")"
else
  echo "skipped Wayland without any X server: another X server of this machine answers"
fi
echo "ok: clipboard, OSC, state and colours, idle cost, SIGTERM, XWayland, q and a lost display"
