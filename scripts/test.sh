#!/usr/bin/env bash
# Builds and runs every test: the suite plainly, under ASan+UBSan, under TSan, and each
# libFuzzer target briefly. Usage: scripts/test.sh [--quick] (plain suite only)
#   ZV_FUZZ_SECONDS  seconds per fuzz target (default 10)
#   ZV_TSAN=0        skip the ThreadSanitizer run
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
run_suite() {  # build-dir, extra cmake args...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  ninja -C "$dir"
  $RUNNER ctest --test-dir "$dir" -j"$jobs" --output-on-failure --timeout 300
}
RUNNER=

echo "== layering"
scripts/check-layers.sh

echo "== tests (plain build)"
run_suite build
[ "${1:-}" = "--quick" ] && exit 0

echo "== tests under ASan+UBSan"
run_suite build-asan -DZV_SANITIZER=address -DZV_BENCH=OFF

if [ "${ZV_TSAN:-1}" = 1 ]; then
  echo "== tests under TSan"
  # TSan needs a fixed address-space layout on kernels with high mmap randomisation.
  command -v setarch >/dev/null && RUNNER="setarch $(uname -m) -R"
  run_suite build-tsan -DZV_SANITIZER=thread -DZV_BENCH=OFF
  RUNNER=""
fi

echo "== fuzz targets (${ZV_FUZZ_SECONDS:-10} s each)"
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DZV_FUZZ=ON -DZV_TESTS=OFF -DZV_BENCH=OFF >/dev/null
ninja -C build-fuzz
mkdir -p build-fuzz/artifacts
for target in build-fuzz/bin/*_fuzz; do
  name=$(basename "$target")
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=fuzz/seeds/$name
  [ -d "$seeds" ] || seeds=
  echo "-- $name"
  "$target" -max_total_time="${ZV_FUZZ_SECONDS:-10}" -artifact_prefix=build-fuzz/artifacts/ \
    -print_final_stats=1 "$corpus" $seeds 2>&1 | tail -n 3
done
echo "== all tests passed"
