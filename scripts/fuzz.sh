#!/usr/bin/env bash
# Builds the libFuzzer harnesses (fuzz/) with clang under AddressSanitizer
# and UndefinedBehaviorSanitizer into build/fuzz (the fuzz preset) and runs
# each for SECONDS (default 20), two at a time, at low priority, as the
# ctest tests of label fuzz. New inputs go to build/fuzz/corpus/<harness>/,
# the seeds in fuzz/corpus/<harness>/ are read only; a failing input lands
# in build/fuzz/artifacts/<harness>/.
# Usage: scripts/fuzz.sh [SECONDS] [HARNESS...]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
seconds=${1:-20}
shift || true
rfid_install clang-14 libclang-rt-14-dev
cmake --preset fuzz -DRFID_FUZZ_SECONDS="$seconds" >/dev/null
rfid_build_quietly build/fuzz "building the fuzzing harnesses into build/fuzz" fuzzers
only=()
if (($#)); then
  only=(-R "^fuzz_($(IFS='|'; echo "$*"))\$")
fi
ctest --preset fuzz "${only[@]}"
