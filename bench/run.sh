#!/usr/bin/env bash
# Builds and runs the benchmarks and prints their figures.
# Usage: bench/run.sh [build-dir [name [count]]]   (build-dir: build)
#   console  the console's start (process start to the end of its load
#            sequence) and peak memory against a minimal Qt Widgets window,
#            and the unattended write from start to exit, on the simulated
#            reader; count: runs (10)
#   sim      one exchange with the simulated reader library; count: rounds
#            (2000)
#   pcsc     each console operation through the PC/SC reader library on the
#            rig (pcscd, vpcd and a virtual MIFARE Classic card) against the
#            rig's own APDU round trip; count: rounds (500). As root: it
#            starts pcscd.
#   windows  the Windows release's unattended write under Wine on Xvfb with
#            the Windows platform plugin, start to exit, and the part of it
#            between the log's "closing" and "ended" (Wine's X11 driver
#            waiting for a window manager when a window hides), without a
#            window manager and with one (openbox), beside a bare Qt
#            Widgets window's start to exit; count: runs (5). Builds
#            the release and runs in the Wine tree (scripts/windows/
#            wine-tree.sh). Only when named.
# Without a name, the first three in turn.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
build=${1:-build}
only=${2:-}
count=${3:-}
case $only in
  "" | console | sim | pcsc | windows) ;;
  *) echo "bench/run.sh: no benchmark named '$only' (console, sim, pcsc, windows)" >&2; exit 2 ;;
esac
if [[ $only == windows && -z ${RFID_IN_TREE:-} ]]; then
  scripts/windows/build.sh >/dev/null
  rfid_build_quietly build/windows/tree "building the bare window" minimal-window
  source scripts/windows/wine-tree.sh
  rfid_wine_tree
  rfid_in_tree bench/run.sh "$build" windows ${count:+"$count"}
  exit
elif [[ -z ${RFID_IN_TREE:-} ]]; then
  # An existing folder is configured again: it may predate the benchmarks
  # target, and the build tool alone would not learn of it.
  if [[ -f "$build/CMakeCache.txt" ]]; then
    rfid_configure "$build"
  else
    rfid_configure "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  rfid_build "$build" benchmarks >/dev/null
fi
bin=$build/bin

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# Starts a program, waits for the log line that marks its point, and prints
# "<seconds since start> <peak resident KiB>", the memory read once its
# window has been up for half a second.
measure() {
  local work=$1 marker=$2; shift 2
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

# In a subshell: its own temporary folders, state file and environment.
console_bench() (
  local runs=${1:-10}
  local work
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -m 700 "$work/run"
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
  export XDG_RUNTIME_DIR=$work/run TQR_SIM_STATE=$work/sim.state
  export TZ=UTC QT_MESSAGE_PATTERN='%{time hh:mm:ss.zzz} %{message}'
  export QT_LOGGING_RULES='rfid.*.info=true'
  unset LD_LIBRARY_PATH

  local prog r
  for prog in console minimal labelled; do
    : >"$work/$prog.times"; : >"$work/$prog.mem"
    for _ in $(seq 1 "$runs"); do
      if [[ $prog == console ]]; then r=$(measure "$work" "loaded:" "$bin/rfid-console")
      elif [[ $prog == minimal ]]; then r=$(measure "$work" "shown" "$bin/minimal-window")
      else r=$(measure "$work" "shown" "$bin/minimal-window" "등록번호"); fi
      echo "${r% *}" >>"$work/$prog.times"; echo "${r#* }" >>"$work/$prog.mem"
    done
  done
  local ct mt cm mm lt lm wt s e
  ct=$(median <"$work/console.times"); mt=$(median <"$work/minimal.times")
  cm=$(median <"$work/console.mem"); mm=$(median <"$work/minimal.mem")
  lt=$(median <"$work/labelled.times"); lm=$(median <"$work/labelled.mem")

  : >"$work/write.times"
  for _ in $(seq 1 "$runs"); do
    s=$(date +%s.%N)
    "$bin/rfid-console" 0012345678 홍길동 >/dev/null 2>&1
    e=$(date +%s.%N)
    awk -v e="$e" -v s="$s" 'BEGIN {print e - s}' >>"$work/write.times"
  done
  wt=$(median <"$work/write.times")

  printf 'runs: %d (medians)\n' "$runs"
  printf 'start to end of load:   console %.3f s   minimal window %.3f s   ratio %.2f (target <= 1.5)\n' "$ct" "$mt" "$(awk -v a="$ct" -v b="$mt" 'BEGIN {print a / b}')"
  printf 'peak memory:            console %d KiB   minimal window %d KiB   ratio %.2f (target <= 1.3)\n' "$cm" "$mm" "$(awk -v a="$cm" -v b="$mm" 'BEGIN {print a / b}')"
  printf 'for scale, the minimal window with one label: %.3f s, %d KiB\n' "$lt" "$lm"
  printf 'unattended write, start to exit: %.3f s (target <= 2.3, of which the first tick is 2)\n' "$wt"
)

# In a subshell: its own Wine prefix, display and state file.
windows_bench() (
  local runs=${1:-5} release=$RFID_ROOT/build/windows/rfid-console-win32
  local work s e
  work=$(mktemp -d)
  trap 'wineserver -k 2>/dev/null || true; rfid_stop_xvfb; rm -rf "$work"' EXIT
  cp -r "$release" "$work/app"
  cp "$work/app/sim/tqr_32.dll" "$work/app/tqr_32.dll"
  cp "$RFID_ROOT/build/windows/tree/bin/minimal-window.exe" "$work/app/"
  export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Environment' /v QT_MESSAGE_PATTERN /d '%{time hh:mm:ss.zzz} %{message}' /f \
    >/dev/null 2>&1
  rfid_start_xvfb :61 1024x768x24
  wineserver -k 2>/dev/null || true
  TQR_SIM_STATE=$(winepath -w "$work/sim.state")
  export TQR_SIM_STATE
  (cd "$work/app" && wine tqr-sim.exe reset >/dev/null 2>&1)  # the server is up before timing
  printf 'runs: %d (medians), Wine %s, Windows platform plugin on Xvfb\n' "$runs" "$(wine --version)"
  local wm=""
  for desk in "no window manager" "openbox"; do
    if [[ $desk == openbox ]]; then
      openbox >/dev/null 2>&1 &
      wm=$!
      sleep 1
    fi
    : >"$work/exit.times"; : >"$work/close.times"; : >"$work/bare.times"
    for _ in $(seq 1 "$runs"); do
      s=$EPOCHREALTIME
      (cd "$work/app" && wine minimal-window.exe --exit >/dev/null 2>&1)
      e=$EPOCHREALTIME
      awk -v e="$e" -v s="$s" 'BEGIN {print e - s}' >>"$work/bare.times"
      s=$EPOCHREALTIME
      (cd "$work/app" && wine rfid-console.exe 0012345678 홍길동 >/dev/null 2>"$work/log")
      e=$EPOCHREALTIME
      awk -v e="$e" -v s="$s" 'BEGIN {print e - s}' >>"$work/exit.times"
      tr -d '\r' <"$work/log" |
        awk '/ closing$/ {split($1, a, ":"); c = a[1] * 3600 + a[2] * 60 + a[3]}
             / ended, exit status/ {split($1, a, ":"); print a[1] * 3600 + a[2] * 60 + a[3] - c}' \
          >>"$work/close.times"
    done
    local write bare
    write=$(median <"$work/exit.times") bare=$(median <"$work/bare.times")
    printf '%s: unattended write, start to exit %.3f s (Linux: about 2.0), of which closing to ended %.3f s\n' \
      "$desk" "$write" "$(median <"$work/close.times")"
    printf '%s: a bare Qt Widgets window, start to exit %.3f s; the write beyond it %.3f s\n' \
      "$desk" "$bare" "$(awk -v a="$write" -v b="$bare" 'BEGIN {print a - b}')"
  done
  [[ -z $wm ]] || kill "$wm"
)

sim_bench() { "$bin/tqr_sim_bench" ${1:+"$1"}; }
pcsc_bench() { "$bin/pcsc_bench" ${1:+"$1"}; }

# What each needs built; a build without Qt or pcsc-lite has not all of them.
declare -A needs=(
  [console]="rfid-console minimal-window"
  [sim]="tqr_sim_bench"
  [pcsc]="pcsc_bench"
  [windows]=""
)
status=0
for name in console sim pcsc windows; do
  [[ -n $only && $name != "$only" ]] && continue
  [[ -z $only && $name == windows ]] && continue
  echo "== $name"
  missing=""
  for program in ${needs[$name]}; do
    [[ -x $bin/$program ]] || missing+=" $program"
  done
  if [[ -n $missing ]]; then
    echo "bench/run.sh: $name not built here (no$missing in $bin)" >&2
    status=1
  else
    # Not as a condition, where a failing step inside would not stop it.
    set +e
    (set -e; "${name}_bench" "$count")
    rc=$?
    set -e
    if ((rc != 0)); then
      echo "bench/run.sh: $name failed" >&2
      status=1
    fi
  fi
  [[ -z $only ]] && echo
done
exit $status
