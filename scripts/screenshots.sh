#!/usr/bin/env bash
# Takes the README's screenshots of the console under Xvfb on a 1920 x 1080
# screen: the window as it starts after a READ, the same window enlarged to
# show its lower group, and a write that did not verify (no card) with a
# long name, at 100 % and at 200 %.
# Usage: scripts/screenshots.sh [build-dir]   (writes docs/console*.png)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=${1:-build}
rfid_install xvfb x11-utils xdotool imagemagick fonts-nanum

work=$(mktemp -d)
mkdir -m 700 "$work/run"
console=0
trap 'kill $console 2>/dev/null || true; rfid_stop_xvfb; rm -rf "$work"' EXIT
rfid_start_xvfb :93 1920x1080x24
export XDG_RUNTIME_DIR=$work/run TQR_SIM_STATE=$work/sim.state QT_QPA_PLATFORM=xcb
unset LD_LIBRARY_PATH

# start ARGS...: starts the console and sets win to its window, shown for a
# settling second plus what the caller waits.
start() {
  "$build/bin/rfid-console" "$@" &
  console=$!
  win=""
  for _ in $(seq 1 50); do
    win=$(xdotool search --name "TQR-USB DLL DEMO" 2>/dev/null | head -1 || true)
    [[ -n $win ]] && break
    sleep 0.1
  done
  [[ -n $win ]] || { echo "the console window did not appear" >&2; exit 1; }
  sleep 1
}
stop() { kill "$console" 2>/dev/null || true; wait "$console" 2>/dev/null || true; }

"$build/bin/tqr-sim" block 1 0012345678AAAAAA2020202020202020 >/dev/null
start READ
import -window "$win" docs/console.png
xdotool windowsize "$win" 490 430
sleep 1
import -window "$win" docs/console-enlarged.png
stop

# A write that does not verify stays on screen; the first tick writes at 2 s.
"$build/bin/tqr-sim" card none >/dev/null
for scale in 1 2; do
  QT_SCALE_FACTOR=$scale start 0012345678 남궁민수아름다운이름남궁
  sleep 2.5
  import -window "$win" "docs/console-failed-$((scale * 100)).png"
  stop
done
echo "wrote docs/console.png, docs/console-enlarged.png, docs/console-failed-100.png, docs/console-failed-200.png"
