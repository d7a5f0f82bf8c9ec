#!/usr/bin/env bash
# Installs what is missing, builds, and starts the console on the simulated
# reader with the words given (for example: 0012345678 홍길동, or READ).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "no display: running on Qt's offscreen platform" >&2
  export QT_QPA_PLATFORM=offscreen
fi
export QT_LOGGING_RULES="${QT_LOGGING_RULES:-rfid.*.info=true}"
exec build/bin/rfid-console "$@"
