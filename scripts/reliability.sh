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
#   scripts/reliability.sh hostile-framework        every request 0-200 with hostile data and every
#                                                   control character in every string, both module
#                                                   families, both daemon generations
#   scripts/reliability.sh storm [N] [SEED]         N unplug/replug cycles (default 1000), both data
#                                                   paths up, every kind of request in flight; SEED
#                                                   repeats a run (the case prints the seed it used)
#   scripts/reliability.sh valgrind [FILTER]        every integration case (or those matching the
#                                                   gtest FILTER), one process each, under memcheck;
#                                                   programs of this build a case starts too
#   ZV_FUZZ_ROUND              executions per fuzz round (default 1000000); a stopped run resumes
#   ZV_FUZZ_FRESH=1            count a target's executions from 0 again
#   ZV_TEST_GENERATION=hidl    storm or valgrind against the 8-13 daemon instead
#   ZV_VG_CASE_TIMEOUT         seconds one case may take under valgrind (default 900)
#   ZV_BUILD_DIR               the plain tree to build and run (default build)
#   ZV_VG_OUT                  where the valgrind logs go (default <tree>/valgrind)
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
}

# One target at a time, each to N executions from its corpus (build-fuzz/corpus/, shared with
# the test command's brief runs, so depth accumulates). A target runs in rounds of at most
# ZV_FUZZ_ROUND executions, each from the corpus the rounds before it grew, and its total is kept
# in build-fuzz/<target>.depth.total after every round: a run stopped part-way resumes where it
# was (ZV_FUZZ_FRESH=1 starts the count again). Prints executions, rate and seconds per target.
fuzz() {
  local runs=${1:-10000000} round=${ZV_FUZZ_ROUND:-1000000}
  [ $# -gt 0 ] && shift
  CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DZV_FUZZ=ON -DZV_TESTS=OFF -DZV_BENCH=OFF >/dev/null
  nice -n 19 ninja -C build-fuzz >/dev/null
  mkdir -p build-fuzz/artifacts
  local targets=("$@") failed=0 name target corpus seeds log status ran total this secs spent totals
  [ ${#targets[@]} -eq 0 ] && for target in build-fuzz/bin/*_fuzz; do targets+=("$(basename "$target")"); done
  for name in "${targets[@]}"; do
    corpus=build-fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=fuzz/seeds/$name
    [ -d "$seeds" ] || seeds=
    log=build-fuzz/$name.depth.log
    totals=build-fuzz/$name.depth.total   # "<executions> <seconds>" so far
    [ "${ZV_FUZZ_FRESH:-0}" = 1 ] && rm -f "$totals"
    total=0 spent=0
    [ -f "$totals" ] && read -r total spent <"$totals"
    status=0
    while [ "$total" -lt "$runs" ]; do
      this=$((runs - total < round ? runs - total : round))
      secs=$SECONDS
      set +e
      nice -n 19 "build-fuzz/bin/$name" -runs="$this" -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 \
        "$corpus" $seeds >"$log" 2>&1
      status=$?
      set -e
      [ "$status" -eq 0 ] || break
      ran=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
      total=$((total + ${ran:-0}))
      spent=$((spent + SECONDS - secs))
      echo "$total $spent" >"$totals"
    done
    if [ "$status" -eq 0 ]; then
      echo "$name: $total executions, $((total / (spent > 0 ? spent : 1))) exec/s, $spent s, no crash"
    else
      echo "$name: FAILED after $total executions and part of a round (exit $status); report in $log"
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

B=${ZV_BUILD_DIR:-build}
build() {
  cmake -S . -B "$B" -G Ninja >/dev/null
  nice ninja -C "$B" zorvik-ril integration_tests zv-pppd-standin zvril zv-modemsim
}

storm() {
  local cycles=${1:-1000} seed=${2:-}
  build
  echo "storm: $cycles cycles${seed:+, seed $seed}"
  env ZV_STRESS_CYCLES="$cycles" ${seed:+ZV_STRESS_SEED="$seed"} \
    nice -n 19 "$B"/bin/integration_tests --gtest_filter=Flows/ReattachStressTest.*/Storm
}

valgrind_run() {
  local filter=${1:-*}
  command -v valgrind >/dev/null || { apt-get update -qq && apt-get install -y -qq valgrind; }
  build
  local out=${ZV_VG_OUT:-$B/valgrind}
  rm -rf "$out" && mkdir -p "$out"
  # Every process of this build a case starts goes through the same wrapper (the tests' emulator
  # hook), so a case re-run inside its namespaces is checked, not only its outer half. The pppd
  # stand-in is the one program started as "<emulator> -0 NAME PROGRAM": it is no part of the
  # library and runs natively under the name it was given.
  cat >"$out/wrap.sh" <<'EOF'
#!/usr/bin/env bash
if [ "${1:-}" = -0 ]; then name=$2; shift 2; exec -a "$name" "$@"; fi
exec valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
  --show-leak-kinds=definite --num-callers=30 --trace-children=no --suppressions="$ZV_VG_SUPP" \
  --log-file="$ZV_VG_LOGS/%p.log" "$@"
EOF
  chmod +x "$out/wrap.sh"
  local cases=() suite='' line
  while IFS= read -r line; do
    case $line in
      "  "*) cases+=("$suite${line#  }") ;;
      *) suite=$line ;;
    esac
  done < <("$B"/bin/integration_tests --gtest_list_tests --gtest_filter="$filter" | sed 's/ *#.*//')
  local total=${#cases[@]} passed=0 failed=0 skipped=0 dirty=0 n=0 c logs rc result
  echo "valgrind: $total cases (${ZV_TEST_GENERATION:-socket} daemon), logs in $out"
  for c in "${cases[@]}"; do
    n=$((n + 1))
    logs="$out/$c"
    mkdir -p "$logs"
    set +e
    ZV_VG_SUPP=$PWD/tests/support/valgrind.supp ZV_VG_LOGS=$PWD/$logs ZV_TEST_EMULATOR=$PWD/$out/wrap.sh nice -n 19 timeout -k 30 "${ZV_VG_CASE_TIMEOUT:-900}" \
      "$out/wrap.sh" "$B"/bin/integration_tests --gtest_filter="$c" >"$logs/output.txt" 2>&1
    rc=$?
    set -e
    # Memory errors are what valgrind counted in any process of the case, whatever the case's
    # own verdict (a case may fail for the slowness alone); a process that valgrind could not
    # finish (a heap corrupted past its own structures) counts its error reports as printed.
    local errors=0 log n_log
    for log in "$logs"/*.log; do
      [ -e "$log" ] || continue
      n_log=$(sed -n 's/.*ERROR SUMMARY: \([0-9]*\) errors.*/\1/p' "$log" | tail -n 1)
      [ -n "$n_log" ] || n_log=$(grep -cE '^==[0-9]+== (Invalid|Conditional|Use of uninit|Syscall param|Mismatched|Source and dest|Argument|Process terminating)' "$log" || true)
      errors=$((errors + n_log))
    done
    if grep -q '^\[  SKIPPED \]' "$logs/output.txt" && [ "$rc" = 0 ]; then
      result=skipped; skipped=$((skipped + 1))
    elif [ "$rc" = 0 ]; then
      result=passed; passed=$((passed + 1))
    else
      result="failed (exit $rc)"; failed=$((failed + 1))
    fi
    [ "$errors" -gt 0 ] && dirty=$((dirty + 1))
    printf '%3d/%d %-70s %s, memcheck errors %d\n' "$n" "$total" "$c" "$result" "$errors" | tee -a "$out/summary.txt"
  done
  echo "valgrind: $total cases, $dirty with memcheck errors; cases $passed passed, $failed failed, $skipped skipped" |
    tee -a "$out/summary.txt"
  [ "$dirty" = 0 ]
}

# Every request with hostile data, every control character in every string (the test command
# draws three a string), one case a process.
hostile_framework() {
  build
  local failed=0 generation c
  for generation in socket hidl; do
    for c in ThreeGppModule CdmaModule; do
      echo "== $generation daemon, $c"
      ZV_TEST_GENERATION=$generation ZV_HOSTILE_FULL=1 nice -n 19 "$B"/bin/integration_tests \
        --gtest_filter="HostileFramework.$c" | grep -E '^hostile framework:|OK \]|FAILED|Failure' || failed=1
    done
  done
  return $failed
}

case "${1:-}" in
  fuzz) shift; fuzz "$@" ;;
  hostile-modem) shift; hostile_modem "$@" ;;
  hostile-framework) shift; hostile_framework "$@" ;;
  storm) shift; storm "$@" ;;
  valgrind) shift; valgrind_run "$@" ;;
  *) usage ;;
esac
