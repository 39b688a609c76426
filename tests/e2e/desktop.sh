#!/usr/bin/env bash
# End-to-end: the real vordel under Xvfb, driven through the clipboard by xclip, playing into a
# JACK dummy server recorded by jack_midi_dump. A parameter string is taken and played, "0"
# stops, "1" plays again, "q" ends the program with exit code 0. A screenshot of the window is
# checked for the line of counters and kept in ARTIFACTS (default: ./artifacts).
# Exit 77 (skipped) when Xvfb, xclip or JACK are missing.
set -u
VORDEL=$1
ARTIFACTS=${ARTIFACTS:-$PWD/artifacts}
for tool in Xvfb xclip jackd jack_midi_dump import xdotool; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done
mkdir -p "$ARTIFACTS"
WORK=$(mktemp -d)
export JACK_DEFAULT_SERVER="vordel-desk-$$"
export JACK_NO_START_SERVER=1
cleanup() {
  for pid in ${VORDEL_PID:-} ${DUMP_PID:-} ${JACK_PID:-} ${XVFB_PID:-}; do kill "$pid" 2>/dev/null; done
  pkill -f "xclip -selection clipboard" -P $$ 2>/dev/null
  wait 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  echo "--- vordel output"; cat "$WORK/vordel.out" 2>/dev/null | tail -20
  exit 1
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 50); do [ -s "$WORK/display" ] && break; sleep 0.1; done
[ -s "$WORK/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$WORK/display")"

jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 256 >"$WORK/jackd.log" 2>&1 &
JACK_PID=$!
for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
jack_midi_dump -a >"$WORK/dump.txt" 2>/dev/null &
DUMP_PID=$!
for _ in $(seq 50); do jack_lsp 2>/dev/null | grep -q midi-monitor && break; sleep 0.1; done
jack_lsp 2>/dev/null | grep -q midi-monitor || fail "jack_midi_dump did not register"

copy() { printf '%s' "$1" | xclip -selection clipboard 2>/dev/null; }
messages() { wc -l <"$WORK/dump.txt"; }

"$VORDEL" --output port --port midi-monitor >"$WORK/vordel.out" 2>&1 &
VORDEL_PID=$!
WIN=
for _ in $(seq 100); do
  WIN=$(xdotool search --name '^MainFrame$' 2>/dev/null | head -1)
  [ -n "$WIN" ] && break
  sleep 0.1
done
[ -n "$WIN" ] || fail "no MainFrame window"
sleep 0.5
[ "$(messages)" -eq 0 ] || fail "something was sent before any command"

# The window and its line of counters.
import -window "$WIN" "$ARTIFACTS/vordel-window.png" || fail "no screenshot"
if command -v tesseract >/dev/null; then
  tesseract "$ARTIFACTS/vordel-window.png" "$WORK/ocr" >/dev/null 2>&1
  grep -q "Total Object Count: 2. / Current object: 1." "$WORK/ocr.txt" ||
    fail "counters not readable in the screenshot: $(cat "$WORK/ocr.txt")"
  grep -qi "MOUT OK" "$WORK/ocr.txt" || fail "status bar: $(cat "$WORK/ocr.txt")"
else
  # Without OCR: the counters' line must have drawn dark pixels at the top of the client area.
  dark=$(convert "$ARTIFACTS/vordel-window.png" -crop 600x22+0+22 -colorspace gray -threshold 50% \
    -format '%[fx:(1-mean)*w*h]' info:)
  [ "${dark%.*}" -gt 200 ] || fail "no text in the screenshot ($dark dark pixels)"
fi

# A parameter string: ensemble 0, then the piece plays.
copy "0 50 40 1 0"
sleep 1.5
awk '{print $2}' "$WORK/dump.txt" | head -12 | tr '\n' ' ' | grep -q "^c0 b0 b0 c1 b1 b1 c2 b2 b2 c3 b3 b3 " ||
  fail "ensemble 0 was not sent first: $(head -12 "$WORK/dump.txt")"
grep -q "note on" "$WORK/dump.txt" || fail "no notes after the parameter string"
grep -q "Playing from object: 1 / TotTime" "$WORK/vordel.out" || fail "no position line"
grep -q "^\[Reproduce\] vordel-compose --clock [0-9]* --dump '0 50 40 1 0'" "$WORK/vordel.out" ||
  fail "no reproduce line"

# The piano roll under the counters: notes in the four channel colours.
import -window "$WIN" "$ARTIFACTS/vordel-piano-roll.png" || fail "no screenshot"
for colour in "rgb(200,60,40)" "rgb(40,120,200)" "rgb(60,160,60)" "rgb(170,90,190)"; do
  n=$(convert "$ARTIFACTS/vordel-piano-roll.png" -fill white +opaque "$colour" -fill black -opaque "$colour" \
    -colorspace gray -format '%[fx:round((1-mean)*w*h)]' info:)
  [ "$n" -gt 30 ] || fail "piano roll: only $n pixels of $colour"
done

# "0" stops: the last messages are All Notes Off, and nothing sounds afterwards.
copy "0"
sleep 0.6
tail -16 "$WORK/dump.txt" | grep -c "controller 123" | grep -qx 16 || fail "no All Notes Off after 0"
stopped=$(messages)
sleep 0.5
[ "$(messages)" -eq "$stopped" ] || fail "notes after the stop"

# "1" plays again.
copy "1"
sleep 1
[ "$(messages)" -gt "$stopped" ] || fail "1 did not play again"
tail -n +"$((stopped + 1))" "$WORK/dump.txt" | grep -q "note on" || fail "no notes after 1"

# "q" quits at once, without a question, with exit code 0.
copy "q"
for _ in $(seq 60); do kill -0 "$VORDEL_PID" 2>/dev/null || break; sleep 0.05; done
kill -0 "$VORDEL_PID" 2>/dev/null && fail "vordel still runs after q"
wait "$VORDEL_PID"
RC=$?
VORDEL_PID=
[ "$RC" -eq 0 ] || fail "exit code $RC after q"
sleep 0.3
awk '{s=substr($2,1,1); k=substr($2,2,1) ":" $3; if (s=="9" && $4!="00") on[k]++; else if (s=="8" || s=="9") on[k]--}
     END {for (k in on) if (on[k] > 0) {print "still sounding " k; exit 1}}' "$WORK/dump.txt" ||
  fail "hanging notes"
echo "ok: $(messages) MIDI messages; screenshot in $ARTIFACTS/vordel-window.png"
