#!/usr/bin/env bash
# Builds and runs every test: the library against the 8+ platform header shape, the device build's
# sources against the platform's real log and property headers, the suite plainly, under ASan+UBSan, under TSan, for 32-bit ARM
# under qemu-arm, the PPP data path over a real link in a VM, and each libFuzzer target briefly; ends with one line adding them all up ("N passed, N failed").
# Usage: scripts/test.sh [--quick] (plain suite only)
#   ZV_FUZZ_SECONDS  seconds per fuzz target (default 10)
#   ZV_TSAN=0        skip the ThreadSanitizer run
#   ZV_ARMHF=0       skip the 32-bit ARM build under qemu-arm (scripts/test-armhf.sh)
#   ZV_PPP_VM=0      skip the real PPP link in a qemu VM (scripts/test-ppp-vm.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
passed=0 failed=0 skipped=0
failures=()   # "<build dir>|<test name>" of every failed test, for their output at the end
fuzz_failures=()
vm_failed=0

# Counts one ctest run from its status lines ("  3/250 Test   #3: name ....   Passed  0.01 sec").
count_ctest() {  # build-dir, ctest output file
  local dir=$1 out=$2 line name
  while IFS= read -r line; do
    name=$(sed -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .*/\1/' <<<"$line")
    if [[ $line == *" Passed "* ]]; then
      passed=$((passed + 1))
    elif [[ $line == *"***Skipped"* || $line == *"Not Run"* ]]; then
      skipped=$((skipped + 1))
    else
      failed=$((failed + 1))
      failures+=("$dir|$name")
    fi
  done < <(grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$out" || true)
}

run_suite() {  # build-dir, extra cmake args...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  ninja -C "$dir"
  local out="$dir/ctest-output.txt"
  set +e
  $RUNNER ctest --test-dir "$dir" -j"$jobs" --timeout 300 2>&1 | tee "$out"
  set -e
  count_ctest "$dir" "$out"
}
RUNNER=

# The output ctest kept of one test (Testing/Temporary/LastTest.log holds every test's).
test_output() {  # build-dir, test name
  awk -v name="$2" '
    /^[0-9]+\/[0-9]+ Test: / { line = $0; sub(/^[0-9]+\/[0-9]+ Test: /, "", line); mine = (line == name); next }
    mine && /^----------+$/ { on = 1; next }
    on && /^<end of output>$/ { on = 0; mine = 0; next }
    on { print }
  ' "$1/Testing/Temporary/LastTest.log" 2>/dev/null | tail -n 200
}

finish() {
  local total="$passed passed, $failed failed"
  [ "$skipped" -gt 0 ] && total="$total, $skipped skipped"
  if [ "$failed" -gt 0 ]; then
    for f in ${failures[@]+"${failures[@]}"}; do
      echo
      echo "==== failed: ${f#*|} (${f%%|*})"
      test_output "${f%%|*}" "${f#*|}"
    done
    if [ "$vm_failed" = 1 ]; then
      echo
      echo "==== failed: PsPpp.RealPppdLink in the VM (its whole output: build/ppp-vm-output.txt)"
      tail -n 60 build/ppp-vm-output.txt
    fi
    for f in ${fuzz_failures[@]+"${fuzz_failures[@]}"}; do
      echo
      echo "==== failed: fuzz target $f (the input that crashed it is in build-fuzz/artifacts/)"
      cat "build-fuzz/$f.log"
    done
    echo
    echo "$total"
    exit 1
  fi
  echo
  echo "$total"
  exit 0
}

echo "== layering"
if scripts/check-layers.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo "== the library against the 8+ platform header shape"
if scripts/build-header-shapes.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo "== the device build's sources against the platform's log and property headers"
if scripts/check-device-build.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo "== tests (plain build)"
run_suite build
[ "${1:-}" = "--quick" ] && finish

echo "== tests under ASan+UBSan"
run_suite build-asan -DZV_SANITIZER=address -DZV_BENCH=OFF

if [ "${ZV_TSAN:-1}" = 1 ]; then
  echo "== tests under TSan"
  # TSan needs a fixed address-space layout on kernels with high mmap randomisation.
  command -v setarch >/dev/null && RUNNER="setarch $(uname -m) -R"
  run_suite build-tsan -DZV_SANITIZER=thread -DZV_BENCH=OFF
  RUNNER=""
fi

if [ "${ZV_ARMHF:-1}" = 1 ]; then
  echo "== tests for 32-bit ARM (armhf, under qemu-arm)"
  rm -f build-armhf/ctest-output.txt
  scripts/test-armhf.sh || true
  if [ -f build-armhf/ctest-output.txt ]; then
    count_ctest build-armhf build-armhf/ctest-output.txt
  else
    echo "armhf: the build did not get as far as its tests (see above)"
    failed=$((failed + 1))
  fi
fi

if [ "${ZV_PPP_VM:-1}" = 1 ]; then
  echo "== PPP over a real link (Debian's pppd at both ends, in a qemu VM)"
  if [ "$(id -u)" != 0 ]; then
    echo "ppp-vm: skipped: the VM, namespaces and pppd need root"
    skipped=$((skipped + 1))
  else
    out=build/ppp-vm-output.txt
    set +e
    timeout 900 scripts/test-ppp-vm.sh 2>&1 | tee "$out"
    set -e
    # The case's own verdict decides. Only a machine that cannot run a VM at all (no qemu
    # after trying to install it) skips; with qemu there, a case that did not run, or skipped
    # itself inside the VM, fails.
    if grep -q '^\[       OK \] PsPpp.RealPppdLink' "$out" && ! grep -q '^\[  FAILED  \]' "$out"; then
      passed=$((passed + 1))
    elif command -v qemu-system-x86_64 >/dev/null; then
      echo "ppp-vm: FAILED: qemu is here but PsPpp.RealPppdLink did not pass in the VM (the reason is above)"
      failed=$((failed + 1))
      vm_failed=1
    else
      echo "ppp-vm: skipped: no qemu-system-x86_64 could be installed (the reason is above)"
      skipped=$((skipped + 1))
    fi
  fi
fi

echo "== fuzz targets (${ZV_FUZZ_SECONDS:-10} s each, $jobs at a time)"
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DZV_FUZZ=ON -DZV_TESTS=OFF -DZV_BENCH=OFF >/dev/null
ninja -C build-fuzz
mkdir -p build-fuzz/artifacts
# One target, its exit status into build-fuzz/<name>.status; each target is one process on one
# core, so as many run side by side as there are cores.
fuzz_one() {  # name
  local name=$1 corpus=build-fuzz/corpus/$1 seeds=fuzz/seeds/$1 status
  mkdir -p "$corpus"
  [ -d "$seeds" ] || seeds=
  set +e
  "build-fuzz/bin/$name" -max_total_time="${ZV_FUZZ_SECONDS:-10}" -artifact_prefix=build-fuzz/artifacts/ \
    -print_final_stats=1 "$corpus" $seeds > "build-fuzz/$name.log" 2>&1
  status=$?
  set -e
  echo "$status" > "build-fuzz/$name.status"
}
fuzz_names=() pids=()
for target in build-fuzz/bin/*_fuzz; do
  name=$(basename "$target")
  fuzz_names+=("$name")
  rm -f "build-fuzz/$name.status"
  fuzz_one "$name" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then wait "${pids[0]}" || true; pids=("${pids[@]:1}"); fi
done
for pid in ${pids[@]+"${pids[@]}"}; do wait "$pid" || true; done
for name in "${fuzz_names[@]}"; do
  status=$(cat "build-fuzz/$name.status" 2>/dev/null || echo "none")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "build-fuzz/$name.log" | tail -n 1)
  if [ "$status" = 0 ]; then
    echo "-- $name: ${runs:-?} runs, no crash"
    passed=$((passed + 1))
  else
    # The whole report (the crash's stack, the input that caused it, the stats) is printed
    # at the end, next to the total.
    echo "-- $name: FAILED after ${runs:-?} runs (exit $status)"
    failed=$((failed + 1))
    fuzz_failures+=("$name")
  fi
done
finish
