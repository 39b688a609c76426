#!/usr/bin/env bash
# End-to-end: the window as a composer works in it, under Xvfb and driven by the keyboard with
# xdotool: Ctrl+L, a string typed and Enter play it (the recorder hears it) and the field
# explains its warning; Esc, then Space stops and Space plays; a stop on the clipboard shows in
# the notice and the buttons; the window made larger gives the piano roll the room; the history
# plays a piece again note for note; a second start, at twice the scale, lists the journal's
# pieces.
# Exit 77 (skipped) when Xvfb, xclip, xdotool or JACK are missing.
VORDEL=$1
source "$(dirname "$0")/lib/common.sh"
need Xvfb xclip jackd jack_lsp xdotool import convert
ARTIFACTS=${ARTIFACTS:-$PWD/artifacts}
mkdir -p "$ARTIFACTS"

Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
PIDS+=("$!")
wait_for "[ -s '$WORK/display' ]" 10 || fail "Xvfb did not start"
export DISPLAY=":$(cat "$WORK/display")"
copy() { printf '%s' "$1" | xclip -selection clipboard 2>/dev/null; }
state() { grep "^$1=" "$WORK/window.state" 2>/dev/null | cut -d= -f2-; }
# Keys go to the window that has the keyboard, as a person's would (there is no window manager
# to give it: the window is given it before each group of keys).
keys() { xdotool windowfocus --sync "$WIN" 2>/dev/null; xdotool key --delay 30 "$@"; }
type_text() { xdotool type --delay 20 "$1"; }
notes_in() { grep -c ': 9[0-3] [0-9a-f]* [1-9a-f]' "$1"; }
# play_through KEYS OUT: presses KEYS, waits for the playback they start to end, and writes the
# Note On and Off messages the recorder heard meanwhile into OUT.
play_through() {
  local first last
  first=$(wc -l <"$WORK/dump.txt")
  keys $1
  wait_for "[ \"\$(state playing)\" = 1 ]" 10 || fail "$1 did not play"
  wait_for "[ \"\$(state playing)\" = 0 ]" 60 || fail "the piece $1 played did not end"
  sleep 0.3
  last=$(wc -l <"$WORK/dump.txt")
  sed -n "$((first + 1)),${last}p" "$WORK/dump.txt" | messages /dev/stdin | grep '^9' >"$2"
}
start_vordel() {
  rm -f "$WORK/window.state"
  "$VORDEL" --show --output jack --port midi-monitor --osc-port 0 --state-file "$WORK/window.state" \
    >"$WORK/vordel$1.out" 2>&1 &
  VORDEL_PID=$!
  PIDS+=("$VORDEL_PID")
  wait_for "[ -n \"\$(xdotool search --name '^MainFrame$' 2>/dev/null)\" ]" 20 || fail "no MainFrame window"
  WIN=$(xdotool search --name '^MainFrame$' | head -1)
  wait_for "[ \"\$(state mout)\" = 'MOUT OK' ]" 20 || fail "the window shows no output status"
  wait_for "xdotool getwindowgeometry '$WIN' | grep -Eq 'Geometry: [0-9]{3,}x[0-9]{3,}'" 10 ||
    fail "--show did not open the window at its size"
}

start_jack 256
start_dump "$WORK/dump.txt"
copy ""
start_vordel 1
state mout_words | grep -q "^Output: JACK port vordel:vordel -> midi-monitor:input" ||
  fail "the status bar does not say the output in words: $(state mout_words)"
[ "$(state min_words)" != "" ] || fail "the MIDI input is not said in words"
state readable | grep -q "^2 sections, [0-9]:[0-5][0-9]$" || fail "counters: $(state readable)"

# Ctrl+L, a string with a number too many, Enter: it plays, and the field says what is left over.
keys ctrl+l
wait_for "[ \"\$(state field_focus)\" = 1 ]" 5 || fail "Ctrl+L did not put the cursor in the field"
type_text "0 50 40 1 0 9"
wait_for "state field_warnings | grep -q 'after the last complete group of five are not used: 9'" 5 ||
  fail "the field does not explain its warning: $(state field_warnings)"
keys Return
wait_for "[ \$(notes_in '$WORK/dump.txt') -gt 10 ]" 10 || fail "Enter in the field played nothing"
wait_for "[ \"\$(state playing)\" = 1 ] && [ \"\$(state stop_enabled)\" = 1 ] && [ \"\$(state play_enabled)\" = 0 ]" 5 ||
  fail "the buttons do not follow the playback"
state readable | grep -q "^1 section, [0-9]:[0-5][0-9]; section 1 at " || fail "counters: $(state readable)"
import -window "$WIN" "$ARTIFACTS/vordel-window-playing.png" || fail "no screenshot"

# Esc leaves the field; Space stops, and Space plays the piece again from its start.
keys Escape
wait_for "[ \"\$(state field_focus)\" = 0 ]" 5 || fail "Esc did not leave the field"
keys space
wait_for "[ \"\$(state playing)\" = 0 ] && state notice | grep -q '^Nothing plays\.'" 5 ||
  fail "Space did not stop: $(state notice)"
sleep 0.3
check_silent_end "$WORK/dump.txt" || fail "notes left sounding after Space"
play_through space "$WORK/heard1"
[ "$(wc -l <"$WORK/heard1")" -gt 10 ] || fail "the playback after Space was not heard"

# A stop on the clipboard while it plays: the notice, the playhead and the buttons follow.
keys space
wait_for "[ \"\$(state playing)\" = 1 ]" 5 || fail "Space did not play again"
copy "0"
wait_for "[ \"\$(state playing)\" = 0 ] && state notice | grep -q '^Nothing plays\.' && [ \"\$(state play_enabled)\" = 1 ]" 5 ||
  fail "the window did not follow the clipboard's stop: $(state notice)"
state readable | grep -q "at " && fail "the counters still show a playhead: $(state readable)"

# The window made larger gives the roll the room.
xdotool windowsize --sync "$WIN" 1600 1000
wait_for "[ \"\$(state roll | cut -dx -f1)\" -ge 1500 ] && [ \"\$(state roll | cut -dx -f2)\" -ge 600 ]" 10 ||
  fail "the roll did not grow with the window: $(state roll)"
echo "the roll at 1600 x 1000: $(state roll)"
keys ctrl+l
type_text "0 60 40 10 15"
keys Return
wait_for "[ \"\$(state playing)\" = 1 ]" 10 || fail "the second string did not play"
sleep 1
import -window "$WIN" "$ARTIFACTS/vordel-window-1600x1000.png" || fail "no screenshot"
size=$(identify -format '%wx%h' "$ARTIFACTS/vordel-window-1600x1000.png")
[ "$size" = "1600x1000" ] || fail "the screenshot is $size"
keys Escape space
wait_for "[ \"\$(state playing)\" = 0 ]" 5 || fail "Space did not stop the second piece"

# The history: the first string's piece (the one but last made in this session) again, exactly;
# each choice goes to the field at once.
keys ctrl+h End
keys ctrl+h Up
wait_for "[ \"\$(state field_focus)\" = 1 ]" 5 || fail "the history did not fill the field"
sleep 0.2
play_through Return "$WORK/heard2"
cmp -s "$WORK/heard1" "$WORK/heard2" ||
  fail "the history did not play the piece again note for note ($(wc -l <"$WORK/heard1") and $(wc -l <"$WORK/heard2") notes)"
grep -q "window: " "$WORK/vordel1.out" || true

# Export from the File menu with the keyboard: a MIDI file, then a rendering given up with
# Cancel (Esc), which leaves nothing behind.
keys alt+f m
wait_for "xdotool search --name '^Save MIDI file$' >/dev/null 2>&1" 10 || fail "no Save MIDI dialog"
sleep 0.3
type_text "$WORK/piece"
xdotool key Return
wait_for "[ -s '$WORK/piece.mid' ]" 10 || fail "Save MIDI wrote no piece.mid"
[ "$(head -c 4 "$WORK/piece.mid")" = MThd ] || fail "piece.mid is not a MIDI file"
keys ctrl+l
type_text "0 40 30 60 100 3 50 20 40 100 4 60 20 40 100 1 70 40 20 60 2 30 45 10 60"
keys Return
wait_for "[ \"\$(state playing)\" = 1 ]" 20 || fail "the long piece did not play"
keys Escape space
keys alt+f r
wait_for "xdotool search --name '^Render audio$' >/dev/null 2>&1" 10 || fail "no Render dialog"
sleep 0.3
type_text "$WORK/long.wav"
xdotool key Return
# The progress dialog has the keyboard while the long piece renders (seconds, for twelve minutes
# of audio in two passes).
wait_for "xdotool search --name '^Rendering$' >/dev/null 2>&1" 10 || fail "no progress dialog"
xdotool key Escape
wait_for "grep -q 'window: the rendering was cancelled' '$WORK/vordel1.out'" 60 ||
  fail "the rendering was not cancelled"
[ -z "$(ls "$WORK" | grep long)" ] || fail "a cancelled rendering left $(ls "$WORK" | grep long)"

# Quit; a second start lists the journal's pieces after the examples and its own start-up piece.
kill -TERM "$VORDEL_PID"
wait_exit "$VORDEL_PID" 10
journal=$(wc -l <"$XDG_STATE_HOME/vordel/played.log")
[ "$journal" -ge 4 ] || fail "the journal holds $journal lines"
# At twice the scale, as on a screen of high density: the window and its text grow with it.
QT_SCALE_FACTOR=2 start_vordel 2
wait_for "[ \"\$(state history)\" -ge $((4 + journal)) ]" 10 ||
  fail "the history does not list the journal: $(state history) items, $journal journal lines"
width=$(xdotool getwindowgeometry "$WIN" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
[ "$width" -ge 1800 ] || fail "at twice the scale the window is $width pixels wide"
import -window "$WIN" "$ARTIFACTS/vordel-window-2x.png" || fail "no screenshot"
kill -TERM "$VORDEL_PID"
wait_exit "$VORDEL_PID" 10
stop_dump
check_silent_end "$WORK/dump.txt" || fail "notes left sounding at the end"
echo "window: ok"
