#!/usr/bin/env bash
# The shipped 32-bit PC/SC reader library on Windows, through winscard: the
# rig tests (pcsc_rig_tests) and the console-on-rig fault table
# (pcsc_console_tests, through the real 32-bit console) under the Wine tree's
# WoW64 Wine, whose 32-bit winscard passes the calls to pcsc-lite.
#
# Inside the tree (wine-tree.sh: private network, mount and PID namespaces,
# so that vpcd's ports meet no other rig and pcscd, Wine and Xvfb end with
# it) the rig service (pcsc-rig serve, a Linux program) starts and stops
# pcscd for the tests, which are Windows programs.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
source "$RFID_ROOT/scripts/windows/wine-tree.sh"
stage=$RFID_ROOT/build/windows/rig

if [[ -z ${RFID_IN_TREE:-} ]]; then
  # The tests beside the release's console and PC/SC library, as a desk has
  # them; the rig service from the Linux build.
  RFID_WINDOWS_TESTS=1 scripts/windows/build.sh >/dev/null
  rfid_install "${RFID_PACKAGES[@]}"
  [[ -f $RFID_ROOT/build/CMakeCache.txt ]] || rfid_configure "$RFID_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  rfid_step "building the rig service" rfid_build "$RFID_ROOT/build" pcsc-rig pcsc-hold
  rm -rf "$stage"
  cp -r "$RFID_ROOT/build/windows/rfid-console-win32" "$stage"
  cp "$stage/pcsc/tqr_32.dll" "$stage/tqr_32.dll"
  cp "$RFID_ROOT/build/windows/tree/bin"/{pcsc_rig_tests,pcsc_console_tests}.exe \
     "$RFID_ROOT/build/bin/pcsc-rig" "$RFID_ROOT/build/bin/pcsc-hold" "$stage/"
  rfid_wine_tree
  echo "== PC/SC under $(rfid_in_tree 'wine --version') (32-bit, WoW64), $(rfid_in_tree 'pcscd --version | head -n 1')"
  rfid_in_tree scripts/windows/pcsc-wine.sh
  exit
fi

cd "$stage"
# The console's windows are real (WM_CLOSE ends a row as taskkill would), on
# a display of the namespace's own, there before Wine's server starts.
rfid_start_xvfb :59 1024x768x24
export WINEPREFIX=$stage/wine
wineboot -i >/dev/null 2>&1
./pcsc-rig serve >rig-service.log 2>&1 &
for _ in $(seq 100); do grep -q "rig service" rig-service.log && break; sleep 0.1; done
failed=0
for t in pcsc_rig_tests pcsc_console_tests; do
  if timeout 900 wine "$t.exe" --gtest_brief=1 >"$t.log" 2>&1; then
    echo "$t: $(grep -E '^\[  PASSED  \]' "$t.log")"
  else
    tail -n 60 "$t.log"
    echo "FAILED: $t under Wine (log: build/windows/rig/$t.log)"
    failed=1
  fi
done
grep -A12 "PC/SC fault" pcsc_console_tests.log | tr -d '\r' || true
exit $failed
