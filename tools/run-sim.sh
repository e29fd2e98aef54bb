#!/usr/bin/env bash
# Installs what is missing, builds, and starts the desktop program qlarkw on
# the simulated Writer with the sample program samples/blink.hex preselected.
# The simulated chip is kept in build/app/sim-chip.hex, so writes, reads and
# erases of separate runs see the same chip.
#
# Without a display it runs the same job from the terminal instead (write
# the sample into the simulated chip, read it back) and says how to start the
# window under Xvfb:  xvfb-run -a bash tools/run-sim.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh"
"$root/tools/build.sh" -DQLARKW_BUILD_TESTS=OFF
build=${QLARKW_BUILD_DIR:-$root/build}
app="$build/app"
export QLARKW_DEVICE=sim QLARKW_SIM_STATE="$app/sim-chip.hex"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cli="$build/cli/qlarkw-cli"
  echo "No display: running the write on the simulated Writer from the terminal."
  echo "== write samples/blink.hex into the simulated PIC"
  "$cli" write "$root/samples/blink.hex" --verify
  echo "== read the PIC back into $build/readback.hex"
  "$cli" read -o "$build/readback.hex"
  head -n 3 "$build/readback.hex"
  echo
  echo "To start the window itself on this machine, run it under Xvfb:"
  echo "  $root/tools/install-deps.sh screens && xvfb-run -a bash tools/run-sim.sh"
  exit 0
fi

# Preselect the sample through the settings file beside the program, unless
# an earlier run left one there.
ini="$app/qlarkw.ini"
[ -f "$ini" ] || printf '[File]\r\nname=%s\r\n' "$root/samples/blink.hex" > "$ini"
exec "$app/qlarkw"
