#!/usr/bin/env bash
# qlarkw-cli.exe of the Windows build under Wine, end to end:
#  1. on the simulated Writer in the program (QLARKW_DEVICE=sim): a program
#     assembled by gpasm is written, read back and compared by srecord;
#  2. through Win32's serial calls: Wine's COM5 is the pty of a qlarkw-sim
#     (the host's simulated Writer), written, verified, its EEPROM read, by
#     serial:COM5;
#  3. found by its USB description: the same COM5, registered in the Wine
#     prefix as the FTDI driver registers a port (ftdi-com5.reg), reached by
#     QLARKW_DEVICE=auto with no ftd2xx.dll installed.
#   tools/windows-roundtrip.sh WIN_BUILD_DIR HOST_QLARKW_SIM
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1")
sim=$(realpath "$2")
run=$build/wine-run.sh
cli=$build/cli/qlarkw-cli.exe
export WINEPREFIX=${QLARKW_WINEPREFIX:-$build/wine}
work=$(mktemp -d)
simpid=
cleanup() {
    [ -z "$simpid" ] || kill "$simpid" 2>/dev/null || true
    rm -f "$WINEPREFIX/dosdevices/com5"
    "$run" reg delete 'HKLM\System\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+QLWINE01A' \
        /f >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
win() { echo "Z:$1"; }  # a host path as the Windows program sees it
fail() { echo "windows-roundtrip: $*" >&2; exit 1; }
step() { echo "windows-roundtrip: $*"; }

# The program and how srecord compares a read-out with it: the program
# words and the configuration word.
gpasm -q -p p16f84a -o "$work/servo.hex" "$root/tests/data/servo.asm"
same() {
    local ranges=(-crop 0 0x800 0x400E 0x4010)
    srec_cmp "$1" -intel "${ranges[@]}" "$2" -intel -crop -within "$1" -intel "${ranges[@]}"
}

step "1. simulated Writer in the program"
export QLARKW_SIM_STATE; QLARKW_SIM_STATE=$(win "$work/chip.hex")
QLARKW_DEVICE=sim "$run" "$cli" write "$(win "$work/servo.hex")" --verify >"$work/out" 2>&1 ||
    { cat "$work/out"; fail "write on the simulated Writer failed"; }
QLARKW_DEVICE=sim "$run" "$cli" read -o "$(win "$work/back.hex")" >"$work/out" 2>&1 ||
    { cat "$work/out"; fail "read on the simulated Writer failed"; }
same "$work/servo.hex" "$work/back.hex" || fail "the read-out differs from the program"
unset QLARKW_SIM_STATE
step "   written, read back, srec_cmp: the same"

step "2. COM5 = a qlarkw-sim pty, through Win32's serial calls"
"$sim" --pace real --idle-exit 120 >"$work/sim.out" 2>"$work/sim.err" &
simpid=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
pty=$(head -n1 "$work/sim.out")
[ -c "$pty" ] || fail "qlarkw-sim gave no pty: $(cat "$work/sim.err")"
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com5"
blink=$(win "$root/samples/blink.hex")
started=$SECONDS
QLARKW_DEVICE=serial:COM5 "$run" "$cli" write "$blink" --verify >"$work/out" 2>&1 ||
    { cat "$work/out"; fail "write through COM5 failed"; }
grep -q '^verify: ' "$work/out" || { cat "$work/out"; fail "no verify after the write"; }
QLARKW_DEVICE=serial:COM5 "$run" "$cli" verify "$blink" >/dev/null 2>&1 ||
    fail "verify through COM5 failed"
QLARKW_DEVICE=serial:COM5 "$run" "$cli" eeprom read -o "$(win "$work/eeprom.txt")" \
    >"$work/out" 2>&1 || { cat "$work/out"; fail "EEPROM read through COM5 failed"; }
[ "$(grep -c . "$work/eeprom.txt")" -eq 32 ] || fail "the EEPROM data file has not 32 lines"
step "   write --verify, verify, eeprom read: done in $((SECONDS - started)) s at 4800 baud pace"

step "3. QLARKW_DEVICE=auto: no ftd2xx.dll, COM5 found by its USB description"
"$run" reg import "$(win "$root/tests/data/ftdi-com5.reg")" >/dev/null 2>&1 ||
    fail "cannot register the port"
QLARKW_DEVICE=auto "$run" "$cli" --verbose eeprom read >"$work/out" 2>&1 ||
    { cat "$work/out"; fail "auto found no Writer"; }
grep -q 'device: auto (tries: d2xx, serial)' "$work/out" ||
    { cat "$work/out"; fail "auto does not try d2xx, then serial"; }
grep -q 'COM5' "$work/out" || { cat "$work/out"; fail "auto did not take COM5"; }
QLARKW_DEVICE=auto "$run" "$cli" list >"$work/out" 2>&1 || { cat "$work/out"; fail "list failed"; }
grep -q '^QLWINE01 *serial *COM5' "$work/out" || { cat "$work/out"; fail "list did not name COM5"; }
step "   d2xx missing, serial found COM5 (serial number QLWINE01): EEPROM read"
