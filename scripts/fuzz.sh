#!/usr/bin/env bash
# Builds the libFuzzer harnesses (fuzz/) with clang under AddressSanitizer
# and UndefinedBehaviorSanitizer into build/fuzz, and runs each for SECONDS
# (default 20), two at a time, at low priority. New inputs go to
# build/fuzz/corpus/<harness>/, the seeds in fuzz/corpus/<harness>/ are read
# only; a failing input lands in build/fuzz/artifacts/<harness>/.
# Usage: scripts/fuzz.sh [SECONDS] [HARNESS...]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
seconds=${1:-20}
shift || true

rfid_install clang-14 libclang-rt-14-dev
out=build/fuzz
rfid_configure "$out" -DRFID_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
rfid_build "$out" fuzzers

harnesses=("$@")
if ((${#harnesses[@]} == 0)); then
  for f in "$out"/fuzz/*_fuzz; do harnesses+=("$(basename "$f" _fuzz)"); done
fi

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

run() {
  local h=$1
  local corpus=$out/corpus/$h artifacts=$out/artifacts/$h
  mkdir -p "$corpus" "$artifacts" fuzz/corpus/"$h"
  if nice -n 10 "$out/fuzz/${h}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" fuzz/corpus/"$h" >"$out/$h.log" 2>&1; then
    local line execs
    line=$(grep -E '^#[0-9]+' "$out/$h.log" | tail -1)
    execs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$out/$h.log" | grep -oE '[0-9]+$')
    printf '%-18s ok      %12s execs  %s\n' "$h" "$execs" \
      "$(grep -oE 'cov: [0-9]+ ft: [0-9]+' <<<"$line")"
  else
    printf '%-18s FAILED  see %s and %s\n' "$h" "$out/$h.log" "$artifacts"
    grep -E 'invariant broken|ERROR:|SUMMARY' "$out/$h.log" | head -5 | sed 's/^/    /'
    return 1
  fi
}

status=0
# Two at a time: the machine has two cores and others use them too.
for ((i = 0; i < ${#harnesses[@]}; i += 2)); do
  pids=()
  for h in "${harnesses[@]:i:2}"; do
    run "$h" &
    pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p" || status=1; done
done
exit $status
