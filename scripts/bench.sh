#!/usr/bin/env bash
# Builds and runs the benchmarks (optimised build, logging to a file).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZV_TESTS=OFF >/dev/null
ninja -C build-bench zv_bench
exec build-bench/bin/zv_bench "$@"
