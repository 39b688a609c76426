#!/usr/bin/env bash
# End-to-end: playing all day. A headless vordel with a three-line playlist (one line refused),
# --gap 1, --fade 1 and --record plays the two good pieces in turn, twice; the bad line is skipped
# with its line; a stop fades (controller 7 falls before the notes end) and every note ends; and
# the journal's lines hold the commands that make the same notes again. Also: a malformed
# --hours and a playlist that cannot play are usage errors. Exit 77 without python3 or midicsv.
VORDEL=$1
COMPOSE=$2
export RECORDER=${RECORDER:-unused}
source "$(dirname "$0")/lib/common.sh"
need python3 midicsv

# Bad options: one line naming the problem, exit 2.
"$VORDEL" --headless --hours 25:00-18:00 </dev/null >"$WORK/hours.out" 2>&1
[ $? -eq 2 ] || fail "a malformed --hours: exit not 2"
grep -q -- "--hours: '25:00-18:00' is not a range of local times" "$WORK/hours.out" ||
  fail "hours: $(cat "$WORK/hours.out")"
printf '1 2\n# nothing else\n' >"$WORK/empty.txt"
"$VORDEL" --headless --playlist "$WORK/empty.txt" </dev/null >"$WORK/empty.out" 2>&1
[ $? -eq 2 ] || fail "a playlist without a piece: exit not 2"
grep -q "holds no line that makes a piece" "$WORK/empty.out" || fail "empty: $(cat "$WORK/empty.out")"

cat >"$WORK/list.txt" <<'EOF'
# two short pieces, and a line that makes none
0 50 40 1 0
1 2 3
--clock 77 '4 70 10 1 0'
EOF
mkfifo "$WORK/in"
"$VORDEL" --headless --output recording --record "$WORK/rec.txt" --osc-port 0 \
  --playlist "$WORK/list.txt" --gap 1 --fade 1 <"$WORK/in" >"$WORK/vordel.out" 2>&1 &
PID=$!
PIDS+=("$PID")
exec {IN}>"$WORK/in"
grep_count() { grep -c "$1" "$2" 2>/dev/null || true; }
wait_for "[ \$(grep_count 'playback started' '$WORK/vordel.out') -ge 4 ]" 120 ||
  fail "four pieces did not start"
sleep 1
printf '0\n' >&"$IN"  # a stop: faded over a second
wait_for "grep -q 'playback ended (stop)' '$WORK/vordel.out'" 20 || fail "the stop did not end the playback"
printf 'q\n' >&"$IN"
wait "$PID" || fail "exit code"
grep -q "playlist line skipped: $WORK/list.txt:3: Parameter string ignored" "$WORK/vordel.out" ||
  fail "no line about the skipped line"

# The pieces in turn: the first line, the second, then the first again at new clocks.
grep '\[Reproduce\]' "$WORK/vordel.out" | sed -n '2,5p' | sed "s/.*--dump //" >"$WORK/order.txt"
[ "$(cat "$WORK/order.txt" | tr '\n' '|')" = "'0 50 40 1 0'|'4 70 10 1 0'|'0 50 40 1 0'|'4 70 10 1 0'|" ] ||
  fail "not in turn: $(cat "$WORK/order.txt")"

# The fade: controller 7 of channel 1 falls to 0 while notes sound, and then every note ends.
python3 - "$WORK/rec.txt" <<'EOF' || fail "the fade or the end"
import sys
lines = [l.split() for l in open(sys.argv[1]) if len(l.split()) == 4]
cc7 = [(float(t), int(v, 16)) for t, s, d1, v in lines if s == "b0" and d1 == "07"]
# The ramp: the last run of falling values, ending at 0.
ramp = [cc7[-1]]
for t, v in reversed(cc7[:-1]):
    if v < ramp[0][1]: break
    ramp.insert(0, (t, v))
assert ramp[-1][1] == 0 and len(ramp) >= 10, ramp
fall_from = ramp[1][0]
sounding, during = {}, False
for t, s, k, v in lines:
    t, s, v = float(t), int(s, 16), int(v, 16)
    ch = s & 0x0F
    if s & 0xF0 == 0x90 and v > 0:
        sounding[(ch, k)] = sounding.get((ch, k), 0) + 1
    elif s & 0xF0 in (0x80, 0x90) and sounding.get((ch, k), 0) > 0:
        sounding[(ch, k)] -= 1
    if t >= fall_from and any(sounding.values()):
        during = True
assert during, "nothing sounded while the volume fell"
assert all(n == 0 for n in sounding.values()), sounding
EOF

# The journal: one line per playback, each with the command that makes its notes again.
JOURNAL="$XDG_STATE_HOME/vordel/played.log"
[ "$(wc -l <"$JOURNAL")" -ge 4 ] || fail "journal: $(cat "$JOURNAL")"
cut -f3 "$JOURNAL" | head -4 | tr '\n' ' ' | grep -q "^end end end " || fail "journal: $(cat "$JOURNAL")"
tail -1 "$JOURNAL" | cut -f3 | grep -qx stop || fail "the last line is not the stop"
# The second playback (the pinned line) made again, note for note per channel.
command=$(sed -n 2p "$JOURNAL" | cut -f4)
args=$(echo "$command" | sed "s/^vordel-compose //; s/ --dump '.*'$//")
string=$(echo "$command" | sed "s/.*--dump '\(.*\)'$/\1/")
# shellcheck disable=SC2086
"$COMPOSE" $args --midi "$WORK/again.mid" "$string" 2>/dev/null || fail "cannot make $command again"
midicsv "$WORK/again.mid" >"$WORK/again.csv"
python3 - "$WORK/rec.txt" "$WORK/again.csv" <<'EOF' || fail "the journal's command makes other notes"
import sys, collections
# The recording: every playback ends with All Notes Off, which separates the pieces (a silence
# would not: a piece may hold rests longer than the gap).
notes, pieces = [], []
for l in open(sys.argv[1]):
    f = l.split()
    if len(f) != 4: continue
    status = int(f[1], 16)
    if status & 0xF0 == 0xB0 and f[2] == "7b":
        if notes: pieces.append(notes); notes = []
        continue
    if status & 0xF0 != 0x90 or f[3] == "00": continue
    notes.append((status & 0x0F, int(f[2], 16), int(f[3], 16)))
if notes: pieces.append(notes)
def per_channel(ns):
    d = collections.defaultdict(list)
    for ch, k, v in ns: d[ch].append((k, v))
    return dict(d)
again = [(int(r[3]), int(r[4]), int(r[5])) for r in (x.split(", ") for x in open(sys.argv[2]))
         if len(r) > 5 and r[2] == "Note_on_c" and int(r[5]) > 0]
assert per_channel(pieces[1]) == per_channel(again), (len(pieces[1]), len(again))
EOF
echo "ok: a playlist in turn, a skipped line, a fade, every note ended, a journal that plays again"
