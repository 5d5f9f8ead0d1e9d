#!/usr/bin/env bash
# The library must define none of the platform's names (platform_names.txt); on the host it
# takes them from the stand-in library, which it names as a dependency found beside itself, so
# a program that loads the library alone by its path still gets the host's log and properties.
# Usage: check_platform_names.sh LIB HOST_LIB DENYLIST
set -u
lib=$1 host=$2 denylist=$3
pattern=$(grep -vE '^(#|$)' "$denylist" | paste -sd'|')
symbols() {  # defined|undefined, file -> names, one a line
  nm -D "--$1-only" "$2" | awk '{print $NF}' | sed 's/@.*//' | sort -u
}
fail=0
clash=$(symbols defined "$lib" | grep -xE -- "$pattern")
if [ -n "$clash" ]; then echo "the library defines platform names:"; echo "$clash"; fail=1; fi

# What the library takes from the platform must all be served by the stand-ins (an empty set
# would mean this check reads nothing).
wanted=$(symbols undefined "$lib" | grep -xE -- "$pattern")
served=$(symbols defined "$host")
if [ -z "$wanted" ]; then echo "the library uses no platform name: nothing read from $lib?"; fail=1; fi
for name in $wanted; do
  grep -qx -- "$name" <<<"$served" || { echo "not served by the stand-ins: $name"; fail=1; }
done

dynamic=$(readelf -d "$lib")
needed=$(sed -n 's/.*(NEEDED) *Shared library: \[\(.*\)\]/\1/p' <<<"$dynamic")
grep -qxF -- "$(basename "$host")" <<<"$needed" ||
  { echo "the library does not name $(basename "$host") as a dependency"; fail=1; }
runpath=$(sed -n 's/.*(RUNPATH) *Library runpath: \[\(.*\)\]/\1/p' <<<"$dynamic")
[ "$runpath" = '$ORIGIN' ] || { echo "run path is '$runpath', not \$ORIGIN"; fail=1; }
[ "$(cd "$(dirname "$lib")" && pwd)" = "$(cd "$(dirname "$host")" && pwd)" ] ||
  { echo "the stand-in library is not beside the library"; fail=1; }

[ $fail -eq 0 ] && echo "platform names: none defined, $(wc -w <<<"$wanted") served by $(basename "$host") (\$ORIGIN)"
exit $fail
