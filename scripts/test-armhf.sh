#!/usr/bin/env bash
# Cross-builds the library and its tests for 32-bit ARM (armhf) and runs them under qemu-arm,
# so the devices' 32-bit sizes, pointers and time_t are exercised. Installs what it needs.
# Ends with one line: "armhf: N passed, N failed, N skipped" (exit status 1 on a failure).
# Usage: scripts/test-armhf.sh [--subset]
#   --subset (or ZV_ARMHF_SUBSET=1)  only the unit tests, the ABI checks and the integration
#                                    cases whose answers carry records (see SUBSET below)
#   ZV_ARMHF_TIMEOUT                 seconds per test that sets no limit of its own (default
#                                    300; the discovered gtest cases carry 120)
#   ZV_ARMHF_JOBS                    tests run at once (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."

subset=${ZV_ARMHF_SUBSET:-0}
for arg in "$@"; do
  case "$arg" in
    --subset) subset=1 ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "test-armhf: unknown argument $arg (try --help)" >&2; exit 2 ;;
  esac
done

# ---- packages (installed only when missing; apt-get update only then)
# The run-time libraries come from multiarch :armhf packages (the gtest -dev packages do not
# pull them in); the cross toolchain's own copies under /usr/arm-linux-gnueabihf are not used.
PKGS=(cmake ninja-build g++-arm-linux-gnueabihf qemu-user libgtest-dev:armhf libgmock-dev:armhf
  libc6:armhf libstdc++6:armhf libgcc-s1:armhf)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  echo "test-armhf: adding the armhf architecture"
  $SUDO dpkg --add-architecture armhf
fi
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "test-armhf: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# ---- build
dir=build-armhf
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$PWD
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
start=$(date +%s)
cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-armhf.cmake" \
  -DZV_BENCH=OFF -DZV_FUZZ=OFF "${launcher[@]}" \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
ninja -C "$dir"
built=$(date +%s)

# ---- run
# Tests start programs of this build through it, and skip what only the emulator cannot do
# (each skip prints its reason).
export ZV_TEST_EMULATOR=/usr/bin/qemu-arm
# The subset: every unit test and ABI check, and the integration cases whose answers carry
# records with pointers, sizes and counts (card status, data call list, signal strength, call
# list, SIM files, registration).
unit_suites=$(sed -n 's/^add_test(\[=\[\([^].]*\)\..*/\1/p' "$dir"/tests/unit_tests*_tests.cmake | sort -u | paste -sd'|')
SUBSET="^(abi_|ril_h_)|^(${unit_suites})\\.|^[A-Za-z]+\\.(CardStatus|Platform23|CdmaCardIsAnRuim|FailCauseAndList|EveryPathAnswersOnce|WcdmaRequestAndReports|OlderPlatformGetsTheShortRecord|WcdmaModemReachesSimReady|UsimOnAnOlderFramework|WcdmaRegistersLate|.*CallList|.*CurrentCalls)"
select=()
[ "$subset" = 1 ] && select=(-R "$SUBSET")
out=$dir/ctest-output.txt
set +e
ctest --test-dir "$dir" -j"${ZV_ARMHF_JOBS:-2}" --timeout "${ZV_ARMHF_TIMEOUT:-300}" \
  --output-on-failure "${select[@]}" 2>&1 | tee "$out"
set -e
finished=$(date +%s)

# ---- one line
lines=$(grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$out" || true)
skipped=$(grep -cE '\*\*\*Skipped|Not Run' <<<"$lines" || true)
passed=$(grep -cE ' Passed ' <<<"$lines" || true)
total=$(grep -cE . <<<"$lines" || true)
failed=$((total - passed - skipped))
echo
echo "armhf ($([ "$subset" = 1 ] && echo subset || echo all tests)): build $((built - start)) s, tests $((finished - built)) s"
echo "armhf: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
