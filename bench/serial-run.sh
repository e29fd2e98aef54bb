#!/usr/bin/env bash
# A class set with serial numbers at real pace: N simulated Writers (default
# 8), the last one without a board; qlarkw-cli --all write with a run log,
# first without serial numbers and then with them, each timed; then two
# such runs at once on one --serial-file, each on Writers of its own.
# Usage: bench/serial-run.sh [BUILD_DIR] [HEX_FILE] [N]
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

# Starts qlarkw-sim with $count Writers linked as $work/$1-1...; the last
# one reaches no board.
serve() {
    : >"$work/$1.paths"
    "$sim" --count "$count" --pace real --fault "$count:noboard=1" --link "$work/$1" \
        >"$work/$1.paths" &
    pids+=($!)
    while [[ $(wc -l <"$work/$1.paths") -lt $count ]]; do sleep 0.1; done
}
devices() {
    local list=() i
    for ((i = 1; i <= count; i++)); do list+=("serial:$work/$1-$i"); done
    (IFS=,; echo "${list[*]}")
}
# label, Writers' name, qlarkw-cli arguments...: prints the wall time.
timed() {
    local label=$1 name=$2 start end
    shift 2
    start=$(date +%s.%N)
    QLARKW_DEVICE=$(devices "$name") "$cli" --board 1 --all write "$hex" "$@" \
        >"$work/$label.out" 2>"$work/$label.err" || true
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}
serials() {  # the serial numbers of a log, one a line
    cut -d, -f6 "$1" | grep -v '^$' || true
}

serve a
plain=$(timed plain a --log "$work/plain.csv")
numbered=$(timed numbered a --serial 100 --serial-at 0x3E:2 --log "$work/run.csv")
echo "without serial numbers: $plain s; with: $numbered s ($(echo "scale=1; ($numbered - $plain) * 100 / $plain" | bc) %)"
echo "log lines: $(wc -l <"$work/run.csv"); serial numbers: $(serials "$work/run.csv" | sort -n | tr '\n' ' ')"
echo "distinct: $(serials "$work/run.csv" | sort -u | wc -l)"

serve b
timed first a --serial 1 --serial-at 0x3E:2 --serial-file "$work/class.serial" \
    --log "$work/both.csv" >/dev/null &
first=$!
timed second b --serial 1 --serial-at 0x3E:2 --serial-file "$work/class.serial" \
    --log "$work/both.csv" >/dev/null
wait "$first"
echo "two runs at once: $(wc -l <"$work/both.csv") log lines, $(serials "$work/both.csv" | wc -l) numbers, $(serials "$work/both.csv" | sort -u | wc -l) distinct: $(serials "$work/both.csv" | sort -n | tr '\n' ' ')"
echo "serial file: $(tr '\n' ' ' <"$work/class.serial")"
