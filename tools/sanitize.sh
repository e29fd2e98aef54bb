#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ (or $QLARKW_ASAN_BUILD_DIR) and
# runs it. Every report stops the program that makes it with its own exit
# code, so any report fails its test, also in the programs the tests start
# (qlarkw-cli, qlarkw-sim).
#   tools/sanitize.sh [CTEST ARGUMENTS...]     e.g. tools/sanitize.sh -R cli
# The compiler is g++ unless CXX names another (CXX=clang++ works too).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QLARKW_ASAN_BUILD_DIR:-$root/build-asan}
"$root/tools/install-deps.sh" test

flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
start=$SECONDS
QLARKW_BUILD_DIR=$build CXX=${CXX:-g++} "$root/tools/build.sh" -DQLARKW_BUILD_TESTS=ON \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DCMAKE_CXX_FLAGS="$flags"
echo "sanitize: built in $((SECONDS - start)) s"

# One exit code that no test expects from our programs, set for each
# sanitizer (each reads its own variable, and a leak found at exit takes
# LeakSanitizer's).
report_exit=86
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:exitcode=$report_exit:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:exitcode=$report_exit:print_stacktrace=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-exitcode=$report_exit}
start=$SECONDS
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
echo "sanitize: tests ran in $((SECONDS - start)) s"
