#!/usr/bin/env bash
# Builds and runs the PC/SC benchmark: the median time of each console
# operation through the reader library on the rig (pcscd, vpcd and a virtual
# MIFARE Classic card), against the rig's own APDU round trip.
# Usage: pcsc/bench/run.sh [build-dir] [rounds]   (as root: it starts pcscd)
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=${1:-build}
rounds=${2:-500}
if [[ ! -f "$dir/CMakeCache.txt" ]]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$dir" -j"$(nproc)" --target pcsc_bench >/dev/null
exec "$dir/bin/pcsc_bench" "$rounds"
