#!/usr/bin/env bash
# Compiles our telephony/ril.h for 32-bit ARM (ILP32) so that its record-size assertions are
# checked for the devices' ABI too, not only for this 64-bit host; in each of its shapes (the
# older header, and the 8+ one with and without the vendor-library side, RIL_SHLIB), and the
# 8+ shape for LP64 as well (the host build compiles only the older one with the tests). Needs clang.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cc=$(command -v clang-14 || command -v clang || true)
if [ -z "$cc" ]; then echo "SKIP: no clang for the 32-bit check"; exit 0; fi
src=$(mktemp --suffix=.c)
trap 'rm -f "$src"' EXIT
for shape in "" "-DZV_RIL_HEADER_SHAPE=8" "-DZV_RIL_HEADER_SHAPE=8 -DRIL_SHLIB"; do
  printf '#include <telephony/ril.h>\n_Static_assert(sizeof(void *) == 4, "ILP32");\n' >"$src"
  # shellcheck disable=SC2086
  "$cc" --target=armv7a-linux-gnueabihf -ffreestanding -std=c11 -fsyntax-only $shape \
    -isystem "$here/ilp32" -I "$here/../../platform/include" "$src"
  printf '#include <telephony/ril.h>\nstatic_assert(sizeof(void *) == 4, "ILP32");\n' >"$src"
  # shellcheck disable=SC2086
  "$cc" --target=armv7a-linux-gnueabihf -ffreestanding -x c++ -std=c++17 -fsyntax-only -nostdinc++ $shape \
    -isystem "$here/ilp32" -I "$here/../../platform/include" "$src"
  if [ -n "$shape" ]; then
    printf '#include <telephony/ril.h>\n_Static_assert(sizeof(void *) == 8, "LP64");\n' >"$src"
    # shellcheck disable=SC2086
    "$cc" -std=c11 -fsyntax-only $shape -I "$here/../../platform/include" "$src"
  fi
done
echo "ril.h record sizes hold for ILP32 (both header shapes) and for LP64 (8+ shape)"
