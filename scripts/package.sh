#!/usr/bin/env bash
# Builds the Debian package: build/packages/rfid-console_<version>_<arch>.deb.
# Its own build tree (build/package), without the tests, with Debian's build
# flags (hardening) and Debian's paths (/usr, the multiarch library folder).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
rfid_install "${RFID_PACKAGES[@]}"
dir=build/package
out=build/packages

# What Debian's own packages are built with: dpkg-buildflags, hardening on.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)

rfid_configure "$dir" -DCMAKE_BUILD_TYPE=None -DBUILD_TESTING=OFF \
  -DCMAKE_CXX_FLAGS="$CXXFLAGS" -DCMAKE_C_FLAGS="$CFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DCMAKE_SHARED_LINKER_FLAGS="$LDFLAGS" \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR="lib/$multiarch" \
  -DCMAKE_INSTALL_LIBEXECDIR=libexec -DCMAKE_STRIP="$PWD/packaging/debian-strip"
rfid_build "$dir"
(cd "$dir" && cpack -G DEB >/dev/null)
mkdir -p "$out"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
deb=rfid-console_${version}_$(dpkg --print-architecture).deb
cp "$dir/$deb" "$out/$deb"
echo "$out/$deb"
