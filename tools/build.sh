#!/usr/bin/env bash
# Configures and builds into build/ (or $QLARKW_BUILD_DIR). Extra arguments go
# to CMake's configure step, e.g. -DQLARKW_BUILD_TESTS=OFF. ccache is used
# when it is installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QLARKW_BUILD_DIR:-$root/build}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
