#!/usr/bin/env bash
# How soon the window shows a stop that came from the clipboard: vordel under Xvfb plays a
# string copied into a recording, "0" is copied, and the time from the copy to the window's
# own state (the notice says nothing plays, the playhead is back, Play is enabled again) is
# taken, twenty times. The clipboard is read every 50 ms and the window follows every 40 ms.
# Ends with one summary line:
#   window stop_to_window_p50_ms=X stop_to_window_max_ms=X stops=N
# usage: bench/window.sh [path/to/vordel] [stops]
set -euo pipefail
VORDEL=${1:-build/vordel}
COUNT=${2:-20}
WORK=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$WORK"' EXIT
export XDG_RUNTIME_DIR="$WORK/run" XDG_STATE_HOME="$WORK/xdg-state"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$WORK/display" >/dev/null 2>&1 &
for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$WORK/display")"
copy() { printf '%s' "$1" | xclip -selection clipboard 2>/dev/null; }
state() { grep "^$1=" "$WORK/window.state" 2>/dev/null | cut -d= -f2- || true; }
now_us() { echo $(( $(date +%s%N) / 1000 )); }
copy ""
"$VORDEL" --show --record /dev/null --osc-port 0 --state-file "$WORK/window.state" \
  >"$WORK/vordel.out" 2>&1 &
for _ in $(seq 200); do [ "$(state mout)" = "MOUT OK" ] && break; sleep 0.05; done
# The state file is read with builtins only (no process started while waiting), so that what is
# measured is the program's time, not this script's.
now_us() { echo "${EPOCHREALTIME/./}"; }
stopped() {
  local line playing="" enabled="" notice=""
  mapfile -t lines <"$WORK/window.state" 2>/dev/null || return 1
  for line in "${lines[@]}"; do
    case "$line" in
      playing=*) playing=${line#playing=} ;;
      play_enabled=*) enabled=${line#play_enabled=} ;;
      notice=*) notice=${line#notice=} ;;
    esac
  done
  [ "$playing" = 0 ] && [ "$enabled" = 1 ] && [[ $notice == "Nothing plays."* ]]
}
times=()
for i in $(seq "$COUNT"); do
  copy "0 60 40 10 $((15 + i % 2))"  # a string is taken after a stop: two take turns
  for _ in $(seq 200); do [ "$(state playing)" = 1 ] && break; sleep 0.01; done
  sleep 0.3
  t0=$(now_us)
  copy "0"
  until stopped; do
    [ $(( $(now_us) - t0 )) -lt 5000000 ] || { echo "the window did not follow a stop" >&2; exit 1; }
    sleep 0.002
  done
  times+=($(( $(now_us) - t0 )))
done
printf '%s\n' "${times[@]}" | sort -n | awk -v n="$COUNT" '
  { t[NR] = $1 }
  END { printf "window stop_to_window_p50_ms=%.1f stop_to_window_max_ms=%.1f stops=%d\n",
        t[int((NR + 1) / 2)] / 1000, t[NR] / 1000, n }'
