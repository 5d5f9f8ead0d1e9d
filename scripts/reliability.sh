#!/usr/bin/env bash
# The long runs behind the figures of docs/reliability.md, one command each. scripts/test.sh
# runs only their short forms; these take minutes to hours, so they run at the lowest priority.
#
#   scripts/reliability.sh fuzz [N] [TARGET...]     every fuzz target (or the ones named) to N
#                                                   executions under ASan+UBSan (default 10000000)
#   scripts/reliability.sh hostile-modem [LINES [SANITIZER]]
#                                                   the library under a hostile modem, LINES lines
#                                                   (default 1000000), in both daemon generations;
#                                                   SANITIZER address or thread: in that build
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
}

# One target at a time, each to N executions from its corpus (build-fuzz/corpus/, shared with
# the test command's brief runs, so depth accumulates); prints executions and rate per target.
fuzz() {
  local runs=${1:-10000000}
  [ $# -gt 0 ] && shift
  CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DZV_FUZZ=ON -DZV_TESTS=OFF -DZV_BENCH=OFF >/dev/null
  nice -n 19 ninja -C build-fuzz >/dev/null
  mkdir -p build-fuzz/artifacts
  local targets=("$@") failed=0 name target corpus seeds log status ran rate secs
  [ ${#targets[@]} -eq 0 ] && for target in build-fuzz/bin/*_fuzz; do targets+=("$(basename "$target")"); done
  for name in "${targets[@]}"; do
    corpus=build-fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=fuzz/seeds/$name
    [ -d "$seeds" ] || seeds=
    log=build-fuzz/$name.depth.log
    secs=$SECONDS
    set +e
    nice -n 19 "build-fuzz/bin/$name" -runs="$runs" -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 \
      "$corpus" $seeds >"$log" 2>&1
    status=$?
    set -e
    ran=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    if [ "$status" -eq 0 ]; then
      echo "$name: ${ran:-?} executions, ${rate:-?} exec/s, $((SECONDS - secs)) s, no crash"
    else
      echo "$name: FAILED after ${ran:-?} executions (exit $status); report in $log"
      failed=$((failed + 1))
    fi
  done
  [ "$failed" -eq 0 ]
}

# The integration case of tests/integration/hostile_modem_test.cpp at full size, once for
# each daemon generation; SANITIZER address (ASan+UBSan) or thread runs it in that build.
hostile_modem() {
  local lines=${1:-1000000} sanitizer=${2:-} dir=build failed=0 generation runner=()
  local config=()
  if [ -n "$sanitizer" ]; then
    dir=build-$([ "$sanitizer" = address ] && echo asan || echo tsan)
    config=(-DZV_SANITIZER="$sanitizer" -DZV_BENCH=OFF)  # as the test command configures them
    # TSan needs a fixed address-space layout on kernels with high mmap randomisation.
    [ "$sanitizer" = thread ] && runner=(setarch "$(uname -m)" -R)
  fi
  cmake -S . -B "$dir" -G Ninja ${config[@]+"${config[@]}"} >/dev/null
  nice -n 19 ninja -C "$dir" zorvik-ril integration_tests >/dev/null
  for generation in socket hidl; do
    echo "== $generation daemon, $lines lines${sanitizer:+, $sanitizer sanitizer}"
    if ! ZV_TEST_GENERATION=$generation ZV_HOSTILE_LINES=$lines nice -n 19 ${runner[@]+"${runner[@]}"} \
      "$dir/bin/integration_tests" --gtest_filter='HostileModemTest.*' |
      grep -E '^hostile modem:|OK \]|FAILED|Failure|daemon contract|Expected|Which|Value|kept|Sanitizer'; then
      failed=1
    fi
  done
  return $failed
}

case "${1:-}" in
  fuzz) shift; fuzz "$@" ;;
  hostile-modem) shift; hostile_modem "$@" ;;
  *) usage ;;
esac
