# What the scripts share, sourced by each of them (never run on its own):
# the project's root as the current folder, installing missing packages,
# configuring and building under the one build lock, quiet steps, and an
# Xvfb display.
# shellcheck shell=bash

RFID_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$RFID_ROOT"

# What building and testing the project need.
RFID_PACKAGES=(cmake g++ make pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev
               xvfb xauth x11-utils fonts-lexi-gulim imagemagick x11-apps
               pcscd libpcsclite-dev vsmartcard-vpcd dpkg-dev)

# The project's version, as CMakeLists.txt gives it (1.0).
rfid_version() { sed -n 's/^project(rfid-console VERSION \([0-9.]*\).*/\1/p' "$RFID_ROOT/CMakeLists.txt"; }

# A command as root: directly when we are root, else through sudo.
rfid_as_root() {
  if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}

# Installs those of the packages that are missing: one apt-get update, and
# only when something is missing. One line on standard error; apt's own
# output only when it fails.
rfid_install() {
  # Inside the Wine tree (scripts/windows/wine-tree.sh) all is there already.
  [[ -z ${RFID_IN_TREE:-} ]] || return 0
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  rfid_step "installing ${missing[*]}" rfid_apt_install "${missing[@]}"
}

rfid_apt_install() {
  local apt=(apt-get -o DPkg::Lock::Timeout=900)
  rfid_as_root "${apt[@]}" update -qq &&
    rfid_as_root env DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y -qq \
      --no-install-recommends "$@"
}

# Runs a step with its output kept aside: a line on standard error saying
# what it does, the output only when it fails.
rfid_step() {
  local what=$1 log status=0
  shift
  echo "rfid: $what" >&2
  log=$(mktemp)
  "$@" >"$log" 2>&1 || status=$?
  if ((status != 0)); then
    cat "$log" >&2
    echo "rfid: failed: $what (exit $status)" >&2
  fi
  rm -f "$log"
  return $status
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
