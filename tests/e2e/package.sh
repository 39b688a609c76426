#!/usr/bin/env bash
# The Debian package: built with CPack, its contents and dependencies checked, then installed
# and started. On CI (as root) it is installed for real with dpkg and removed again; elsewhere
# it is unpacked into a scratch folder. The program is started under Xvfb and ended through
# the clipboard with "q". Exit 77 (skipped) without dpkg-deb, Xvfb or xclip.
set -u
BUILD=$1
for tool in cpack dpkg-deb Xvfb xclip; do command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }; done
WORK=$(mktemp -d)
# Its own runtime, state and data folders, whatever vordel of the user runs beside it.
export XDG_RUNTIME_DIR="$WORK/run" XDG_STATE_HOME="$WORK/state" XDG_DATA_HOME="$WORK/data"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
cleanup() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$BUILD" && cpack -G DEB -B "$WORK/pkg" >"$WORK/cpack.log" 2>&1) || fail "cpack: $(tail -5 "$WORK/cpack.log")"
DEB=$(ls "$WORK"/pkg/vordel_*.deb 2>/dev/null | head -1)
[ -n "$DEB" ] || fail "no package built"
dpkg-deb --info "$DEB" >"$WORK/info.txt"
for dep in libqt6widgets6 librtmidi6 libfluidsynth3 liblo7 libsndfile1 libjack timgm6mb-soundfont; do
  grep -q "Depends:.*$dep" "$WORK/info.txt" || fail "package does not depend on $dep"
done
dpkg-deb --contents "$DEB" >"$WORK/contents.txt"
for f in ./usr/bin/vordel ./usr/bin/vordel-compose ./usr/share/applications/vordel.desktop \
  ./usr/share/icons/hicolor/scalable/apps/vordel.svg ./usr/lib/systemd/user/vordel.service \
  ./usr/share/doc/vordel/copyright ./usr/share/man/man1/vordel.1.gz \
  ./usr/share/man/man1/vordel-compose.1.gz ./usr/share/bash-completion/completions/vordel \
  ./usr/share/bash-completion/completions/vordel-compose; do
  grep -q " $f\$" "$WORK/contents.txt" || fail "package lacks $f"
done
dpkg-deb --fsys-tarfile "$DEB" | tar -xO ./usr/share/doc/vordel/copyright |
  grep -q "^License: GPL-3.0-or-later" || fail "package copyright names no licence"
if command -v desktop-file-validate >/dev/null; then
  dpkg-deb --fsys-tarfile "$DEB" | tar -xO ./usr/share/applications/vordel.desktop >"$WORK/vordel.desktop"
  desktop-file-validate "$WORK/vordel.desktop" || fail "desktop file"
fi

# The manual pages are the programs' help; completion offers the options and their values.
for program in vordel vordel-compose; do
  dpkg-deb --fsys-tarfile "$DEB" | tar -xO "./usr/share/man/man1/$program.1.gz" | gunzip >"$WORK/$program.1"
  grep -q "^\.TH $(echo "$program" | tr a-z A-Z) \"1\"" "$WORK/$program.1" || fail "$program.1 is no manual page"
  for section in EXAMPLES FILES ENVIRONMENT '"EXIT STATUS"'; do
    grep -q "^\.SH $section" "$WORK/$program.1" || fail "$program.1 has no $section"
  done
  grep -q "vordel.local" "$WORK/$program.1" && fail "$program.1 names a made-up address"
  grep -A3 "^\.SH EXAMPLES" "$WORK/$program.1" | grep -q "^# " && fail "$program.1: mangled examples"
done
grep -q '^\.SH "OSC ADDRESSES"' "$WORK/vordel.1" || fail "vordel.1 has no OSC ADDRESSES"
grep -q "/vordel/score" "$WORK/vordel.1" || fail "vordel.1 lacks /vordel/score"
grep -q "explain" "$WORK/vordel-compose.1" || fail "vordel-compose.1 lacks --explain"
grep -q "headless" "$WORK/vordel.1" || fail "vordel.1 lacks --headless"

INSTALLED=
if [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ] && ! dpkg-query -W vordel >/dev/null 2>&1; then
  dpkg -i "$DEB" >"$WORK/dpkg.log" 2>&1 || fail "dpkg -i: $(tail -5 "$WORK/dpkg.log")"
  INSTALLED=yes
  BIN=/usr/bin
else
  dpkg-deb -x "$DEB" "$WORK/root"
  BIN=$WORK/root/usr/bin
fi
remove() { [ -n "$INSTALLED" ] && dpkg -r vordel >/dev/null 2>&1; }

"$BIN/vordel-compose" --version | grep -q "^vordel-compose " || { remove; fail "vordel-compose --version"; }
"$BIN/vordel" --version | grep -q "^vordel " || { remove; fail "vordel --version"; }
"$BIN/vordel-compose" --clock 0 --dump "0 50 40 1 0" | grep -q "^total " || { remove; fail "vordel-compose --dump"; }
# The user service runs the window-less program: started as the unit says, it answers and quits.
exec_start=$(dpkg-deb --fsys-tarfile "$DEB" | tar -xO ./usr/lib/systemd/user/vordel.service | sed -n 's/^ExecStart=//p')
[ "$exec_start" = "/usr/bin/vordel --headless --endless" ] || { remove; fail "service: ExecStart=$exec_start"; }
# Installed by hand under another prefix, the unit names the program where it is, and systemd
# takes it.
cmake --install "$BUILD" --prefix "$WORK/prefix" >"$WORK/install.log" 2>&1 || { remove; fail "cmake --install: $(tail -3 "$WORK/install.log")"; }
grep -q "^ExecStart=$WORK/prefix/bin/vordel --headless --endless$" "$WORK/prefix/lib/systemd/user/vordel.service" ||
  { remove; fail "the installed unit: $(grep ExecStart "$WORK/prefix/lib/systemd/user/vordel.service")"; }
if command -v systemd-analyze >/dev/null; then
  systemd-analyze --user verify "$WORK/prefix/lib/systemd/user/vordel.service" >"$WORK/verify.log" 2>&1 ||
    { remove; fail "systemd-analyze --user verify: $(cat "$WORK/verify.log")"; }
fi
printf 'q\n' | JACK_DEFAULT_SERVER="vordel-none-$$" timeout 20 "$BIN/vordel" --headless --output synth \
  --osc-port 0 >"$WORK/service.log" 2>&1 || { remove; fail "headless: $(cat "$WORK/service.log")"; }
grep -q "ready without a window" "$WORK/service.log" || { remove; fail "headless: $(cat "$WORK/service.log")"; }

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$WORK/display" >/dev/null 2>&1 &
XVFB_PID=$!
for _ in $(seq 50); do [ -s "$WORK/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$WORK/display")"
# A "q" left on the clipboard is ignored at the start; copied again, it ends the program.
printf 'q' | xclip -selection clipboard 2>/dev/null
JACK_DEFAULT_SERVER="vordel-none-$$" timeout 20 "$BIN/vordel" --output synth >"$WORK/run.log" 2>&1 &
VORDEL_PID=$!
for _ in $(seq 100); do grep -q "is ignored" "$WORK/run.log" && break; sleep 0.1; done
grep -q "\"q\" was there before the start and is ignored" "$WORK/run.log" ||
  { remove; fail "the q found at the start: $(cat "$WORK/run.log")"; }
printf 'q' | xclip -selection clipboard 2>/dev/null
wait "$VORDEL_PID"
RC=$?
# Completion offers the programs' options and the values of --output.
complete_words() {
  bash -c 'source /usr/share/bash-completion/bash_completion 2>/dev/null || exit 3
    source "$1"; PATH="$2:$PATH"; shift 2
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _vordel_complete "$1" "${@: -1}" "${@: -2:1}" 2>/dev/null; echo "${COMPREPLY[*]}"' _ \
    "$COMPLETION" "$BIN" "$@"
}
if [ -f /usr/share/bash-completion/bash_completion ]; then
  COMPLETION=${INSTALLED:+/usr/share/bash-completion/completions/vordel-compose}
  COMPLETION=${COMPLETION:-$WORK/root/usr/share/bash-completion/completions/vordel-compose}
  complete_words vordel-compose --ex | grep -q -- "--explain" || { remove; fail "completion of --ex"; }
  complete_words vordel --output sy | grep -qx "synth" || { remove; fail "completion of --output"; }
fi
remove
[ "$RC" -eq 0 ] || fail "the installed vordel exited $RC: $(cat "$WORK/run.log")"
grep -q "\[Reproduce\] vordel-compose --clock [0-9]* --dump '0 80 40 30 25 1 50 30 23 20'" "$WORK/run.log" ||
  fail "no start-up piece: $(cat "$WORK/run.log")"
echo "ok: $(basename "$DEB") ${INSTALLED:+installed with dpkg, }started and quit"
