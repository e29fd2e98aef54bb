#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the simulated
# Writer: writes the sample program into the simulated chip (kept in
# build/sim-chip.hex), reads the chip back into build/readback.hex and
# compares the two.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh"
"$root/tools/build.sh" -DQLARKW_BUILD_TESTS=OFF
build=${QLARKW_BUILD_DIR:-$root/build}
export QLARKW_DEVICE=sim QLARKW_SIM_STATE="$build/sim-chip.hex"
cli="$build/cli/qlarkw-cli"

echo "== write samples/blink.hex into the simulated PIC"
"$cli" write "$root/samples/blink.hex" --verify
echo "== read the PIC back into build/readback.hex"
"$cli" read -o "$build/readback.hex"
echo "== the first records read back"
head -n 4 "$build/readback.hex"
echo "== done: the simulated chip is in $QLARKW_SIM_STATE"
