#!/usr/bin/env bash
# End-to-end: vordel-compose --midi and --render checked by independent readers. midicsv must
# give back every note at its time, fluidsynth must play the exported file, the rendered WAV must
# be as long as fluidsynth's rendering of that file with its peak at -1 dBFS (sox), and a .flac
# name gives FLAC.
# Exit 77 (skipped) when the readers are missing.
set -u
COMPOSE=$1
for tool in midicsv fluidsynth sox soxi xmllint mscore3; do command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }; done
SOUNDFONT=/usr/share/sounds/sf2/TimGM6mb.sf2
[ -f "$SOUNDFONT" ] || { echo "no soundfont"; exit 77; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

PIECE="0 50 40 1 0 3 60 60 1 0"
"$COMPOSE" --clock 7 --midi "$WORK/p.mid" --wav "$WORK/p.wav" "$PIECE" >"$WORK/out.txt" 2>&1 ||
  fail "export exited $?: $(cat "$WORK/out.txt")"
"$COMPOSE" --clock 7 --dump "$PIECE" | grep '^>EV' | sed 's/>EV//' >"$WORK/events.csv"

# Every note, as midicsv reads it back: channel, time, key (channels 3 and 4 an octave lower),
# on or off; compared with the dump, channel by channel, in order.
midicsv "$WORK/p.mid" >"$WORK/p.csv" || fail "midicsv cannot read the file"
grep -q "Header, 1, 5, 500" "$WORK/p.csv" || fail "header: $(head -1 "$WORK/p.csv")"
awk -F', ' '$3=="Note_on_c" || $3=="Note_off_c" {
  kind = ($3=="Note_on_c" && $6 != 0) ? "on" : "off"; print $4 + 1, $2, $5, kind }' "$WORK/p.csv" |
  sort -s -n -k1,1 >"$WORK/from_file.txt"
# The piece's events are in time order here, so the player's ticks are their times.
awk -F, '{ key = ($1 < 3) ? $2 : $2 - 12; kind = ($3 != 0) ? "on" : "off"; print $1, $4, key, kind }' \
  "$WORK/events.csv" | sort -s -n -k1,1 >"$WORK/from_dump.txt"
[ "$(wc -l <"$WORK/from_dump.txt")" -gt 100 ] || fail "too few events"
diff -q "$WORK/from_file.txt" "$WORK/from_dump.txt" >/dev/null ||
  fail "notes differ: $(diff "$WORK/from_file.txt" "$WORK/from_dump.txt" | head -5)"
for prog in "0, 60" "1, 71" "2, 68" "3, 45"; do
  grep -q "Program_c, $prog" "$WORK/p.csv" || fail "program $prog missing"
done

# fluidsynth plays the exported file.
fluidsynth -ni -q -F "$WORK/f.wav" -r 44100 "$SOUNDFONT" "$WORK/p.mid" >/dev/null 2>&1 ||
  fail "fluidsynth could not play the file"

# The rendering: 16-bit stereo at 44.1 kHz, as long as fluidsynth's, and not silent.
[ "$(soxi -c "$WORK/p.wav")" = 2 ] && [ "$(soxi -r "$WORK/p.wav")" = 44100 ] && [ "$(soxi -b "$WORK/p.wav")" = 16 ] ||
  fail "format: $(soxi "$WORK/p.wav")"
ours=$(soxi -s "$WORK/p.wav")
theirs=$(soxi -s "$WORK/f.wav")
diff_frames=$((ours > theirs ? ours - theirs : theirs - ours))
[ "$diff_frames" -le 128 ] || fail "length $ours frames, fluidsynth $theirs"
peak_db() {
  sox "$1" -n stat 2>&1 | awk '/Maximum amplitude/ {mx = $3} /Minimum amplitude/ {mn = -$3}
    END {p = mx > mn ? mx : mn; if (p <= 0) print "-inf"; else printf "%.3f\n", 20 * log(p) / log(10)}'
}
peak=$(peak_db "$WORK/p.wav")
awk -v p="$peak" 'BEGIN {exit !(p > -1.1 && p < -0.9)}' || fail "peak $peak dBFS, not -1"
grep -q "peak -1.0 dBFS, loudness -[0-9.]* LUFS" "$WORK/out.txt" || fail "summary: $(cat "$WORK/out.txt")"
"$COMPOSE" --clock 7 --render "$WORK/q.flac" --gain -12 "$PIECE" >/dev/null 2>&1 || fail "flac render"
[ "$(soxi -t "$WORK/q.flac")" = flac ] || fail "not FLAC: $(soxi -t "$WORK/q.flac")"
flac_peak=$(peak_db "$WORK/q.flac")
awk -v p="$flac_peak" 'BEGIN {exit !(p < -1.5)}' || fail "a fixed gain still normalised ($flac_peak dBFS)"
total_ms=$("$COMPOSE" --clock 7 --dump "$PIECE" | awk '/^total/ {print $2}')
awk -v f="$ours" -v t="$total_ms" 'BEGIN {exit !(f / 44100.0 > t / 1000.0 + 2.0)}' ||
  fail "rendering shorter than the piece plus its close"

# The score: valid MusicXML 4.0 in 3/4, one part per channel, the command that writes it again in
# the footer; an existing score that cannot be replaced keeps its content.
SCHEMA=$(dirname "$0")/../export/musicxml-4.0/musicxml.xsd
"$COMPOSE" --clock 7 --score "$WORK/p.musicxml" --time-signature 3/4 "$PIECE" >/dev/null 2>&1 || fail "score"
xmllint --noout --nonet --schema "$SCHEMA" "$WORK/p.musicxml" 2>"$WORK/err.txt" ||
  fail "the score does not validate: $(head -3 "$WORK/err.txt")"
[ "$(grep -c '<score-part ' "$WORK/p.musicxml")" = 4 ] || fail "not four parts"
grep -q "<beats>3</beats>" "$WORK/p.musicxml" || fail "no 3/4"
grep -q "<rights>Made again with: vordel-compose --clock 7 --time-signature 3/4 --score 'p.musicxml' '$PIECE'</rights>" "$WORK/p.musicxml" ||
  fail "no command in the footer: $(grep rights "$WORK/p.musicxml")"

# MuseScore opens the scores of a few pieces (a dense one in 3/4 on thirty-seconds, one below C0
# in 7/8, the start-up piece, a wide one) without a word of trouble, and prints them.
for piece in "0|4/4|16|0 80 40 30 25 1 50 30 23 20" "0|3/4|32|3 50 40 50 80 2 70 30 5 60 4 40 100 99 60" \
  "0|7/8|16|0 20 127 1 60 5 100 1 99 60" "0|4/4|16|0 10 40 30 15 0 95 40 30 15"; do
  IFS='|' read -r clock meter grid string <<<"$piece"
  "$COMPOSE" --clock "$clock" --time-signature "$meter" --grid "$grid" --score "$WORK/m.musicxml" "$string" \
    >/dev/null 2>&1 || fail "score of '$string'"
  mkdir -p "$WORK/home" "$WORK/run"
  HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/run" QT_QPA_PLATFORM=offscreen \
    mscore3 -o "$WORK/m.pdf" "$WORK/m.musicxml" >"$WORK/mscore.txt" 2>&1 || fail "MuseScore could not print '$string'"
  [ -s "$WORK/m.pdf" ] || fail "no PDF of '$string'"
  ! grep -i -E "error|cannot|invalid|fail|already started|not stopped|no tuplet started" "$WORK/mscore.txt" ||
    fail "MuseScore on '$string'"
  rm -f "$WORK/m.pdf"
done
"$COMPOSE" --score "$WORK/p.musicxml" --time-signature 3 "$PIECE" >/dev/null 2>"$WORK/err.txt"
[ $? -eq 2 ] && grep -q "time-signature" "$WORK/err.txt" || fail "a wrong time signature: $(cat "$WORK/err.txt")"
"$COMPOSE" --score /nonexistent-dir/x.musicxml "$PIECE" >/dev/null 2>"$WORK/err.txt"
[ $? -eq 1 ] && grep -q "cannot write /nonexistent-dir/x.musicxml" "$WORK/err.txt" || fail "unwritable score"
ls -a "$WORK" | grep -q partial && fail "a partial file was left"

# Errors: an unwritable file, and options that do not go together.
"$COMPOSE" --wav /nonexistent-dir/x.wav "$PIECE" >/dev/null 2>"$WORK/err.txt"
[ $? -eq 1 ] && grep -q "cannot write /nonexistent-dir/x.wav" "$WORK/err.txt" || fail "unwritable wav: $(cat "$WORK/err.txt")"
"$COMPOSE" --midi /nonexistent-dir/x.mid "$PIECE" >/dev/null 2>"$WORK/err.txt"
[ $? -eq 1 ] && grep -q "cannot write /nonexistent-dir/x.mid" "$WORK/err.txt" || fail "unwritable midi"
"$COMPOSE" --midi >/dev/null 2>&1; [ $? -eq 2 ] || fail "--midi without a file"
# Each export writes only a file named for its kind: another file of that name is left alone.
echo "a pdf" >"$WORK/keep.pdf"
echo "a flac" >"$WORK/keep.flac"
"$COMPOSE" --score "$WORK/keep.pdf" "$PIECE" >/dev/null 2>"$WORK/err.txt"
[ $? -eq 2 ] && grep -q "a score is saved to a .musicxml or .xml file" "$WORK/err.txt" ||
  fail "--score over a PDF: $(cat "$WORK/err.txt")"
"$COMPOSE" --midi "$WORK/keep.flac" "$PIECE" >/dev/null 2>"$WORK/err.txt"
[ $? -eq 2 ] && grep -q "a Standard MIDI File is saved to a .mid or .midi file" "$WORK/err.txt" ||
  fail "--midi over a FLAC: $(cat "$WORK/err.txt")"
[ "$(cat "$WORK/keep.pdf")" = "a pdf" ] && [ "$(cat "$WORK/keep.flac")" = "a flac" ] || fail "a file was replaced"
# Values are read whole and within their range.
for bad in "--score x.xml --time-signature 4/4/4" "--score x.xml --time-signature 4294967300/4" \
  "--score x.xml --grid 16x" "--render x.wav --gain=" "--render x.wav --gain 0x10" \
  "--render x.wav --gain 1e1"; do
  # shellcheck disable=SC2086
  (cd "$WORK" && "$COMPOSE" $bad "$PIECE" >/dev/null 2>"$WORK/err.txt")
  [ $? -eq 2 ] || fail "$bad was taken: $(cat "$WORK/err.txt")"
done
"$COMPOSE" --play --wav x.wav "$PIECE" >/dev/null 2>&1; [ $? -eq 2 ] || fail "--play with --wav"
"$COMPOSE" --render x.wav --soundfont /nonexistent.sf2 "$PIECE" >/dev/null 2>"$WORK/err.txt"
[ $? -eq 2 ] && grep -q "cannot read the soundfont" "$WORK/err.txt" || fail "missing soundfont"
echo "ok: $(wc -l <"$WORK/from_dump.txt") notes read back; WAV $ours frames at $peak dBFS, fluidsynth $theirs"
