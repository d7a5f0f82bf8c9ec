#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given as $1, with any
# further CMake options after it).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
dir=${1:-build}
shift || true
rfid_configure "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
rfid_build "$dir"
