#!/usr/bin/env bash
# Builds the 32-bit Windows release on Debian (the windows preset):
# build/windows/rfid-console-win32.zip and the installer
# build/windows/rfid-console-<version>-win32.msi, from the release staged by
# `cmake --install` in build/windows/rfid-console-win32.
# Qt for Windows comes from scripts/windows/qt.sh (built once, then cached).
# RFID_WINDOWS_TESTS=1 builds the tests as well, with what they run beside:
# the runtime in the build's bin/, the rig's folder (the release with the
# PC/SC library as its tqr_32.dll, the rig tools), an older, a newer and a
# same-version installer for the upgrade tests, and a copy of the release
# and installer signed with a throwaway certificate (build/windows/signed).
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
out=$RFID_ROOT/build/windows
tree=$out/tree

rfid_install zip libgtest-dev g++-mingw-w64-i686-posix libqt6core6 mingw-w64-common
RFID_QT_WIN=$(scripts/windows/qt.sh | tail -n 1)
export RFID_QT_WIN
cmake --preset windows --no-warn-unused-cli >/dev/null
targets=(programs)
[[ ${RFID_WINDOWS_TESTS:-} == 1 ]] && targets=(all)
rfid_build_quietly "$tree" "building the Windows release into $tree (about 2 minutes on 2 cores)" "${targets[@]}"

stage=$out/rfid-console-win32
rm -rf "$stage"
cmake --install "$tree" --prefix "$stage" --strip >/dev/null
(cd "$tree" && cpack -G ZIP >/dev/null)
mv -f "$tree/rfid-console-win32.zip" "$out/rfid-console-win32.zip"

version=$(rfid_version)
msi=$out/rfid-console-$version-win32.msi
scripts/windows/msi.sh "$stage" "$version" "$msi" >/dev/null

if [[ ${RFID_WINDOWS_TESTS:-} == 1 ]]; then
  for component in runtime testruntime; do
    cmake --install "$tree" --prefix "$tree/bin" --component "$component" >/dev/null
  done
  rig=$tree/rig
  cmake --install "$tree" --prefix "$rig" >/dev/null
  cmake --install "$tree" --prefix "$rig" --component runtime >/dev/null
  cp "$rig/pcsc/tqr_32.dll" "$rig/tqr_32.dll"
  # The rig service, a Linux program, from the Linux build.
  rfid_install "${RFID_PACKAGES[@]}"
  [[ -f $RFID_ROOT/build/CMakeCache.txt ]] || rfid_configure "$RFID_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  rfid_build_quietly "$RFID_ROOT/build" "building the rig service" pcsc-rig pcsc-hold
  cp "$RFID_ROOT/build/bin/pcsc-rig" "$RFID_ROOT/build/bin/pcsc-hold" "$rig/"
  scripts/windows/msi.sh "$stage" 0.9.0 "$out/older.msi" >/dev/null
  scripts/windows/msi.sh "$stage" 99.0.0 "$out/newer.msi" >/dev/null
  scripts/windows/msi.sh "$stage" "$version" "$out/rebuilt.msi" >/dev/null
  # A signed copy of the release, with a throwaway certificate.
  signed=$out/signed
  rm -rf "$signed" && mkdir -p "$signed"
  head -c 18 /dev/urandom | base64 >"$signed/password"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=RFID Console test signing" \
    -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning \
    -keyout "$signed/key.pem" -out "$signed/cert.pem" 2>/dev/null
  openssl pkcs12 -export -inkey "$signed/key.pem" -in "$signed/cert.pem" -out "$signed/cert.pfx" \
    -passout "file:$signed/password"
  cp -r "$stage" "$signed/rfid-console-win32"
  scripts/windows/sign.sh "$signed/cert.pfx" "$signed/password" "$signed/rfid-console-win32" \
    "$signed/rfid-console-signed.msi" >/dev/null 2>"$signed/sign.log" || { cat "$signed/sign.log" >&2; exit 1; }
fi
echo "$msi"
echo "$out/rfid-console-win32.zip"
