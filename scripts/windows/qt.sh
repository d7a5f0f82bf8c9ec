#!/usr/bin/env bash
# Builds Qt for 32-bit Windows once (Core, Gui, Widgets, Test, with the
# Windows and offscreen platform plugins) from the source of Debian's own
# qt6-base, the same version as the host tools, and keeps it in
# ~/.cache/rfid-console/qt-<version>-i686 ($RFID_QT_WIN, when set).
# Prints the prefix on its last line; reused when it is already there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib.sh"
apt=(apt-get -o DPkg::Lock::Timeout=900)

rfid_install g++-mingw-w64-i686-posix cmake ninja-build perl dpkg-dev qt6-base-dev qt6-base-dev-tools

# The host tools (moc, rcc, uic) must be the very version built here.
full=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
version=${full%%+*}
prefix=${RFID_QT_WIN:-${XDG_CACHE_HOME:-$HOME/.cache}/rfid-console/qt-$version-i686}
if [[ -f $prefix/.complete ]]; then
  echo "$prefix"
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/rfid-qt-win.XXXXXX")
trap 'rm -rf "$work"' EXIT

# apt-get source with a private sources list: the machine's own deb822
# sources, each "Types: deb" turned into "deb-src". Nothing of the
# machine's apt state changes.
mkdir -p "$work/apt/sources.list.d" "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/src"
found=0
for f in /etc/apt/sources.list.d/*.sources; do
  [[ -e $f ]] || continue
  sed -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' "$f" > "$work/apt/sources.list.d/$(basename "$f")"
  found=1
done
if [[ -f /etc/apt/sources.list ]]; then
  sed -nE 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list > "$work/apt/sources.list"
  [[ -s $work/apt/sources.list ]] && found=1
fi
((found)) || { echo "qt.sh: no apt sources found under /etc/apt" >&2; exit 1; }
touch "$work/apt/sources.list"
private=(-o Dir::Etc::SourceList="$work/apt/sources.list"
         -o Dir::Etc::SourceParts="$work/apt/sources.list.d"
         -o Dir::State::Lists="$work/apt/lists"
         -o Dir::Cache="$work/apt/cache"
         -o APT::Sandbox::User="$(id -un)")
"${apt[@]}" "${private[@]}" update -qq >&2
(cd "$work/src" && "${apt[@]}" "${private[@]}" source --download-only -qq "qt6-base=$full" >&2)
dpkg-source -x "$work"/src/qt6-base_*.dsc "$work/src/qtbase" >&2

mkdir -p "$prefix"
# The toolchain file goes with the prefix: qt-cmake refers to it later.
cp "$here/mingw-i686.cmake" "$prefix/mingw-i686.cmake"

off=(sql network dbus opengl printsupport concurrent xml icu openssl vulkan direct2d
     # Debian's source leaves out the tablet header.
     tabletevent
     # With OpenGL off, the Windows plugin does not compile with dynamicgl,
     # and with Direct2D off it does not link with directwrite3.
     dynamicgl directwrite3
     system_zlib system_pcre2 system_harfbuzz system_freetype
     system_doubleconversion system_md4c system_jpeg system_png)
flags=()
for f in "${off[@]}"; do flags+=("-DFEATURE_$f=OFF"); done

cmake -G Ninja -S "$work/src/qtbase" -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-i686.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=Release \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
  -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_testlib=ON -DFEATURE_widgets=ON -DFEATURE_gui=ON \
  "${flags[@]}" >&2
flock /tmp/rfid-build.lock cmake --build "$work/build" -j"${RFID_QT_JOBS:-$(nproc)}" >&2
cmake --install "$work/build" >&2
for m in Core Gui Widgets Test; do
  [[ -f $prefix/bin/Qt6$m.dll ]] || { echo "qt.sh: Qt6$m.dll missing after the build" >&2; exit 1; }
done
for p in qwindows qoffscreen; do
  [[ -f $prefix/plugins/platforms/$p.dll ]] || { echo "qt.sh: $p.dll missing after the build" >&2; exit 1; }
done
touch "$prefix/.complete"
echo "$prefix"
