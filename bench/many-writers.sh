#!/usr/bin/env bash
# One Writer against N at real pace: qlarkw-cli write of a HEX file on one
# simulated Writer, then --all on N (default 8), each measured by
# /usr/bin/time. Usage: bench/many-writers.sh [BUILD_DIR] [HEX_FILE] [N]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
hex=${2:-$build/tests/cli/hex/full.hex}
count=${3:-8}
sim=$build/tools/qlarkw-sim/qlarkw-sim
cli=$build/cli/qlarkw-cli
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Starts qlarkw-sim with $1 Writers linked as $work/$2-1...; waits for their paths.
serve() {
    : >"$work/$2.paths"
    "$sim" --count "$1" --pace real --link "$work/$2" >"$work/$2.paths" &
    pids+=($!)
    while [[ $(wc -l <"$work/$2.paths") -lt $1 ]]; do sleep 0.1; done
}
devices() {  # serial:$work/NAME-1,... (a single Writer's link has no number)
    local list=() i
    if (($1 == 1)); then echo "serial:$work/$2"; return; fi
    for ((i = 1; i <= $1; i++)); do list+=("serial:$work/$2-$i"); done
    (IFS=,; echo "${list[*]}")
}
measure() {  # label, QLARKW_DEVICE, qlarkw-cli arguments...
    local label=$1 device=$2
    shift 2
    QLARKW_DEVICE=$device /usr/bin/time -f "$label: wall %e s, user %U s, sys %S s, CPU %P of wall" \
        "$cli" --board 1 "$@" >"$work/$label.out" 2>"$work/$label.err" || {
        cat "$work/$label.out" "$work/$label.err"
        exit 1
    }
    tail -n 1 "$work/$label.err"
}

serve 1 one
serve "$count" many
measure "1 Writer" "$(devices 1 one)" write "$hex"
measure "$count Writers (--all)" "$(devices "$count" many)" --all write "$hex"
