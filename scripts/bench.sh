#!/usr/bin/env bash
# Builds the benchmarks in the normal build tree and runs them, logging to a file.
#   scripts/bench.sh            every benchmark; the idle watches last 60 s each, side by side
#                               (about 2 minutes)
#   scripts/bench.sh --quick    fewer rounds and requests, 10 s of idle (about a minute)
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
nice ninja -C "$BUILD" zv_bench zv_bench_e2e >/dev/null
BIN=$BUILD/bin/zv_bench
E2E=$BUILD/bin/zv_bench_e2e

if [ "$quick" = 1 ]; then
  export ZV_BENCH_ROUNDS=${ZV_BENCH_ROUNDS:-5} ZV_BENCH_EXCHANGES=${ZV_BENCH_EXCHANGES:-1000}
  export ZV_BENCH_IDLE_S=${ZV_BENCH_IDLE_S:-10} ZV_BENCH_REQUESTS=${ZV_BENCH_REQUESTS:-50}
  heap=20000
else
  export ZV_BENCH_IDLE_S=${ZV_BENCH_IDLE_S:-60}
  heap=100000
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

# The library as the daemon loads it: start-up, the ten most frequent requests (one core, so
# the raw round trip and the requests see the same scheduling), heap over many requests.
one=()
command -v taskset >/dev/null && one=(taskset -c 0)
echo "== requests end to end, socket daemon"
ZV_BENCH_IDLE_S=0 ZV_BENCH_HEAP_REQUESTS=$heap "${one[@]}" "$E2E"
echo "== requests end to end, 8-13 daemon"
ZV_BENCH_IDLE_S=0 ZV_TEST_GENERATION=hidl "${one[@]}" "$E2E" | grep -v '^max_rss'
echo "== start-up with the specified sleeps cut a thousandfold"
ZV_BENCH_IDLE_S=0 ZORVIK_TIME_SCALE=1000 ZV_BENCH_REQUESTS=1 "$E2E" | grep startup_to

# Idle watches side by side (they only sleep): radio ready on a quiet modem, the same with a
# SAR state file, no modem at all; the channel alone runs among the benchmarks below.
tmp=$(mktemp -d)
ZV_BENCH_REQUESTS=1 "$E2E" >"$tmp/ready" 2>&1 &
ZV_BENCH_REQUESTS=1 ZV_BENCH_SAR=1 "$E2E" >"$tmp/sar" 2>&1 &
ZV_BENCH_NO_MODEM=1 "$E2E" >"$tmp/nomodem" 2>&1 &
echo "== unpinned"
"$BIN" --benchmark_filter='BM_UnsolicitedLines|BM_Reports|BM_HeapFlat|BM_IdleWakeups|Pack|Unpack'
wait
for f in ready sar nomodem; do
  echo "== idle, $f"
  grep idle_ "$tmp/$f" || true
done
rm -rf "$tmp"
