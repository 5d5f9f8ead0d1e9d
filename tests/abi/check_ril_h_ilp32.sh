#!/usr/bin/env bash
# Compiles our telephony/ril.h for 32-bit ARM (ILP32) so that its record-size assertions are
# checked for the devices' ABI too, not only for this 64-bit host. Needs clang.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cc=$(command -v clang-14 || command -v clang || true)
if [ -z "$cc" ]; then echo "SKIP: no clang for the 32-bit check"; exit 0; fi
src=$(mktemp --suffix=.c)
trap 'rm -f "$src"' EXIT
printf '#include <telephony/ril.h>\n_Static_assert(sizeof(void *) == 4, "ILP32");\n' >"$src"
"$cc" --target=armv7a-linux-gnueabihf -ffreestanding -std=c11 -fsyntax-only \
  -isystem "$here/ilp32" -I "$here/../../platform/include" "$src"
printf '#include <telephony/ril.h>\nstatic_assert(sizeof(void *) == 4, "ILP32");\n' >"$src"
"$cc" --target=armv7a-linux-gnueabihf -ffreestanding -x c++ -std=c++17 -fsyntax-only -nostdinc++ \
  -isystem "$here/ilp32" -I "$here/../../platform/include" "$src"
echo "ril.h record sizes hold for ILP32"
