#!/usr/bin/env bash
# Installs what is missing, builds, and starts the console on the simulated
# reader with the words given (for example: 0012345678 홍길동, or READ).
# Installing and building say a line each on standard error (their output
# only when they fail): standard output carries the console's line alone,
# as it does for a calling program.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
rfid_install "${RFID_PACKAGES[@]}"
rfid_step "building into build/" scripts/build.sh build
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "no display: running on Qt's offscreen platform" >&2
  export QT_QPA_PLATFORM=offscreen
fi
export QT_LOGGING_RULES="${QT_LOGGING_RULES:-rfid.*.info=true}"
exec build/bin/rfid-console "$@"
