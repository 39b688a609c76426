#!/usr/bin/env bash
# Renders one piece to WAV twice, side by side: vordel-compose --render (one pass, at a fixed
# gain, like fluidsynth) and fluidsynth -F on the MIDI file vordel-compose exports, with the same
# soundfont. Ends with one summary line:
#   render vordel_s=X fluidsynth_s=X ratio=X length_vordel_s=X length_fluidsynth_s=X
# usage: bench/render.sh [path/to/vordel-compose] ["PARAMETER STRING"]
set -euo pipefail
COMPOSE=${1:-build/vordel-compose}
PIECE=${2:-0 80 40 30 25 1 50 30 23 20 3 60 60 40 60 4 50 45 30 40}
SOUNDFONT=${VORDEL_SOUNDFONT:-/usr/share/sounds/sf2/TimGM6mb.sf2}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

now() { date +%s.%N; }
"$COMPOSE" --clock 0 --midi "$WORK/piece.mid" "$PIECE" >/dev/null

best_vordel=
best_fluid=
for _ in 1 2 3; do
  t0=$(now)
  VORDEL_SOUNDFONT="$SOUNDFONT" "$COMPOSE" --clock 0 --render "$WORK/vordel.wav" --gain 0 "$PIECE" >/dev/null 2>&1
  t1=$(now)
  fluidsynth -ni -q -F "$WORK/fluidsynth.wav" -r 44100 "$SOUNDFONT" "$WORK/piece.mid" >/dev/null 2>&1
  t2=$(now)
  v=$(echo "$t1 - $t0" | bc -l)
  f=$(echo "$t2 - $t1" | bc -l)
  if [ -z "$best_vordel" ] || [ "$(echo "$v < $best_vordel" | bc -l)" = 1 ]; then best_vordel=$v; fi
  if [ -z "$best_fluid" ] || [ "$(echo "$f < $best_fluid" | bc -l)" = 1 ]; then best_fluid=$f; fi
done
len_v=$(soxi -D "$WORK/vordel.wav")
len_f=$(soxi -D "$WORK/fluidsynth.wav")
echo "piece: $PIECE"
echo "music: $(soxi -d "$WORK/vordel.wav") (vordel), $(soxi -d "$WORK/fluidsynth.wav") (fluidsynth); best of 3 runs"
printf 'render vordel_s=%.3f fluidsynth_s=%.3f ratio=%.2f length_vordel_s=%.3f length_fluidsynth_s=%.3f\n' \
  "$best_vordel" "$best_fluid" "$(echo "$best_fluid / $best_vordel" | bc -l)" "$len_v" "$len_f"
