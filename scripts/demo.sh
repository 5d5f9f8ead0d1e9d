#!/usr/bin/env bash
# Builds the library and the programs the README names (zvril, zv-modemsim), then runs the
# demo: the library as the radio daemon runs it, against the built-in simulated modem.
# Arguments go to zvril (scripts/demo.sh --module cdma, scripts/demo.sh --verbose, ...).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

mkdir -p build
build_log=build/demo-build.log
: > "$build_log"
if [ -f build/build.ninja ]; then
  echo "building (only what changed)…"
else
  echo "building (first run only, a minute or two)…"
fi

# The build's own progress: one line that counts up on a terminal, every step otherwise. The
# full output goes to the build log and is shown when the build fails.
show_progress() {
  local line width
  width=$(( $(tput cols 2>/dev/null || echo 80) - 3 ))
  while IFS= read -r line; do
    printf '%s\n' "$line" >> "$build_log"
    case "$line" in
      \[*/*\]*)
        if [ -t 1 ]; then printf '\r\033[K  %s' "${line:0:$width}"; else printf '  %s\n' "$line"; fi ;;
    esac
  done
  if [ -t 1 ]; then printf '\r\033[K'; fi
}

failed() {
  if [ -t 1 ]; then printf '\r\033[K'; fi
  echo "---- $build_log"
  tail -n 60 "$build_log"
  echo "demo: $1 failed (output above, all of it in $build_log)"
  exit 1
}

if [ ! -f build/build.ninja ]; then
  echo "  configuring…"
  cmake -S . -B build -G Ninja >> "$build_log" 2>&1 || failed "configuring the build"
fi
set +e
NINJA_STATUS='[%f/%t] ' ninja -C build zorvik-ril zvril zv-modemsim 2>&1 | show_progress
status=${PIPESTATUS[0]}
set -e
[ "$status" -eq 0 ] || failed "building"
echo "built: build/lib/libzorvik-ril.so, build/bin/zvril, build/bin/zv-modemsim"
echo "starting the simulated modem and the library…"
echo
exec build/bin/zvril --log build/zvril.log "$@"
