#!/usr/bin/env bash
# Builds the 32-bit Windows release on Debian: build/windows/rfid-console-win32.zip
# and the installer build/windows/rfid-console-<version>-win32.msi.
# Qt for Windows comes from scripts/windows/qt.sh (built once, then cached).
# RFID_WINDOWS_TESTS=1 builds the test programs as well (scripts/windows/test.sh).
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
out=$RFID_ROOT/build/windows
tree=$out/tree

rfid_install zip libgtest-dev g++-mingw-w64-i686-posix
qt=$(scripts/windows/qt.sh | tail -n 1)

RFID_CMAKE=$qt/bin/qt-cmake rfid_configure "$tree" -DCMAKE_BUILD_TYPE=Release
targets=(rfid-console rfid-legacy tqr-sim tqr_32_sim tqr_32_pcsc)
if [[ "${RFID_WINDOWS_TESTS:-}" == 1 ]]; then
  targets+=(reader_tests sim_tests console_tests request_tests legacy_tests pcsc_rig_tests pcsc_console_tests)
fi
rfid_build "$tree" "${targets[@]}"

# What the programs load beside them: the compiler's runtime, Qt and its
# platform plugins (the offscreen one for the tests), the Vista style.
bin=$tree/bin
gcc_dir=$(dirname "$(i686-w64-mingw32-g++-posix -print-libgcc-file-name)")
cp -u "$gcc_dir/libstdc++-6.dll" "$gcc_dir/libgcc_s_dw2-1.dll" \
      /usr/i686-w64-mingw32/lib/libwinpthread-1.dll "$bin/"
cp -u "$qt"/bin/Qt6{Core,Gui,Widgets,Test}.dll "$bin/"
mkdir -p "$bin/platforms" "$bin/styles"
cp -u "$qt"/plugins/platforms/{qwindows,qoffscreen}.dll "$bin/platforms/"
if [[ -f $qt/plugins/styles/qwindowsvistastyle.dll ]]; then
  cp -u "$qt/plugins/styles/qwindowsvistastyle.dll" "$bin/styles/"
fi

# The release: programs, runtime, Qt, our two reader libraries in folders
# of their own, and the text for Windows users.
stage=$out/rfid-console-win32
rm -rf "$stage"
mkdir -p "$stage/platforms" "$stage/sim" "$stage/pcsc"
cp "$bin"/{rfid-console,rfid-legacy,tqr-sim}.exe "$stage/"
cp "$bin"/{libstdc++-6,libgcc_s_dw2-1,libwinpthread-1}.dll "$bin"/Qt6{Core,Gui,Widgets}.dll "$stage/"
cp "$bin/platforms/qwindows.dll" "$stage/platforms/"
if [[ -f $bin/styles/qwindowsvistastyle.dll ]]; then
  mkdir -p "$stage/styles"
  cp "$bin/styles/qwindowsvistastyle.dll" "$stage/styles/"
fi
cp "$bin/tqr_32.dll" "$stage/sim/tqr_32.dll"
cp "$bin/pcsc/tqr_32.dll" "$stage/pcsc/tqr_32.dll"
sed 's/$/\r/' scripts/windows/README-Windows.txt > "$stage/README-Windows.txt"
i686-w64-mingw32-strip "$stage"/*.exe "$stage"/sim/*.dll "$stage"/pcsc/*.dll

rm -f "$out/rfid-console-win32.zip"
(cd "$stage" && zip -qr -X "$out/rfid-console-win32.zip" .)

# The installer for desks, from the same files.
version=$(rfid_version)
msi=$out/rfid-console-$version-win32.msi
scripts/windows/msi.sh "$stage" "$version" "$msi" >/dev/null
echo "$msi"
echo "$out/rfid-console-win32.zip"
