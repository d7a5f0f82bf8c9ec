#!/usr/bin/env bash
# Installs what building and testing need, when it is missing.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
rfid_install "${RFID_PACKAGES[@]}"
