#!/usr/bin/env bash
# Takes the README's screenshots of the console under Xvfb: the window as it
# starts after a READ, and the same window enlarged to show its lower group.
# Usage: scripts/screenshots.sh [build-dir]   (writes docs/console*.png)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
need=()
for p in xvfb xdotool imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if ((${#need[@]})); then
  sudo=""; [[ $(id -u) -ne 0 ]] && sudo=sudo
  $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

work=$(mktemp -d)
mkdir -m 700 "$work/run"
display=:93
Xvfb $display -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $console 2>/dev/null || true; kill $xvfb; wait $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
export DISPLAY=$display XDG_RUNTIME_DIR=$work/run TQR_SIM_STATE=$work/sim.state QT_QPA_PLATFORM=xcb
unset LD_LIBRARY_PATH
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

"$build/bin/tqr-sim" block 1 0012345678AAAAAA2020202020202020 >/dev/null
console=0
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
