#!/usr/bin/env bash
# End-to-end: two vordels in one Ableton Link session, each playing into a recorder of its own
# on one JACK dummy server. Link finds its peers by multicast on every interface, so the whole
# script runs in a network namespace of its own with nothing but loopback (multicast on, a route
# for 224.0.0.0/4 on it); where such a namespace cannot be made it skips, saying why.
# - Each says it has found the other ("Link: 1 peer").
# - One leads the session's tempo; it is given a piece, and the other starts with it (Link's
#   start/stop sync): their first notes fall on the same downbeat, at the recorders.
# - The leader's second section changes the session's tempo, and the follower says it plays at it.
# - A stop of the follower reaches the leader; the follower leaves (/vordel/link 0) and the
#   leader is alone again.
# - Bad values of the options are usage errors; without --link, nothing of Link runs.
VORDEL=$1
if [ -z "${VORDEL_LINK_NETNS:-}" ]; then
  if ! unshare -n true 2>/dev/null; then
    echo "skipped: no network namespace of its own can be made here (unshare -n needs root)"
    exit 77
  fi
  exec unshare -n env VORDEL_LINK_NETNS=1 bash "$0" "$@"
fi
if ! { ip link set lo up && ip link set lo multicast on && ip route add 224.0.0.0/4 dev lo; } 2>/dev/null; then
  echo "skipped: the namespace's loopback cannot carry multicast here"
  exit 77
fi
source "$(dirname "$0")/lib/common.sh"
need jackd jack_lsp oscsend ip
# Nothing but loopback: no datagram of this test can leave the machine.
[ "$(ip -o link show | wc -l)" -eq 1 ] || fail "the namespace has more than loopback: $(ip -o link show)"

LEADER_PIECE="2 50 40 40 8 3 60 40 60 8"
start_jack 256
# recorder NAME: a recorder registered as NAME:input, writing into NAME.txt.
recorder() {
  "$RECORDER" --name "$1" >"$WORK/$1.txt" 2>/dev/null &
  PIDS+=($!)
  wait_for "jack_lsp 2>/dev/null | grep -q '^$1:'" 10 || fail "the recorder $1 did not register"
}
recorder lead-rec
recorder follow-rec
OSC=$((20000 + RANDOM % 500 * 2))
"$VORDEL" --headless --output jack --port follow-rec --osc-port "$OSC" --link </dev/null \
  >"$WORK/follower.out" 2>&1 &
FOLLOWER_PID=$!
PIDS+=("$FOLLOWER_PID")
"$VORDEL" --headless --output jack --port lead-rec --osc-port "$((OSC + 1))" --link \
  --link-tempo lead --quantum 4 </dev/null >"$WORK/leader.out" 2>&1 &
LEADER_PID=$!
PIDS+=("$LEADER_PID")
for who in follower leader; do
  wait_for "grep -q 'Link: 1 peer' '$WORK/$who.out'" 20 || fail "the $who found no peer"
done
grep -q "joined the Link session.*following" "$WORK/follower.out" || fail "the follower did not say it joined"

oscsend localhost "$((OSC + 1))" /vordel/piece s "$LEADER_PIECE"
for rec in lead-rec follow-rec; do
  wait_for "[ \$(grep -c ': 9' '$WORK/$rec.txt') -gt 0 ]" 20 || fail "nothing played into $rec"
done
grep -q "Link: play\|playback started" "$WORK/follower.out" || fail "the follower did not start"
# The first note of each (both pieces begin with one) at the recorders, in microseconds, and
# the leader's beat when it begins (the session's tempo, from the leader's log).
first_on() { awk -F: '$2 ~ /^ 9/ && $2 !~ / 00$/ { print $1; exit }' "$1"; }
LEAD_ON=$(first_on "$WORK/lead-rec.txt")
FOLLOW_ON=$(first_on "$WORK/follow-rec.txt")
wait_for "grep -q 'Link: the session plays at' '$WORK/follower.out'" 10 || fail "the follower heard no tempo"
TEMPO=$(grep -o 'the session plays at [0-9.]*' "$WORK/follower.out" | head -1 | awk '{print $NF}')
awk -v a="$LEAD_ON" -v b="$FOLLOW_ON" -v bpm="$TEMPO" 'BEGIN {
  beat = 60e6 / bpm; d = b - a; if (d < 0) d = -d
  printf "first notes %.0f us apart; a beat is %.0f us\n", d, beat > "/dev/stderr"
  exit d * 4 < beat ? 0 : 1 }' || fail "the pieces did not begin on the same downbeat"

# The leader's second section changes the session's tempo; the follower takes it.
TEMPOS=$(grep -c 'Link: the session plays at' "$WORK/follower.out")
wait_for "[ \$(grep -c 'Link: the session plays at' '$WORK/follower.out') -gt $TEMPOS ]" 30 ||
  fail "the leader's change of tempo did not reach the follower"

oscsend localhost "$OSC" /vordel/stop
wait_for "grep -q 'playback ended (stop)' '$WORK/follower.out'" 10 || fail "the follower did not stop"
wait_for "grep -q 'playback ended (stop)' '$WORK/leader.out'" 10 || fail "the follower's stop did not stop the leader"
oscsend localhost "$OSC" /vordel/link i 0
wait_for "grep -q 'left the Link session' '$WORK/follower.out'" 10 || fail "the follower did not leave"
wait_for "grep -q 'Link: no peers' '$WORK/leader.out'" 20 || fail "the leader did not see the follower leave"
for pid in "$FOLLOWER_PID" "$LEADER_PID"; do
  kill -TERM "$pid"
  wait_exit "$pid" 20 || fail "exit code of $pid"
done
for who in lead-rec follow-rec; do
  check_silent_end "$WORK/$who.txt" || fail "$who: notes left sounding"
done

# What the options take.
for bad in "--link-tempo sideways" "--quantum 0" "--quantum 17"; do
  # shellcheck disable=SC2086
  "$VORDEL" --headless --link $bad </dev/null >"$WORK/bad.out" 2>&1
  [ $? -eq 2 ] || fail "$bad: not a usage error: $(cat "$WORK/bad.out")"
done
grep -q "link-tempo takes follow or lead" <("$VORDEL" --headless --link-tempo x </dev/null 2>&1) ||
  fail "--link-tempo x: no reason given"

# Without --link no Link runs: nothing joins, nothing is said of it.
"$VORDEL" --headless --output jack --port lead-rec --osc-port 0 </dev/null >"$WORK/alone.out" 2>&1 &
ALONE=$!
PIDS+=("$ALONE")
wait_for "grep -q 'ready without a window' '$WORK/alone.out'" 20 || fail "vordel without --link did not start"
sleep 1
kill -TERM "$ALONE"
wait_exit "$ALONE" 20 || fail "exit code without --link"
grep -q "Link" "$WORK/alone.out" && fail "Link without --link: $(grep Link "$WORK/alone.out")"
exit 0
