#!/usr/bin/env bash
# Builds the 32-bit Windows release on Debian: build/windows/rfid-console-win32.zip.
# Qt for Windows comes from scripts/windows/qt.sh (built once, then cached).
# RFID_WINDOWS_TESTS=1 builds the test programs as well (scripts/windows/test.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
out=$root/build/windows
tree=$out/tree

need=(zip libgtest-dev g++-mingw-w64-i686-posix)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  echo "installing: ${missing[*]}" >&2
  $sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
    --no-install-recommends "${missing[@]}" >&2
fi

qt=$(scripts/windows/qt.sh | tail -n 1)

"$qt/bin/qt-cmake" -S . -B "$tree" -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=(rfid-console rfid-legacy tqr-sim tqr_32_sim tqr_32_pcsc)
if [[ "${RFID_WINDOWS_TESTS:-}" == 1 ]]; then
  targets+=(reader_tests sim_tests console_tests request_tests legacy_tests)
fi
cmake --build "$tree" -j"$(nproc)" --target "${targets[@]}"

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
echo "$out/rfid-console-win32.zip"
