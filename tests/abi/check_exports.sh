#!/usr/bin/env bash
# The library's dynamic symbol table must hold every interface name, unmangled, and no
# C++ symbol; it defines none of the platform's names, which come from the host stand-in
# library beside it (check_platform_names.sh).
# Usage: check_exports.sh LIB NAMES_FILE... (one name a line, '#' comments)
set -u
here=$(cd "$(dirname "$0")" && pwd)
lib=$1
shift
names=$(cat "$@")
defined=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sed 's/@.*//' | sort -u)
fail=0
while read -r name; do
  case "$name" in ''|'#'*) continue ;; esac
  if ! grep -qx -- "$name" <<<"$defined"; then echo "missing export: $name"; fail=1; fi
done <<<"$names"
leaks=$(grep -E '^_Z' <<<"$defined")
if [ -n "$leaks" ]; then echo "C++ symbols leak out:"; echo "$leaks" | head -20; fail=1; fi
"$here/check_platform_names.sh" "$lib" "$(dirname "$lib")/libzorvik-host.so" "$here/platform_names.txt" || fail=1
[ $fail -eq 0 ] && echo "abi: $(grep -cvE '^(#|$)' <<<"$names") names exported, no C++ symbols"
exit $fail
