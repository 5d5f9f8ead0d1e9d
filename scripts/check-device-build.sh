#!/usr/bin/env bash
# Compiles the device build's sources -- the files, include directories and flags that
# android/Android.bp lists, with the device-side platform files -- against the platform's real
# logging and property headers (Debian's android-liblog-dev and android-libcutils-dev), not the
# host stand-ins in platform/include, and links them with the version script against the real
# liblog and libcutils. A device-only compile error, a use of a host-only function or an
# exported name the script does not know shows up here before a platform tree sees it.
# The radio interface header (in the 8+ shape) and netutils/ifc.h are ours: Debian ships neither.
# Usage: scripts/check-device-build.sh [OUT_DIR]    (exit status 1 when it does not build)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build-device}
bp=android/Android.bp
android_inc=/usr/include/android
android_lib=/usr/lib/$(gcc -print-multiarch 2>/dev/null || echo x86_64-linux-gnu)/android
cxx=clang++-14
for need in "$android_inc/log/log.h" "$android_inc/cutils/properties.h" "$android_lib/liblog.so" \
    "$android_lib/libcutils.so"; do
  [ -e "$need" ] || { echo "device build: $need is missing (scripts/install-deps.sh installs it)"; exit 1; }
done
command -v "$cxx" >/dev/null || { echo "device build: $cxx is missing"; exit 1; }

# The quoted strings of one list property of the module ("name: [ ... ]"), comments dropped.
bp_list() {
  sed -e 's://.*$::' "$bp" | awk -v key="$1" '
    $0 ~ "^[ \t]*" key ":[ \t]*\\[" { on = 1 }
    on { line = $0; while (match(line, /"[^"]*"/)) { print substr(line, RSTART + 1, RLENGTH - 2); line = substr(line, RSTART + RLENGTH) } }
    on && /\]/ { on = 0 }'
}
bp_value() { sed -e 's://.*$::' "$bp" | sed -n -E "s/^[ \t]*$1:[ \t]*\"([^\"]*)\".*/\1/p" | head -n 1; }

mapfile -t src_globs < <(bp_list srcs)
mapfile -t local_dirs < <(bp_list local_include_dirs)
mapfile -t export_dirs < <(bp_list export_include_dirs)
mapfile -t cflags < <(bp_list cflags)
mapfile -t cppflags < <(bp_list cppflags)
std=$(bp_value cpp_std)
script=$(bp_value version_script)
[ ${#src_globs[@]} -gt 0 ] && [ -n "$std" ] && [ -n "$script" ] || { echo "device build: cannot read $bp"; exit 1; }

sources=()
for glob in "${src_globs[@]}"; do
  # shellcheck disable=SC2206 # the Android.bp globs are expanded here on purpose
  matched=($glob)
  [ -e "${matched[0]}" ] || { echo "device build: $bp lists $glob, which matches nothing"; exit 1; }
  sources+=("${matched[@]}")
done

# Only the platform headers a device tree has that Debian does not: telephony/ and netutils/.
# The host stand-ins of log/, android/ and cutils/ must not be seen.
rm -rf "$out"
mkdir -p "$out/include" "$out/obj"
ln -s "$PWD/platform/include/telephony" "$PWD/platform/include/netutils" "$out/include/"
# Debian's cutils/properties.h takes its two sizes from the C library's property header, which
# only the platform's own C library has: the sizes it defines there, nothing else.
mkdir -p "$out/include/sys"
printf '%s\n' '#pragma once' '#define PROP_NAME_MAX 32' '#define PROP_VALUE_MAX 92' \
  >"$out/include/sys/system_properties.h"

flags=(-std="$std" -fPIC -DZV_RIL_HEADER_SHAPE=8 "${cflags[@]}" "${cppflags[@]}")
for d in "${local_dirs[@]}" "${export_dirs[@]}"; do flags+=(-I "$d"); done
flags+=(-isystem "$android_inc" -I "$out/include")
launcher=()
command -v ccache >/dev/null && launcher=(ccache)

compile() {  # source
  local obj="$out/obj/${1//\//_}.o"
  "${launcher[@]}" "$cxx" "${flags[@]}" -c "$1" -o "$obj" 2>"$obj.err" || { cat "$obj.err"; return 1; }
}
failed=0
pids=()
for src in "${sources[@]}"; do
  compile "$src" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$(nproc)" ]; then wait "${pids[0]}" || failed=1; pids=("${pids[@]:1}"); fi
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
if [ "$failed" -ne 0 ]; then
  echo "device build: the sources do not compile against the platform's headers (errors above)"
  exit 1
fi

lib="$out/libzorvik-ril.so"
"$cxx" -shared -o "$lib" "$out"/obj/*.o -Wl,--version-script="$script" \
  -L"$android_lib" -Wl,-rpath,"$android_lib" -llog -lcutils -pthread

# Every name the library needs must come from the C and C++ runtimes, liblog, libcutils or the
# platform's libnetutils (ifc_*): anything else is a host-only function the device lacks.
# Debian builds libcutils without the property service, so property_get and property_set, which
# a device's libcutils has, are taken on trust.
defined=$(for so in "$android_lib/liblog.so" "$android_lib/libcutils.so" \
    $(ldd "$lib" | awk '/=> \// { print $3 }'); do nm -D --defined-only "$so" 2>/dev/null; done |
  awk '{ print $NF }' | sed 's/@.*//' | sort -u)
missing=$(nm -D --undefined-only "$lib" | awk '$1 == "U" { print $2 }' | sed 's/@.*//' | sort -u |
  comm -23 - <(echo "$defined") | grep -v -E '^(ifc_.*|property_get|property_set)$' || true)
if [ -n "$missing" ]; then
  echo "device build: the library needs names no device library defines:"
  echo "$missing"
  exit 1
fi
# The interface names leave the device library as they leave the host one.
exported=$(nm -D --defined-only "$lib" | awk '{ print $NF }' | sed 's/@.*//' | sort -u)
absent=$(grep -hvE '^(#|$)' tests/abi/exported_names.d/* | sort -u | comm -23 - <(echo "$exported"))
if [ -n "$absent" ]; then
  echo "device build: the version script leaves out interface names:"
  echo "$absent"
  exit 1
fi
echo "device build: ${#sources[@]} sources compile and link against the platform's liblog and libcutils"
