#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: once as
# built, once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
rfid_install "${RFID_PACKAGES[@]}"
scripts/build.sh build
(cd build && ctest --output-on-failure -j2 --timeout 300)
if [[ "${RFID_SKIP_SANITIZERS:-}" != 1 ]]; then
  scripts/build.sh build/sanitize -DRFID_SANITIZE=ON
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
  (cd build/sanitize && ctest --output-on-failure -j2 --timeout 600)
fi
