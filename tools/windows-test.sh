#!/usr/bin/env bash
# The Windows build and its tests under Wine:
#   tools/windows-test.sh         every test suite
#   tools/windows-test.sh --ci    CI's share (about 10 minutes on two cores)
# Cross-builds the programs and the test suites (tools/build-windows.sh),
# runs the suites under Wine through CTest, then qlarkw-cli.exe end to end
# (tools/windows-roundtrip.sh) and the setup program and the portable zip
# (tools/windows-package-test.sh).
#
# Under Wine each test is a Windows process of its own, started in a second
# or more, and the whole of the suites takes about 25 minutes on two cores.
# CI builds and runs the suites of the Windows code (the COM port search,
# ftd2xx.dll, the settings location, the command line, the backends' table)
# and leaves the rest, which is the same code as on Linux and runs there,
# to the full run.
#
# The Qt for Windows comes from the cache (~/.cache/qlarkw, or
# $QLARKW_QT_WINDOWS) or from the prebuilt archive in ../shared/qt-windows/
# beside the repository. With neither, building it from source would take
# about 40 minutes: the Windows part is then skipped, with one line saying
# so, and this script succeeds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
ci=false
case "${1:-}" in
    --ci) ci=true ;;
    "") ;;
    *) echo "usage: tools/windows-test.sh [--ci]" >&2; exit 2 ;;
esac
start=$SECONDS
if ! bash "$root/tools/qt-windows.sh" --check >/dev/null 2>&1; then
    echo "windows: skipped: no Qt for Windows in the cache nor in ../shared/qt-windows" \
        "(tools/qt-windows.sh builds it from source in about 40 minutes)"
    exit 0
fi
"$root/tools/install-deps.sh" windows test
build=${QLARKW_WIN_BUILD_DIR:-$root/build-win}
export QLARKW_WIN_BUILD_DIR=$build

stopwine() { WINEPREFIX=$build/wine /usr/lib/wine/wineserver -k 2>/dev/null || true; }
trap stopwine EXIT

targets=()
if $ci; then
    targets=(--target qlarkw qlarkw-cli link_comport_test link_d2xx_test link_auto_test
        link_writer_list_test link_contract_test backends_tests settings_tests shell_jobs_tests)
fi
bash "$root/tools/build-windows.sh" -DQLARKW_BUILD_TESTS=ON "${targets[@]}"
built=$SECONDS
echo "windows: built in $((built - start)) s"

# The host's simulated Writer, which Wine's COM port is mapped to: from the
# Linux build when there is one, else built on its own.
host=${QLARKW_BUILD_DIR:-$root/build}
if [ ! -x "$host/tools/qlarkw-sim/qlarkw-sim" ]; then
    host=$root/build-win-host
    cmake -S "$root" -B "$host" -G Ninja -DQLARKW_BUILD_TESTS=OFF >/dev/null
    cmake --build "$host" --target qlarkw-sim
fi

# The suites not built (CI's share) stand in CTest's list as NAME_NOT_BUILT.
ctest --test-dir "$build" -j "$(nproc)" --timeout 900 --output-on-failure -E '_NOT_BUILT$'
tested=$SECONDS
echo "windows: the test suites passed under Wine in $((tested - built)) s"
bash "$root/tools/windows-roundtrip.sh" "$build" "$host/tools/qlarkw-sim/qlarkw-sim"
if [ -x "$root/tools/windows-package-test.sh" ]; then
    bash "$root/tools/windows-package-test.sh" "$build"
fi
echo "windows: passed in $((SECONDS - start)) s"
