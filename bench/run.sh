#!/usr/bin/env bash
# The jobs' speed against the bound of the wire, in one table (see README,
# "Speed"): every job of qlarkw-cli against the paced qlarkw-sim on a pty,
# the full write with the bridge's latency timer at 16 ms and at ours, our
# own overhead, and the desktop program's first window and peak memory.
#
#   bench/run.sh [--quick] [--runs N] [--build DIR]
#
# --quick runs each paced job once (about a minute and a half); the default
# takes the median of three runs (about five minutes). Needs qlarkw-cli,
# qlarkw-sim and qlarkw built (tools/build.sh) and python3.
set -euo pipefail
exec python3 "$(dirname "$0")/speed.py" "$@"
