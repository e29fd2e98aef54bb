#!/bin/sh
# Starts qlarkw on the simulated Writer with a sample HEX file preselected.
# The chip of the simulated Writer is kept in sim-chip.hex beside the
# program, so writes, reads and erases of separate runs see the same chip.
# Usage: tools/run-sim.sh [BUILD_DIR]   (under Xvfb: xvfb-run -a tools/run-sim.sh)
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
app="$build/app"
[ -x "$app/qlarkw" ] || { echo "build first: $app/qlarkw is missing" >&2; exit 1; }

# A small program: a loop at address 0 that toggles PORTB, and the
# configuration word 0x3FFA (HS oscillator, watchdog, power-up timer and code
# protection off).
sample="$app/sample.hex"
printf '%s\r\n' \
  ':100000008316003086008312FF308600F0308600B1' \
  ':0400100004280000C0' \
  ':02400E00FA3F77' \
  ':00000001FF' > "$sample"

ini="$app/qlarkw.ini"
if [ ! -f "$ini" ]; then
  printf '[File]\r\nname=%s\r\n' "$sample" > "$ini"
fi
export QLARKW_DEVICE=sim
export QLARKW_SIM_STATE="$app/sim-chip.hex"
exec "$app/qlarkw"
