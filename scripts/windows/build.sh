#!/usr/bin/env bash
# Builds the 32-bit Windows release on Debian: build/windows/rfid-console-win32.zip
# and the installer build/windows/rfid-console-<version>-win32.msi.
# Qt for Windows comes from scripts/windows/qt.sh (built once, then cached).
# RFID_WINDOWS_TESTS=1 builds the test programs as well (scripts/windows/test.sh).
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
out=$RFID_ROOT/build/windows
tree=$out/tree

rfid_install zip libgtest-dev g++-mingw-w64-i686-posix libqt6core6
qt=$(scripts/windows/qt.sh | tail -n 1)

RFID_CMAKE=$qt/bin/qt-cmake rfid_configure "$tree" -DCMAKE_BUILD_TYPE=Release
targets=(programs)
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
# Texts for Windows users: CRLF, and UTF-8 with a byte-order mark, so that
# Notepad on an older Windows shows the Korean.
for text in scripts/windows/README-Windows.txt THIRD-PARTY-NOTICES.txt LICENSE; do
  name=$(basename "$text" .txt).txt
  { printf '\xEF\xBB\xBF'; sed 's/$/\r/' "$text"; } >"$stage/$name"
done
# The licences THIRD-PARTY-NOTICES.txt names, from this machine's Debian.
mkdir -p "$stage/licenses"
cp /usr/share/common-licenses/LGPL-3 "$stage/licenses/LGPL-3.0.txt"
cp /usr/share/common-licenses/GPL-3 "$stage/licenses/GPL-3.0.txt"
sed -n '/^GCC RUNTIME LIBRARY EXCEPTION/,/requirements of the license of GCC\./p' \
  /usr/share/doc/gcc-12-base/copyright >"$stage/licenses/GCC-exception-3.1.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$stage/licenses/mingw-w64-copyright.txt"
cp /usr/share/doc/libqt6core6/copyright "$stage/licenses/qt6-base-copyright.txt"
sed -i 's/$/\r/' "$stage"/licenses/*.txt
[[ -s $stage/licenses/GCC-exception-3.1.txt ]] || { echo "build.sh: no GCC Runtime Library Exception text" >&2; exit 1; }
i686-w64-mingw32-strip "$stage"/*.exe "$stage"/sim/*.dll "$stage"/pcsc/*.dll

rm -f "$out/rfid-console-win32.zip"
(cd "$stage" && zip -qr -X "$out/rfid-console-win32.zip" .)

# The installer for desks, from the same files.
version=$(rfid_version)
msi=$out/rfid-console-$version-win32.msi
scripts/windows/msi.sh "$stage" "$version" "$msi" >/dev/null
echo "$msi"
echo "$out/rfid-console-win32.zip"
