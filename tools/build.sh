#!/usr/bin/env bash
# Configures and builds into build/ (or $QLARKW_BUILD_DIR). Extra arguments go
# to CMake's configure step, e.g. -DQLARKW_BUILD_TESTS=OFF.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QLARKW_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
