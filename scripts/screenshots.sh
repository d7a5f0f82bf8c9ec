#!/usr/bin/env bash
# Takes the README's screenshots of the console under Xvfb: the window as it
# starts after a READ, and the same window enlarged to show its lower group.
# Usage: scripts/screenshots.sh [build-dir]   (writes docs/console*.png)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=${1:-build}
rfid_install xvfb x11-utils xdotool imagemagick

work=$(mktemp -d)
mkdir -m 700 "$work/run"
console=0
trap 'kill $console 2>/dev/null || true; rfid_stop_xvfb; rm -rf "$work"' EXIT
rfid_start_xvfb :93
export XDG_RUNTIME_DIR=$work/run TQR_SIM_STATE=$work/sim.state QT_QPA_PLATFORM=xcb
unset LD_LIBRARY_PATH

"$build/bin/tqr-sim" block 1 0012345678AAAAAA2020202020202020 >/dev/null
"$build/bin/rfid-console" READ &
console=$!
win=""
for _ in $(seq 1 50); do
  win=$(xdotool search --name "TQR-USB DLL DEMO" 2>/dev/null | head -1 || true)
  [[ -n $win ]] && break
  sleep 0.1
done
[[ -n $win ]] || { echo "the console window did not appear" >&2; exit 1; }
sleep 1
import -window "$win" docs/console.png
xdotool windowsize "$win" 490 430
sleep 1
import -window "$win" docs/console-enlarged.png
echo "wrote docs/console.png and docs/console-enlarged.png"
