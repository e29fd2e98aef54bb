#!/usr/bin/env bash
# Builds the libFuzzer targets under fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ (or $QLARKW_FUZZ_BUILD_DIR) and
# runs each from its seeds in fuzz/corpus/<target>/:
#   tools/fuzz.sh [SECONDS] [TARGET...]   a campaign: SECONDS per target (default 60)
#   tools/fuzz.sh --ci [TARGET...]        CI: a fixed number of runs per target
#                                         ($QLARKW_FUZZ_RUNS, default 5000), seed 1
# New inputs go to build-fuzz/corpus/<target>/ (the seeds stay as they are);
# a target stops at its first crash, kept in build-fuzz/crashes/<target>/.
# Prints, per target, the executions and the crashes; fails when any target
# crashed. Reproduce a crash with: build-fuzz/fuzz/<target> FILE
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QLARKW_FUZZ_BUILD_DIR:-$root/build-fuzz}
all_targets=(hex_plan settings_file eeprom_data_file desktop_command_line cli_command_line writer_replies)

mode=campaign
seconds=60
if [ "${1:-}" = "--ci" ]; then
    mode=ci
    shift
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
    seconds=$1
    shift
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")

"$root/tools/install-deps.sh" fuzz
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
start=$SECONDS
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja "${launcher[@]}" \
    -DQLARKW_BUILD_FUZZ=ON -DQLARKW_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzzers -j "$(nproc)"
echo "fuzz: built in $((SECONDS - start)) s"

# The targets write their files in a temporary folder: in memory when there
# is one.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

failed=0
summary=()
for target in "${targets[@]}"; do
    seeds=$root/fuzz/corpus/$target
    corpus=$build/corpus/$target
    crashes=$build/crashes/$target
    [ -x "$build/fuzz/$target" ] || { echo "fuzz: no target $target" >&2; exit 2; }
    mkdir -p "$corpus" "$crashes"
    how=(-max_total_time="$seconds")
    [ $mode = ci ] && how=(-runs="${QLARKW_FUZZ_RUNS:-5000}" -seed=1)
    log=$build/$target.log
    started=$SECONDS
    status=0
    "$build/fuzz/$target" "${how[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$crashes/" "$corpus" "$seeds" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    found=0
    if [ $status -ne 0 ]; then
        found=1
        failed=1
        echo "fuzz: $target crashed:" >&2
        grep -E 'broken rule|ERROR|runtime error|SUMMARY|Test unit written' "$log" | head -20 >&2 || tail -20 "$log" >&2
    fi
    summary+=("$(printf '%-22s %12s %9s %8s' "$target" "${runs:-?}" "$((SECONDS - started)) s" "$found")")
done

printf '%-22s %12s %9s %8s\n' target executions time crashes
printf '%s\n' "${summary[@]}"
exit $failed
