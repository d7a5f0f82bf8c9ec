#!/bin/sh
# Runs a test program on a desktop of its own: an X server of the screen
# size given, framed by a window manager (openbox) as a desk's windows are.
#   on_a_desktop.sh WIDTHxHEIGHT PROGRAM [ARG]...
size=$1
shift
number=$(mktemp)
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$number" >/dev/null 2>&1 &
server=$!
for _ in $(seq 100); do [ -s "$number" ] && break; sleep 0.1; done
DISPLAY=:$(cat "$number") QT_QPA_PLATFORM=xcb
export DISPLAY QT_QPA_PLATFORM
rm -f "$number"
openbox >/dev/null 2>&1 &
wm=$!
for _ in $(seq 100); do xprop -root _NET_WORKAREA 2>/dev/null | grep -q = && break; sleep 0.1; done
"$@"
status=$?
kill "$wm" "$server"
exit $status
