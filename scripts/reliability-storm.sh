#!/usr/bin/env bash
# Long reliability runs that the test command only samples (docs/reliability-storm.md).
# Usage:
#   scripts/reliability-storm.sh storm [N] [SEED]   N unplug/replug cycles (default 1000) of the
#       storm case, both data paths up, every kind of request in flight; SEED repeats a run
#       (the case prints the seed it used).
#   scripts/reliability-storm.sh valgrind [FILTER]   every integration case (or those matching the
#       gtest FILTER), one process each, under valgrind memcheck; programs a case starts of this
#       build (its own re-runs inside private namespaces, zvril) are checked too.
#   ZV_TEST_GENERATION=hidl    either of them against the 8-13 daemon instead
#   ZV_VG_CASE_TIMEOUT         seconds one case may take under valgrind (default 900)
#   ZV_BUILD_DIR               the plain tree to build and run (default build)
#   ZV_VG_OUT                  where the valgrind logs go (default <tree>/valgrind)
# Both build the plain tree first and run at the lowest priority.
set -euo pipefail
cd "$(dirname "$0")/.."

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

case ${1:-} in
  storm) shift; storm "$@" ;;
  valgrind) shift; valgrind_run "$@" ;;
  *) sed -n '2,/^# Both build/p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
