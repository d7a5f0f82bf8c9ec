# What the scripts share, sourced by each of them (never run on its own):
# the project's root as the current folder, installing missing packages,
# configuring and building under the one build lock, quiet steps, and an
# Xvfb display.
# shellcheck shell=bash

RFID_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$RFID_ROOT"

# What building and running the programs need (scripts/run.sh), and what
# the tests and the other scripts need besides: iproute2 for the program
# tests' own network (tests/own_network.sh), pcscd and vpcd for the PC/SC
# rig, dpkg-dev for the package's build flags, the X tools for the
# screenshots and the benchmarks.
RFID_BUILD_PACKAGES=(cmake g++ make pkg-config qt6-base-dev libgl-dev libpcsclite-dev
                     fonts-lexi-gulim)
RFID_TEST_PACKAGES=(libgtest-dev libgmock-dev iproute2 pcscd vsmartcard-vpcd dpkg-dev
                    xvfb xauth x11-utils imagemagick x11-apps openbox)
RFID_PACKAGES=("${RFID_BUILD_PACKAGES[@]}" "${RFID_TEST_PACKAGES[@]}")

# The project's version, as CMakeLists.txt's project() gives it.
rfid_version() { sed -n 's/^project(rfid-console VERSION \([0-9.]*\).*/\1/p' "$RFID_ROOT/CMakeLists.txt"; }

# A command as root: directly when we are root, else through sudo.
rfid_as_root() {
  if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}

# Installs those of the packages that are missing: one apt-get update, and
# only when something is missing. A line on standard error a step; apt's own
# output only when it fails. An update that fails (a mirror in the middle of
# a sync, say) is a warning: the install is tried with the package lists
# there are, and when it fails the packages that cannot be had are named.
rfid_install() {
  # Inside the Wine tree (scripts/windows/wine-tree.sh) all is there already.
  [[ -z ${RFID_IN_TREE:-} ]] || return 0
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  local apt=(apt-get -o DPkg::Lock::Timeout=900) log
  log=$(mktemp)
  echo "rfid: updating apt's package lists" >&2
  if ! rfid_as_root "${apt[@]}" update -qq >"$log" 2>&1; then
    grep -E '^(E|W|Err):' "$log" | tail -n 5 >&2 || true
    echo "rfid: warning: apt-get update failed; installing with the package lists there are" >&2
  fi
  rm -f "$log"
  rfid_step "installing ${missing[*]}" rfid_as_root env DEBIAN_FRONTEND=noninteractive \
    "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" && return 0
  local status=$? lacking=() candidate
  for p in "${missing[@]}"; do
    candidate=$(apt-cache policy "$p" 2>/dev/null | sed -n 's/^ *Candidate: //p')
    [[ -n $candidate && $candidate != "(none)" ]] || lacking+=("$p")
  done
  if ((${#lacking[@]})); then
    echo "rfid: failed: apt's package lists offer no ${lacking[*]}" >&2
  fi
  return $status
}

# Runs a step with its output kept aside: a line on standard error saying
# what it does, the output only when it fails, its cause last (rfid_failed).
rfid_step() {
  local what=$1 log status=0
  shift
  echo "rfid: $what" >&2
  log=$(mktemp)
  "$@" >"$log" 2>&1 || status=$?
  ((status == 0)) || rfid_failed "$what" "$status" "$log"
  rm -f "$log"
  return $status
}

# Says why a step failed, so that the cause is in the last lines a reader
# sees: the log's last lines, then the first line in it that names an error,
# then the step and its status (and the log's path when it is kept).
rfid_failed() {
  local what=$1 status=$2 log=$3 keep=${4:-} cause
  tail -n 40 "$log" >&2
  cause=$(grep -m1 -E '(^|[^[:alnum:]_])(error|Error|ERROR)[: ]|: not found|No such file|cannot |fatal' "$log" || true)
  [[ -z $cause ]] || echo "rfid: the cause: $cause" >&2
  echo "rfid: failed: $what (exit $status)${keep:+; the whole log: $keep}" >&2
}

# Configures build folder DIR from the source tree; further arguments go to
# CMake. $RFID_CMAKE names another CMake (Qt for Windows' qt-cmake).
rfid_configure() {
  local dir=$1
  shift
  # A folder configured before takes the toolchain from its cache: no
  # warning that the one given again went unused.
  "${RFID_CMAKE:-cmake}" --no-warn-unused-cli -S "$RFID_ROOT" -B "$dir" "$@" >/dev/null
}

# Builds DIR (all, or the targets given) under the lock that every build of
# this tree takes: two builds at once would starve a two-core machine.
rfid_build() {
  local dir=$1
  shift
  local targets=()
  (($#)) && targets=(--target "$@")
  flock /tmp/rfid-build.lock cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
}

# rfid_build_quietly DIR WHAT [TARGET...]: rfid_build with its output in
# DIR/build.log, a line saying WHAT, then a line per target built; on
# failure the cause (rfid_failed) and the log's path.
rfid_build_quietly() {
  local dir=$1 what=$2 status=0 start=$SECONDS
  shift 2
  mkdir -p "$dir"
  echo "rfid: $what" >&2
  rfid_build "$dir" "$@" 2>&1 | tee "$dir/build.log" |
    sed -nu '/_autogen$/d; s/^\[ *\([0-9]*%\)\] Built target \(.*\)/rfid:   \1 \2/p' >&2 || status=${PIPESTATUS[0]}
  if ((status != 0)); then
    rfid_failed "$what" "$status" "$dir/build.log" "$dir/build.log"
    return $status
  fi
  echo "rfid:   built in $((SECONDS - start)) s" >&2
}

# Starts Xvfb on display $1 (screen $2, 1280x1024x24 by default), exports
# DISPLAY and waits until it answers. rfid_stop_xvfb ends it.
rfid_start_xvfb() {
  Xvfb "$1" -screen 0 "${2:-1280x1024x24}" -nolisten tcp >/dev/null 2>&1 &
  RFID_XVFB_PID=$!
  export DISPLAY=$1
  local _
  for _ in $(seq 1 100); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "rfid: Xvfb $1 did not start" >&2
  return 1
}

rfid_stop_xvfb() {
  [[ -n ${RFID_XVFB_PID:-} ]] || return 0
  kill "$RFID_XVFB_PID" 2>/dev/null || true
  wait "$RFID_XVFB_PID" 2>/dev/null || true
  RFID_XVFB_PID=
  unset DISPLAY
}
