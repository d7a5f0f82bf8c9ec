#!/usr/bin/env bash
# Builds the Windows release and its tests (scripts/windows/build.sh), then
# runs them with ctest inside the Wine tree (wine-tree.sh: Debian
# unstable's WoW64 Wine runs the 32-bit programs inside 64-bit processes):
# the windows-949 preset (the Korean ANSI code page: every suite, the
# unpacked release in a Korean folder, the README's cmd example, the
# installer, the keyboard runs) and the windows-1252 one (the Western code
# page: every suite, the unpacked release, a second copy). Arguments go to
# both ctest runs (-R installer, say).
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
source "$RFID_ROOT/scripts/windows/wine-tree.sh"
RFID_WINDOWS_TESTS=1 scripts/windows/build.sh >/dev/null
rfid_wine_tree
status=0
for preset in windows-949 windows-1252; do
  echo "== $preset"
  rfid_in_tree ctest --preset "$preset" "$@" || status=1
done
((status == 0)) && echo "Windows tests: all passed" || echo "Windows tests: FAILED"
exit $status
