#!/usr/bin/env bash
# End-to-end: hostile input cannot stop, crash or clobber. A FIFO given as a playlist (at start
# and over OSC) or as a score is refused at once, and a quit and SIGTERM still end the program;
# a score being written when a quit comes is abandoned and removed; /dev/zero and an oversized
# playlist are refused while the piece plays on, and every note still ends; a name sent over
# OSC stays inside the files folder (no '/', no '..', no symbolic link, no foreign file
# replaced); naming other senders with --osc-allow keeps this machine heard; a subscriber hears
# /vordel/ended through a flood of status requests. Exit 77 without JACK, python3 or liblo-tools.
VORDEL=$1
OSCPY=$(dirname "$0")/lib/osc.py
source "$(dirname "$0")/lib/common.sh"
need python3 jackd jack_lsp oscsend oscdump
OSC=$((19000 + RANDOM % 400 * 2))
REPLY=$((OSC + 1))
FILES="$WORK/files"
LARGEST=$(for _ in $(seq 50); do printf '0 50 40 50 1030 '; done)

start_jack 256
start_dump "$WORK/dump.txt"
oscdump -L "$REPLY" >>"$WORK/osc.txt" 2>&1 &  # appended: it may be emptied between checks
PIDS+=($!)
sleep 0.3

# start_vordel NAME ARGS...: a headless vordel reading its standard input from a fifo.
start_vordel() {
  local name=$1
  shift
  mkfifo "$WORK/$name.in"
  "$VORDEL" --headless --output jack --port midi-monitor --files-dir "$FILES" "$@" \
    <"$WORK/$name.in" >"$WORK/$name.out" 2>&1 &
  eval "${name}_PID=$!"
  PIDS+=($!)
  exec {fd}>"$WORK/$name.in"
  eval "${name}_IN=$fd"
  wait_for "grep -q 'ready without a window' '$WORK/$name.out'" 20 || fail "$name did not start"
}
say() { local fd; eval "fd=\$${1}_IN"; printf '%s\n' "$2" >&"$fd"; }
notes_in() { local n; n=$(grep -c ': 9' "$1" 2>/dev/null); echo "${n:-0}"; }
# ended PID: the program has gone (10 s at most; bench/flood.sh measures how soon).
ended() { wait_for "! kill -0 $1 2>/dev/null" 10; }
refused() { wait_for "grep -q \" /vordel/refused s \\\"$1\" '$WORK/osc.txt'" 10; }

# 1. A FIFO as the playlist at start: refused at once, exit 2, nobody needed to write to it.
mkfifo "$WORK/list.fifo"
timeout 10 "$VORDEL" --headless --playlist "$WORK/list.fifo" </dev/null >"$WORK/fifo-start.out" 2>&1
RC=$?
[ "$RC" -eq 2 ] || fail "--playlist FIFO: exit $RC"
grep -q "cannot read the playlist $WORK/list.fifo: it is not a regular file" "$WORK/fifo-start.out" ||
  fail "--playlist FIFO: $(cat "$WORK/fifo-start.out")"

# 2. A FIFO in the files folder as a playlist and as a score over OSC: refused, the piece plays
#    on, then a quit ends the program; the same again with SIGTERM.
mkdir -p "$FILES"
mkfifo "$FILES/p.txt" "$FILES/s.xml"
for how in quit TERM; do
  start_vordel "fifo$how" --osc-port "$OSC"
  before=$(notes_in "$WORK/dump.txt")
  say "fifo$how" "0 50 40 1 0"
  wait_for "[ \$(notes_in '$WORK/dump.txt') -gt $((before + 10)) ]" 10 || fail "$how: no notes"
  oscsend localhost "$OSC" /vordel/playlist si "p.txt" "$REPLY"
  refused "cannot read the playlist $FILES/p.txt: it is not a regular file" || fail "$how: the FIFO playlist"
  oscsend localhost "$OSC" /vordel/score si "s.xml" "$REPLY"
  refused "$FILES/s.xml is there already and is not a score vordel wrote" || fail "$how: the FIFO score"
  eval "pid=\$fifo${how}_PID"
  if [ "$how" = quit ]; then oscsend localhost "$OSC" /vordel/quit; else kill -TERM "$pid"; fi
  ended "$pid" || fail "$how did not end the program after a FIFO"
  wait "$pid" || fail "$how: exit code"
  sleep 0.2
  check_silent_end "$WORK/dump.txt" || fail "$how: notes left sounding"
  : >"$WORK/osc.txt"
done

# 3. A quit while the largest piece's score is written: the program ends, nothing is left.
start_vordel score --osc-port "$OSC"
oscsend localhost "$OSC" /vordel/piece s "$LARGEST"
wait_for "[ \$(grep -c '\[Reproduce\]' '$WORK/score.out') -ge 2 ]" 30 || fail "the largest piece was not built"
oscsend localhost "$OSC" /vordel/score si "largest.musicxml" "$REPLY"
wait_for "ls -a '$FILES' | grep -q 'largest.musicxml.partial'" 10 || fail "the score was not being written"
oscsend localhost "$OSC" /vordel/quit
ended "$score_PID" || fail "a quit during a score did not end the program"
wait "$score_PID" || fail "exit code after a quit during a score"
ls -a "$FILES" | grep -q largest && fail "the abandoned score is left: $(ls -a "$FILES")"

# 4. /dev/zero and an oversized playlist: refused with a reason while the piece plays on.
start_vordel big --osc-port "$OSC"
ln -s /dev/zero "$FILES/zero.txt"
python3 -c "import sys; sys.stdout.write('0 50 40 1 0\n' * 400000)" >"$FILES/big.txt"
python3 -c "import sys; sys.stdout.write('0 50 40 1 0\n' * 20000)" >"$FILES/long.txt"
say big "0 80 40 1 120"  # dense: four voices all the time
before=$(notes_in "$WORK/dump.txt")
wait_for "[ \$(notes_in '$WORK/dump.txt') -gt $((before + 10)) ]" 10 || fail "big: no notes"
oscsend localhost "$OSC" /vordel/playlist si "zero.txt" "$REPLY"
refused "cannot read $FILES/zero.txt: it is a symbolic link" || fail "a link to /dev/zero was not refused"
oscsend localhost "$OSC" /vordel/playlist si "/dev/zero" "$REPLY"
refused "'/dev/zero' is not a name inside the files folder" || fail "/dev/zero was not refused"
for list in big long; do
  oscsend localhost "$OSC" /vordel/playlist si "$list.txt" "$REPLY"
  refused "cannot read the playlist $FILES/$list.txt: it is larger than 4 MB" || fail "$list.txt was not refused"
done
rss=$(awk '/^VmRSS/ {print $2}' "/proc/$big_PID/status")
[ "$rss" -lt 500000 ] || fail "$rss kB after the refusals"
before=$(notes_in "$WORK/dump.txt")
sleep 1
[ "$(notes_in "$WORK/dump.txt")" -gt "$before" ] || fail "the piece did not play on"
timeout 10 "$VORDEL" --headless --playlist /dev/zero </dev/null >"$WORK/zero-start.out" 2>&1
[ $? -eq 2 ] && grep -q "it is not a regular file" "$WORK/zero-start.out" || fail "--playlist /dev/zero: $(cat "$WORK/zero-start.out")"

# 5. Names over OSC stay in the files folder: an absolute path, '..', a link out of it and a file
#    that is not a score of ours are refused and nothing outside changes.
echo "<settings/>" >"$WORK/settings.xml"
ln -s "$WORK" "$FILES/out"
ln -s "$WORK/settings.xml" "$FILES/link.xml"
echo "<mine/>" >"$FILES/foreign.xml"
oscsend localhost "$OSC" /vordel/score si "$WORK/settings.xml" "$REPLY"
refused "'$WORK/settings.xml' is not a name inside the files folder" || fail "an absolute path"
oscsend localhost "$OSC" /vordel/score si "../settings.xml" "$REPLY"
refused "'../settings.xml' is not a name inside the files folder" || fail "a name with .."
oscsend localhost "$OSC" /vordel/score si "out/settings.xml" "$REPLY"
refused "'out/settings.xml' does not lead to a folder inside the files folder" || fail "a link out"
oscsend localhost "$OSC" /vordel/score si "link.xml" "$REPLY"
refused "$FILES/link.xml is there already and is not a score vordel wrote" || fail "a link to a file"
oscsend localhost "$OSC" /vordel/score si "foreign.xml" "$REPLY"
refused "$FILES/foreign.xml is there already and is not a score vordel wrote" || fail "a foreign file"
oscsend localhost "$OSC" /vordel/playlist si "../settings.xml" "$REPLY"
refused "'../settings.xml' is not a name inside the files folder" || fail "a playlist with .."
[ "$(cat "$WORK/settings.xml")" = "<settings/>" ] && [ "$(cat "$FILES/foreign.xml")" = "<mine/>" ] ||
  fail "a file was overwritten"
[ -L "$FILES/link.xml" ] || fail "the link was replaced"
# A score of its own is replaced, and said with its whole path.
oscsend localhost "$OSC" /vordel/score si "mine.musicxml" "$REPLY"
wait_for "grep -q ' /vordel/saved s \"$FILES/mine.musicxml\"' '$WORK/osc.txt'" 20 || fail "no score saved"
: >"$WORK/osc.txt"
oscsend localhost "$OSC" /vordel/score si "mine.musicxml" "$REPLY"
wait_for "grep -q ' /vordel/saved s \"$FILES/mine.musicxml\"' '$WORK/osc.txt'" 20 || fail "a score of ours not replaced"
say big q
wait "$big_PID" || fail "exit code after the refusals"
sleep 0.2
check_silent_end "$WORK/dump.txt" || fail "notes left sounding after the refusals"

# 6. --osc-allow names another sender: this machine still drives the program.
start_vordel allow --osc-port "$OSC" --osc-allow 192.0.2.2/32
: >"$WORK/osc.txt"
oscsend localhost "$OSC" /vordel/status i "$REPLY"
wait_for "grep -q ' /vordel/status ' '$WORK/osc.txt'" 10 || fail "loopback locked out by --osc-allow"

# 7. A subscriber hears /vordel/ended while another process floods /vordel/status.
oscsend localhost "$OSC" /vordel/subscribe i "$REPLY"
say allow "0 50 40 1 0"
wait_for "grep -q ' /vordel/started' '$WORK/osc.txt'" 10 || fail "no /vordel/started"
python3 "$OSCPY" flood "$OSC" 20000 /vordel/status &
FLOOD=$!
sleep 0.3
say allow 0
wait "$FLOOD"
wait_for "grep -q ' /vordel/ended s \"stop\"' '$WORK/osc.txt'" 10 || fail "the subscriber missed /vordel/ended in a flood"
say allow q
wait "$allow_PID" || fail "exit code after the flood"
echo "ok: FIFOs, /dev/zero, oversized playlists, names outside the files folder, loopback, floods"
