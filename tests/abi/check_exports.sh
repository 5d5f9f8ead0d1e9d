#!/usr/bin/env bash
# The library's dynamic symbol table must hold every interface name, unmangled, and no
# C++ symbol. Usage: check_exports.sh LIB NAMES_FILE... (one name a line, '#' comments)
set -u
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
[ $fail -eq 0 ] && echo "abi: $(grep -cvE '^(#|$)' <<<"$names") names exported, no C++ symbols"
exit $fail
