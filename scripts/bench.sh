#!/usr/bin/env bash
# Builds the benchmarks in the normal build tree and runs them, logging to a file.
#   scripts/bench.sh            every benchmark; the idle one watches for 60 s (about 3 minutes)
#   scripts/bench.sh --quick    fewer rounds, 10 s of idle (under a minute)
#   scripts/bench.sh ARGS...    anything else goes to the benchmark binary (--benchmark_filter=...)
# The AT exchange runs twice, pinned to one core and to two (taskset), when taskset exists.
# Ratios are taken within one run: raw pty round trips and channel exchanges alternate.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${ZV_BENCH_BUILD:-build}
quick=0
if [ "${1:-}" = "--quick" ]; then
  quick=1
  shift
fi
if [ ! -f "$BUILD/build.ninja" ]; then
  scripts/install-deps.sh
  cmake -S . -B "$BUILD" -G Ninja >/dev/null
fi
nice ninja -C "$BUILD" zv_bench >/dev/null
BIN=$BUILD/bin/zv_bench

if [ "$quick" = 1 ]; then
  export ZV_BENCH_ROUNDS=${ZV_BENCH_ROUNDS:-5} ZV_BENCH_EXCHANGES=${ZV_BENCH_EXCHANGES:-1000}
  export ZV_BENCH_IDLE_S=${ZV_BENCH_IDLE_S:-10}
fi
if [ $# -gt 0 ]; then
  exec "$BIN" "$@"
fi

pin() {  # cpus, filter
  if command -v taskset >/dev/null; then
    echo "== pinned to CPU $1"
    taskset -c "$1" "$BIN" --benchmark_filter="$2"
  else
    "$BIN" --benchmark_filter="$2"
  fi
}
pin 0 'BM_AtExchange'
if [ "$(nproc)" -ge 2 ]; then pin 0,1 'BM_AtExchange'; fi
echo "== unpinned"
"$BIN" --benchmark_filter='BM_UnsolicitedLines|BM_Reports|BM_HeapFlat|BM_IdleWakeups|Pack|Unpack'
