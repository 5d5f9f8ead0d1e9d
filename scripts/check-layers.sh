#!/usr/bin/env bash
# Fails when a lower layer of the library includes a header of a higher one.
#
# Layers, bottom to top:
#   0 platform/        host stand-ins for the platform interfaces
#   1 src/base/        logging, export macro, shared-word access, string helpers
#   2 src/atchannel/ src/codec/ src/ports/
#   3 include/         the exported interface: declarations only (the services' and core's
#                      names, the shared words, RilMessage), for the embedder and every layer above
#   4 src/service/     helpers only request handlers share (argument checks, completion)
#   5 src/cc/ src/dev/ src/mm/ src/ps/ src/sar/ src/sim/ src/sms/ src/ussd/   the services
#   6 src/core/        entry, dispatch, radio state, main loop
# A file may include headers of its own layer and of any layer below it. Services may include
# each other's headers (they are one layer).
set -euo pipefail
cd "$(dirname "$0")/.."

layer_of() {  # path relative to the repository -> layer number, or "" outside the library
    case "$1" in
        platform/*) echo 0 ;;
        src/base/*) echo 1 ;;
        src/atchannel/* | src/codec/* | src/ports/*) echo 2 ;;
        include/*) echo 3 ;;
        src/service/*) echo 4 ;;
        src/cc/* | src/dev/* | src/mm/* | src/ps/* | src/sar/* | src/sim/* | src/sms/* | src/ussd/*) echo 5 ;;
        src/core/*) echo 6 ;;
        *) echo "" ;;
    esac
}

# The library's include path, in the order the build searches it.
search=(platform/include platform/common/include include src/base src/service src)

resolve() {  # including file, header name, quoted? -> repository path of the header, or ""
    local from=$1 name=$2 quoted=$3 dir
    if [ "$quoted" = 1 ] && [ -f "$(dirname "$from")/$name" ]; then
        realpath --relative-to=. "$(dirname "$from")/$name"
        return
    fi
    for dir in "${search[@]}"; do
        if [ -f "$dir/$name" ]; then echo "$dir/$name"; return; fi
    done
    echo ""
}

fail=0
checked=0
while IFS= read -r file; do
    from_layer=$(layer_of "$file")
    [ -n "$from_layer" ] || continue
    while IFS= read -r inc; do
        name=${inc#*[\"<]}
        name=${name%%[\">]*}
        quoted=0
        [[ $inc == *'"'* ]] && quoted=1
        target=$(resolve "$file" "$name" "$quoted")
        [ -n "$target" ] || continue
        to_layer=$(layer_of "$target")
        [ -n "$to_layer" ] || continue
        checked=$((checked + 1))
        if [ "$to_layer" -gt "$from_layer" ]; then
            echo "layering: $file (layer $from_layer) includes $target (layer $to_layer)"
            fail=1
        fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$file" || true)
done < <(git ls-files -co --exclude-standard platform src include | grep -E '\.(h|hpp|cpp|cc|c)$')

[ $fail -eq 0 ] && echo "layering: $checked includes checked, none upwards"
exit $fail
