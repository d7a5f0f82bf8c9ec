#!/usr/bin/env bash
# Installs what is missing, builds the programs, and starts the console on
# the simulated reader with the words given (for example: 0012345678 홍길동,
# or READ). It builds only what ships (no test program is built or run), so
# that nothing of the tests can stop it. Installing and building say a line
# each on standard error (the build a line per target; its output in
# build/build.log): standard output carries the console's line alone, as it
# does for a calling program.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
rfid_install "${RFID_BUILD_PACKAGES[@]}"
rfid_configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
rfid_build_quietly build "building the programs into build/ (about a minute on 2 cores the first time)" \
  programs
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "no display: running on Qt's offscreen platform" >&2
  export QT_QPA_PLATFORM=offscreen
fi
export QT_LOGGING_RULES="${QT_LOGGING_RULES:-rfid.*.info=true}"
exec build/bin/rfid-console "$@"
