#!/usr/bin/env bash
# Installs what is missing, builds everything with the tests and runs them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh" test
"$root/tools/build.sh" -DQLARKW_BUILD_TESTS=ON
build=${QLARKW_BUILD_DIR:-$root/build}
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
