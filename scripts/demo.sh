#!/usr/bin/env bash
# Builds the library and runs the host program against it (see README).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
ninja -C build zorvik-ril zvril >/dev/null
exec build/bin/zvril "$@"
