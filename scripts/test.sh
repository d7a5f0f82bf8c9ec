#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite with the
# presets of CMakePresets.json: once as built (default, build/), once under
# AddressSanitizer and UndefinedBehaviorSanitizer (sanitize, build/sanitize/).
# Arguments go to ctest: scripts/test.sh -L unit runs the quick tests only.
# RFID_SKIP_SANITIZERS=1 skips the second run.
#
# Each build says a line per target (its output in <folder>/build.log), each
# run ctest's line per test (kept in <folder>/ctest.log) and the reasons of
# the tests it skipped; the last line says what both runs gave.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
rfid_install "${RFID_PACKAGES[@]}"

start=$SECONDS
results=()

# run PRESET DIR NAME: configures, builds and tests with the presets of
# CMakePresets.json (what `cmake --workflow --preset PRESET` does in one go);
# adds "NAME: ..." to results.
run() {
  local preset=$1 dir=$2 name=$3 status=0
  echo "== $name: building $dir (about 6 minutes on 2 cores the first time)" >&2
  cmake --preset "$preset" >/dev/null
  if ! rfid_build_quietly "$dir" "building $dir"; then
    results+=("$name: the build failed (see $dir/build.log)")
    return 1
  fi
  echo "== $name: running the tests in $dir" >&2
  ctest --preset "$preset" "${ctest_args[@]}" 2>&1 | tee "$dir/ctest.log" || status=${PIPESTATUS[0]}
  local total passed failed skipped
  total=$(sed -nE 's/.* tests? failed out of ([0-9]+)$/\1/p' "$dir/ctest.log" | tail -n 1)
  failed=$(sed -nE 's/.*, ([0-9]+) tests? failed out of [0-9]+$/\1/p' "$dir/ctest.log" | tail -n 1)
  skipped=$(grep -c '\*\*\*Skipped' "$dir/ctest.log" || true)
  if [[ -z $total ]]; then
    results+=("$name: ctest ran no tests (exit $status; see $dir/ctest.log)")
    return 1
  fi
  passed=$((total - failed - skipped))
  results+=("$name: $passed passed, $failed failed, $skipped skipped of $total")
  if ((skipped)); then
    # The reason each skipped test gave (gtest prints it after "Skipped"),
    # counted: ctest itself does not show it.
    echo "== $name: skipped, and why:" >&2
    sed -n '/: Skipped$/{n;p}' "$dir/Testing/Temporary/LastTest.log" | sort | uniq -c |
      sed 's/^ */   /' >&2
  fi
  return $status
}

ctest_args=("$@")
status=0
run default build "as built" || status=1
if [[ $status == 0 && ${RFID_SKIP_SANITIZERS:-} != 1 ]]; then
  run sanitize build/sanitize "under ASan+UBSan" || status=1
elif [[ ${RFID_SKIP_SANITIZERS:-} != 1 ]]; then
  results+=("under ASan+UBSan: not run, since the first run failed")
fi
summary=$(printf '%s; ' "${results[@]}")
echo "rfid: tests ${summary%; } ($((SECONDS - start)) s)$( ((status)) && echo ': FAILED')" >&2
exit $status
