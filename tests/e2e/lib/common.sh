# Shared by the end-to-end scripts: a JACK dummy server, a MIDI recorder on it, and checks on
# what the recorder got. Source it; it sets WORK and a cleanup trap.
set -u
WORK=$(mktemp -d)
PIDS=()
# Every test has its own runtime folder (instance numbers, whatever vordel of the user runs
# beside it), state folder (the journal) and data folder (the files OSC names).
export XDG_RUNTIME_DIR="$WORK/run" XDG_STATE_HOME="$WORK/state" XDG_DATA_HOME="$WORK/data"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  # What does not end within five seconds (a process stuck in a library) is killed: a failing
  # test says why at once rather than waiting for its time-out.
  for _ in $(seq 50); do
    local left=0
    for pid in "${PIDS[@]}"; do
      case "$(ps -o stat= -p "$pid" 2>/dev/null)" in "" | Z*) ;; *) left=1 ;; esac
    done
    [ "$left" -eq 0 ] && break
    sleep 0.1
  done
  for pid in "${PIDS[@]}"; do
    # Still this script's child (not a number the system has given to another process since).
    [ "$(ps -o ppid= -p "$pid" 2>/dev/null | tr -d ' ')" = "$$" ] && kill -KILL "$pid" 2>/dev/null
  done
  wait 2>/dev/null
  [ -z "${JACK_DEFAULT_SERVER:-}" ] || rm -f /dev/shm/jack_sem."$(id -u)_${JACK_DEFAULT_SERVER}"_*
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  for f in "$WORK"/*.out; do [ -f "$f" ] && { echo "--- $f"; tail -15 "$f"; }; done
  exit 1
}
need() { for tool in "$@"; do command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }; done; }
: "${RECORDER:?path of the recorder}"

# start_jack PERIOD: a dummy server of our own (48 kHz) in JACK_DEFAULT_SERVER. JACK keeps at
# most eight servers in its registry and frees the place of one that died without saying so only
# when a server of the same name starts: so each script uses one name, run after run. A client
# may be late by up to five seconds before the server gives up on its cycle, and the server is
# synchronous (-S): it starts a cycle only when every client has finished the one before. In the
# asynchronous mode a recorder that the scheduler kept waiting past its cycle reads the port
# after vordel has written the next cycle into it, and what vordel wrote before is gone: on a
# loaded machine that loses messages at the recorder that vordel delivered.
start_jack() {
  export JACK_DEFAULT_SERVER="vordel-e2e-$(basename "$0" .sh)"
  rm -f /dev/shm/jack_sem."$(id -u)_${JACK_DEFAULT_SERVER}"_*
  export JACK_NO_START_SERVER=1
  JACK_PERIOD="${1:-256}"
  run_jackd jackd.log "$JACK_PERIOD"
}
# The same server again after stop_jack.
restart_jack() {
  run_jackd jackd2.log "$JACK_PERIOD"
}
# run_jackd LOG PERIOD: the server, logging into $WORK/LOG, once it answers.
run_jackd() {
  jackd -S --no-realtime -t 5000 -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p "$2" >"$WORK/$1" 2>&1 &
  JACK_PID=$!
  PIDS+=("$JACK_PID")
  for _ in $(seq 100); do jack_lsp >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "jackd did not start: $(cat "$WORK/$1")"
}
# A server killed with clients attached leaves their semaphores behind, and a new server of the
# same name would take them over with whatever counts they were left at (clients woken for cycles
# that never came, or never woken): they go with the server, as after a clean shutdown.
stop_jack() {
  kill "$JACK_PID" 2>/dev/null
  wait "$JACK_PID" 2>/dev/null
  rm -f /dev/shm/jack_sem."$(id -u)_${JACK_DEFAULT_SERVER}"_*
}

# start_dump FILE: the recorder writing into FILE, registered as midi-monitor:input.
start_dump() {
  "$RECORDER" --name midi-monitor >"$1" 2>/dev/null &
  DUMP_PID=$!
  PIDS+=("$DUMP_PID")
  for _ in $(seq 100); do jack_lsp 2>/dev/null | grep -q midi-monitor && return 0; sleep 0.1; done
  fail "the recorder did not register"
}
# Waits for the last messages to pass, then ends the recorder (it writes everything first).
stop_dump() { sleep 0.2; kill "$DUMP_PID" 2>/dev/null; wait "$DUMP_PID" 2>/dev/null; }

# wait_for CONDITION SECONDS: polls a shell condition.
wait_for() {
  local i
  for i in $(seq $(( $2 * 10 ))); do eval "$1" && return 0; sleep 0.1; done
  return 1
}

# wait_exit PID SECONDS: the exit code of a child of this script that ends within SECONDS. One
# that does not is a fault of the program (nothing it is told to end by may wait on anything):
# the stacks of its threads are shown, and the script fails.
wait_exit() {
  local i state
  for i in $(seq $(( $2 * 10 ))); do
    state=$(ps -o stat= -p "$1" 2>/dev/null)
    case "$state" in "" | Z*) wait "$1"; return ;; esac
    sleep 0.1
  done
  command -v gdb >/dev/null &&
    gdb -p "$1" -batch -ex "thread apply all bt 12" 2>/dev/null | grep -E '^(Thread|#)' | head -120
  fail "process $1 did not end within $2 s"
}

# Lines of a dump as "status data1 data2".
messages() { awk '{print $2, $3, $4}' "$1"; }

# Every note started is ended (a Note On with velocity 0 or a Note Off), per channel and key,
# and All Notes Off reaches all sixteen channels after the last note message.
check_silent_end() {
  local dump=$1
  messages "$dump" | awk '
    { s = substr($1, 1, 1); k = substr($1, 2, 1) ":" $2
      if (s == "9" && $3 != "00") { on[k]++; last_note = NR }
      else if (s == "8" || s == "9") { if (on[k] > 0) on[k]--; last_note = NR }
      else if (s == "b" && $2 == "7b") anos[NR] = substr($1, 2, 1) }
    END {
      for (k in on) if (on[k] > 0) { print "still sounding " k; bad = 1 }
      for (n in anos) if (n + 0 > last_note) seen[anos[n]] = 1
      c = 0; for (ch in seen) c++
      if (c < 16) { print "All Notes Off after the last note on " c " channels"; bad = 1 }
      exit bad }' || return 1
}

# No note sounds when an All Notes Off comes: every Note Off of a piece goes out before the All
# Notes Off that ends it (a stop, the end of a fade, a next).
check_no_note_at_all_notes_off() {
  messages "$1" | awk '
    { s = substr($1, 1, 1); k = substr($1, 2, 1) ":" $2
      if (s == "9" && $3 != "00") { on[k]++; sounding++ }
      else if ((s == "8" || s == "9") && on[k] > 0) { on[k]--; sounding-- }
      else if (s == "b" && $2 == "7b" && sounding > 0) { bad++; worst = sounding > worst ? sounding : worst } }
    END { if (bad) print bad " All Notes Off with notes still on (up to " worst ")"; exit bad > 0 }'
}
