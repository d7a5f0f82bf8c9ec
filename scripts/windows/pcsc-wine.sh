#!/usr/bin/env bash
# The shipped 32-bit PC/SC reader library on Windows, through winscard: the
# rig tests (pcsc_rig_tests) and the console-on-rig rows (pcsc_console_tests,
# through the real 32-bit console) under the Wine tree's WoW64 Wine, whose
# 32-bit winscard passes the calls to pcsc-lite: ctest's windows-rig preset
# inside the tree, whose private namespaces keep vpcd's ports from any
# other rig. Arguments go to ctest.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
source "$RFID_ROOT/scripts/windows/wine-tree.sh"
RFID_WINDOWS_TESTS=1 scripts/windows/build.sh >/dev/null
rfid_wine_tree
rfid_in_tree ctest --preset windows-rig "$@"
