#!/bin/bash
# Replays every kept transcript: zv-modemsim --replay plays the recorded modem, the recorded
# zvril command runs against it, and its journal (requests, responses and unsolicited
# responses, without times and AT lines) must be the kept one. A command the recording has no
# answer for fails the transcript too: the library then asked the modem something new.
#
#   run.sh BIN_DIR [TRANSCRIPT...]      (default: every *.transcript beside this script)
set -u
bin=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -eq 0 ]; then set -- "$here"/*.transcript; fi

# The request/response lines of a journal, then its unsolicited responses, without times: how
# the two interleave depends on thread timing, the order within each does not.
calls() {
    awk -F'\t' -v OFS='\t' '$2 == "req" || $2 == "resp" { $1 = ""; print }' "$1"
    awk -F'\t' -v OFS='\t' '$2 == "unsol" { $1 = ""; print }' "$1"
}

failed=0
for t in "$@"; do
    name=$(basename "$t" .transcript)
    kept=${t%.transcript}.journal
    work=$(mktemp -d /tmp/zv-replay-XXXXXX)
    "$bin/zv-modemsim" --replay "$t" --root "$work/root" >"$work/sim.out" 2>"$work/sim.err" &
    sim=$!
    for _ in $(seq 100); do [ -S "$work/root/modemsim.sock" ] && break; sleep 0.1; done
    # The recorded command line, less what chose the modem and the files of that run.
    read -r -a words <<<"$(sed -n 's/^# command //p' "$t")"
    args=()
    for ((i = 1; i < ${#words[@]}; i++)); do
        case ${words[i]} in
            --root|--trace|--log|--module|--sim) i=$((i + 1)) ;;
            --ecm|--device) ;;
            # Recording asks the library one more thing (the card status for the header).
            --record) args+=(--record "$work/again.transcript"); i=$((i + 1)) ;;
            *) args+=("${words[i]}") ;;
        esac
    done
    timeout 120 "$bin/zvril" --root "$work/root" --trace "$work/journal" --log "$work/zvril.log" "${args[@]}" \
        >"$work/zvril.out" 2>&1
    kill -TERM "$sim" 2>/dev/null
    wait "$sim"
    simrc=$?
    if ! diff <(calls "$kept") <(calls "$work/journal") >"$work/diff"; then
        echo "FAIL $name: the journal differs from the kept one (< kept, > now):"
        head -40 "$work/diff"
        failed=1
    elif [ "$simrc" -ne 0 ]; then
        echo "FAIL $name: zv-modemsim exited with $simrc:"
        cat "$work/sim.err"
        failed=1
    else
        echo "ok   $name"
        rm -rf "$work"
        continue
    fi
    echo "     (kept in $work)"
done
exit $failed
