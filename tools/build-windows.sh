#!/usr/bin/env bash
# Cross-builds the Windows programs (qlarkw.exe, qlarkw-cli.exe) and the test
# executables with mingw-w64 into build-win/ (or $QLARKW_WIN_BUILD_DIR),
# against the Qt for Windows of tools/qt-windows.sh. Extra arguments go to
# CMake's configure step, e.g. -DQLARKW_BUILD_TESTS=OFF, up to a "--target":
# it and what follows go to the build step (only these targets are built).
# ccache is used when it is installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QLARKW_WIN_BUILD_DIR:-$root/build-win}
configure=()
while [ $# -gt 0 ] && [ "$1" != --target ]; do configure+=("$1"); shift; done
qt=$(bash "$root/tools/qt-windows.sh" | tail -n1)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache
    -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DQLARKW_QT_WINDOWS="$qt" -DCMAKE_BUILD_TYPE=Release "${configure[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" "$@"
