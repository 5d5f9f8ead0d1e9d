#!/usr/bin/env bash
# Builds the library (its target only) against telephony/ril.h in the shape of the 8+ platform
# header, in build-shape8/: a device's tree compiles it against that header, so code that only
# builds against the older one must fail here first. The usual build covers the older shape.
# Usage: scripts/build-header-shapes.sh [BUILD_DIR]    (exit status 1 when it does not compile)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-shape8}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja -DZV_RIL_HEADER_SHAPE=8 -DZV_TESTS=OFF -DZV_BENCH=OFF -DZV_FUZZ=OFF \
  ${launcher[@]+"${launcher[@]}"} >/dev/null
# -k 0: every file that does not compile is listed, not only the first.
if ninja -C "$dir" -k 0 zorvik-ril; then
  echo "header shapes: the library builds against the 8+ header shape too"
else
  echo "header shapes: the library does not build against the 8+ header shape (errors above)"
  exit 1
fi
