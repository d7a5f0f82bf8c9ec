#!/usr/bin/env bash
# Prints the console's start-up figures against a minimal Qt Widgets window:
# time from process start to the end of the load sequence, peak memory, and
# the unattended write from process start to exit, on the simulated reader.
# Usage: scripts/bench-console.sh [build-dir] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-10}
bin=$build/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/run"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export XDG_RUNTIME_DIR=$work/run TQR_SIM_STATE=$work/sim.state
export TZ=UTC QT_MESSAGE_PATTERN='%{time hh:mm:ss.zzz} %{message}'
export QT_LOGGING_RULES='rfid.*.info=true'
unset LD_LIBRARY_PATH

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# Starts a program, waits for the log line that marks its point, and prints
# "<seconds since start> <peak resident KiB>", the memory read once its
# window has been up for half a second.
measure() {
  local marker=$1; shift
  local start=$EPOCHREALTIME
  "$@" 2>"$work/log" &
  local pid=$! t=""
  for _ in $(seq 1 500); do
    t=$(grep -m1 -- "$marker" "$work/log" | awk '{print $1}' || true)
    [[ -n $t ]] && break
    sleep 0.01
  done
  # The log's time of day against the start's, both UTC.
  t=$(awk -v t="$t" -v s="$start" 'BEGIN {split(t, a, ":"); d = a[1] * 3600 + a[2] * 60 + a[3] - (s % 86400); if (d < 0) d += 86400; print d}')
  sleep 0.5
  local hwm
  hwm=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  echo "$t $hwm"
}

for prog in console minimal labelled; do
  : >"$work/$prog.times"; : >"$work/$prog.mem"
  for _ in $(seq 1 "$runs"); do
    if [[ $prog == console ]]; then r=$(measure "loaded:" "$bin/rfid-console")
    elif [[ $prog == minimal ]]; then r=$(measure "shown" "$bin/minimal-window")
    else r=$(measure "shown" "$bin/minimal-window" "등록번호"); fi
    echo "${r% *}" >>"$work/$prog.times"; echo "${r#* }" >>"$work/$prog.mem"
  done
done
ct=$(median <"$work/console.times"); mt=$(median <"$work/minimal.times")
cm=$(median <"$work/console.mem"); mm=$(median <"$work/minimal.mem")
lt=$(median <"$work/labelled.times"); lm=$(median <"$work/labelled.mem")

: >"$work/write.times"
for _ in $(seq 1 "$runs"); do
  s=$(date +%s.%N)
  "$bin/rfid-console" 0012345678 홍길동 2>/dev/null
  e=$(date +%s.%N)
  awk -v e="$e" -v s="$s" 'BEGIN {print e - s}' >>"$work/write.times"
done
wt=$(median <"$work/write.times")

printf 'runs: %d (medians)\n' "$runs"
printf 'start to end of load:   console %.3f s   minimal window %.3f s   ratio %.2f (target <= 1.5)\n' "$ct" "$mt" "$(awk -v a="$ct" -v b="$mt" 'BEGIN {print a / b}')"
printf 'peak memory:            console %d KiB   minimal window %d KiB   ratio %.2f (target <= 1.3)\n' "$cm" "$mm" "$(awk -v a="$cm" -v b="$mm" 'BEGIN {print a / b}')"
printf 'for scale, the minimal window with one label: %.3f s, %d KiB\n' "$lt" "$lm"
printf 'unattended write, start to exit: %.3f s (target <= 2.3, of which the first tick is 2)\n' "$wt"
