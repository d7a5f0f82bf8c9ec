# The windows on the Windows platform plugin under Xvfb, driven by the
# keyboard as an operator drives them; sourced by scenarios.sh's keyboard
# step inside the Wine tree, a prefix under code page 949, a display with a
# window manager, the unpacked release in $app and the card's state in
# $TQR_SIM_STATE. Uses scenarios.sh's fail and $e2e.
# shellcheck shell=bash

# Starts a program of the release in the background; its log in $e2e/NAME.log.
start() {
  local name=$1
  shift
  (cd "$app" && exec timeout 90 wine "$@" >"$e2e/$name.out" 2>"$e2e/$name.log") &
  started=$!
}
wait_log() {  # wait_log NAME TEXT [SECONDS]
  local _
  for _ in $(seq 1 $((${3:-20} * 5))); do
    grep -q -- "$2" "$e2e/$1.log" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}
window() {  # the X window of a title, once it is mapped
  local id="" _
  for _ in $(seq 1 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [[ -n $id ]] && break
    sleep 0.1
  done
  echo "$id"
}
keys() {  # keys WINDOW KEY... : focus the window, then each key
  xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1" 2>/dev/null || true
  shift
  local k
  for k in "$@"; do
    xdotool key --clearmodifiers "$k"
    sleep 0.3
  done
}
block1() { (cd "$app" && timeout 60 wine tqr-sim.exe block 1 2>&1 | tr -d '\r'); }

# The interactive console: above other windows, counting down to its close.
(cd "$app" && timeout 60 wine tqr-sim.exe reset >/dev/null 2>&1)
t0=$SECONDS
start console rfid-console.exe
wait_log console "loaded:" || fail "the console did not load on the Windows plugin: $(tail -n 3 "$e2e/console.log")"
console=$(window "TQR-USB DLL DEMO")
[[ -n $console ]] || fail "no console window on the display"
above=$(xprop -id "$console" _NET_WM_STATE 2>/dev/null || true)
sleep 1
import -window root "$RFID_ROOT/build/windows/console-949.png" 2>/dev/null || true
set +e
wait "$started"
status=$?
set -e
echo "keyboard: interactive console ended after $((SECONDS - t0)) s with status $status; $above"
[[ $status == 0 ]] || fail "the interactive console ended with $status"
((SECONDS - t0 >= 11)) || fail "the interactive console closed before its countdown ran out"
[[ $above == *_NET_WM_STATE_ABOVE* ]] || fail "the console is not kept above other windows: $above"

# The test window from the console's Test button, by Enter on the focused
# button (the Test button has the focus when the console shows), its WR by
# Tab and Enter; the console then closed by its access key.
start console rfid-console.exe
wait_log console "loaded:" || fail "the console did not load again"
console=$(window "TQR-USB DLL DEMO")
keys "$console" Return
test_window=$(window "^Form2$")
[[ -n $test_window ]] || fail "Enter on the Test button opened no test window"
sleep 1
import -window root "$RFID_ROOT/build/windows/test-window-949.png" 2>/dev/null || true
keys "$test_window" Tab Return
wait_log console "write verified: 12345678" 10 ||
  fail "the test window's WR by the keyboard wrote nothing: $(tail -n 3 "$e2e/console.log")"
keys "$test_window" alt+F4
sleep 1
keys "$console" alt+e
set +e
wait "$started"
status=$?
set -e
block=$(block1)
echo "keyboard: test window's write by Enter: block 01 $block; console closed by Alt+E, status $status"
[[ $block == 12345678AAAAAAAA* ]] || fail "after the test window's write block 01 holds $block"

# The legacy window: its card setting finds no ISO 15693 card, and Enter
# answers the message; then Tab to the number, 123, Tab and Enter write it.
start legacy rfid-legacy.exe
message=$(window "rfid-legacy")
[[ -n $message ]] || fail "no 카드인식 실패 message from the legacy window"
keys "$message" Return
legacy=$(window "^Form2$")
[[ -n $legacy ]] || fail "the legacy window did not open after its message was answered"
keys "$legacy" Tab Tab 1 2 3 Tab Return
sleep 2
block=$(block1)
keys "$legacy" alt+F4
set +e
wait "$started"
status=$?
set -e
echo "keyboard: legacy window's write by the keyboard: block 01 $block; closed with status $status"
[[ $block == 00000123AAAAAAAA* ]] || fail "after the legacy window's write block 01 holds $block"
