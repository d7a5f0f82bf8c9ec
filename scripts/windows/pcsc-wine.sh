#!/usr/bin/env bash
# The PC/SC reader library on Windows, through winscard: built for 64-bit
# Windows and its rig tests run under Debian 13's 64-bit Wine, whose winscard
# passes the calls to pcsc-lite (Debian 12's Wine has only stubs there, and
# Debian 13's 32-bit Wine hands 64-bit handles to a 32-bit pcsc-lite, so the
# shipped 32-bit library cannot run under Wine; the same source can).
#
# Wine, pcscd and vpcd come from a Debian 13 tree made with mmdebstrap and
# cached in ~/.cache/rfid-console. Everything runs inside that tree in
# namespaces of its own: a private network (vpcd's ports meet no other rig) and a PID
# namespace, so that pcscd, Wine and the rig service end with it.
# Inside, the rig service (pcsc-rig serve, a Linux program) starts and stops
# pcscd for the tests, which are Windows programs.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
out=$RFID_ROOT/build/windows-x64
stage=$out/rig

rfid_install g++-mingw-w64-x86-64-posix libgtest-dev "${RFID_PACKAGES[@]}"

# The tests: the Windows side without Qt, the rig service from the Linux build.
rfid_configure "$out/tree" -DCMAKE_TOOLCHAIN_FILE="$RFID_ROOT/scripts/windows/mingw-x86_64.cmake" \
  -DRFID_WINDOWS_UI=OFF -DCMAKE_BUILD_TYPE=Release
rfid_step "building the PC/SC library and its rig tests for 64-bit Windows" \
  rfid_build "$out/tree" pcsc_rig_tests tqr_32_pcsc
[[ -f $RFID_ROOT/build/CMakeCache.txt ]] || rfid_configure "$RFID_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
rfid_step "building the rig service" rfid_build "$RFID_ROOT/build" pcsc-rig pcsc-hold

rm -rf "$stage"
mkdir -p "$stage"
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
cp "$out/tree/bin/pcsc_rig_tests.exe" "$out/tree/bin/pcsc/tqr_32.dll" \
   "$gcc_dir/libstdc++-6.dll" "$gcc_dir/libgcc_s_seh-1.dll" \
   /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll \
   "$RFID_ROOT/build/bin/pcsc-rig" "$RFID_ROOT/build/bin/pcsc-hold" "$stage/"

# The Debian 13 tree, keyed by what goes into it. Folders are mounted into
# it only in private mount namespaces: removing it removes nothing outside.
packages=wine,wine64,libpcsclite1,pcscd,vsmartcard-vpcd
cache=${XDG_CACHE_HOME:-$HOME/.cache}/rfid-console
tree=$cache/trixie-wine-$(echo "$packages" | sha1sum | cut -c1-12)
if [[ ! -f $tree/.complete ]]; then
  rfid_install mmdebstrap
  mkdir -p "$cache"
  rm -rf "$tree" "$tree.new"
  rfid_step "making a Debian 13 tree with Wine and pcscd (mmdebstrap)" \
    rfid_as_root mmdebstrap --variant=apt --architectures=amd64 --include="$packages" \
      trixie "$tree.new" http://deb.debian.org/debian
  touch "$tree.new/.complete"
  mv "$tree.new" "$tree"
fi

# Runs $1 with bash inside the tree, with the stage at /rig.
in_tree() {
  rfid_as_root unshare --net --mount --pid --fork --kill-child bash -c '
    set -e
    tree=$1 stage=$2
    ip link set lo up
    mount -t proc proc "$tree/proc"
    for d in tmp run dev/shm; do mount -t tmpfs tmpfs "$tree/$d"; done
    mkdir -p "$tree/rig"
    mount --bind "$stage" "$tree/rig"
    exec chroot "$tree" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
      LANG=C.UTF-8 CI=true WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" /bin/bash -c "$3"
  ' _ "$tree" "$stage" "$1"
}

echo "== PC/SC rig tests under $(in_tree 'wine --version') (64-bit), $(in_tree 'pcscd --version | head -n 1')"
status=0
in_tree '
  cd /rig
  [[ -d $HOME/.wine ]] || wineboot -i >/dev/null 2>&1
  ./pcsc-rig serve >/tmp/rig-service.log 2>&1 &
  for i in $(seq 100); do grep -q "rig service" /tmp/rig-service.log && break; sleep 0.1; done
  timeout 900 wine pcsc_rig_tests.exe --gtest_brief=1 >/rig/pcsc_rig_tests.log 2>&1
' || status=$?
if ((status != 0)); then
  tail -n 60 "$stage/pcsc_rig_tests.log"
  echo "FAILED: the PC/SC rig tests under Wine (log: build/windows-x64/rig/pcsc_rig_tests.log)"
  exit 1
fi
echo "pcsc_rig_tests: $(grep -E '^\[  PASSED  \]' "$stage/pcsc_rig_tests.log")"
