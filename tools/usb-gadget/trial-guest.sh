#!/bin/bash
# The trials on the guest's real USB stack, run by tools/usb-trial.sh inside
# its QEMU guest (as root, in the host's root shared read-only). Each trial
# leaves RESULTS/trial-N.log, and RESULTS/trial-N.passed when it passed
# (with RESULTS/trial-N.note for its figures).
#
# trial 1: serial backend through ftdi_sio on the gadget: list, write and verify 1024 words, read-back, erase, EEPROM, configuration word, firmware version, latency timer
# trial 2: QEMU's own emulated FTDI chip on a qlarkw-sim pty: serial backend write and verify
# trial 3: ftdi backend through libftdi1 on the gadget: the same jobs, the kernel's driver back afterwards
# trial 4: unplug half-way through a write (qlarkw-cli, the desktop program's operation dialog): failure at once, nothing lost, the next write succeeds
# trial 5: permissions: an ordinary user without and with the udev rule
# trial 6: speed of the full write on the real stack, latency timer 1 ms and 16 ms
set -u
CLI=$BUILD/cli/qlarkw-cli
GADGET=$BUILD/tools/usb-gadget/qlarkw-usb-gadget
PRODUCT="Q-LARK USB Programmer"
SERIAL=QLW00001
UDC_FILE=/sys/kernel/config/usb_gadget/qlarkw/UDC
HEX=$RESULTS/full.hex
T=/tmp/trial
export HOME=/tmp/home XDG_CONFIG_HOME=/tmp/home/.config QLARKW_DEVICE=serial
mkdir -p "$T" "$XDG_CONFIG_HOME/qlarkw"
cd "$T"

fail() {
  echo "FAILED: $*"
  exit 1
}
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }

# The tty of a USB device whose product string is $1 (sysfs, as the
# program's own search reads it).
tty_of() {
  local d
  for d in /sys/class/tty/ttyUSB*; do
    [ -e "$d" ] || continue
    if [ "$(cat "$d/device/../../product" 2>/dev/null)" = "$1" ]; then
      echo "/dev/${d##*/}"
      return 0
    fi
  done
  return 1
}
wait_tty() {
  local i
  for i in $(seq 300); do
    if tty_of "$1" >/dev/null && [ -c "$(tty_of "$1")" ]; then return 0; fi
    sleep 0.1
  done
  return 1
}
# Runs qlarkw-cli, its output kept as $T/$1.out and .err; prints them.
cli() {
  local name=$1
  shift
  "$CLI" "$@" >"$T/$name.out" 2>"$T/$name.err"
  local rc=$?
  echo "\$ qlarkw-cli $* -> exit $rc"
  sed 's/^/  out: /' "$T/$name.out" | head -n 20
  sed 's/^/  err: /' "$T/$name.err" | head -n 20
  return $rc
}
# Program memory 0..0x3FF of two HEX files alike (srec_cmp).
same_program() {
  srec_cmp "$1" -intel -crop 0 0x800 "$2" -intel -crop 0 0x800
}
note() { echo "$*" >>"$RESULTS/trial-$TRIAL.note"; }

start_gadget() {
  QLARKW_SIM_TRACE=$T/gadget-trace.txt QLARKW_SIM_STATE=$T/gadget-chip.hex \
    "$GADGET" --serial "$SERIAL" >"$T/gadget.out" 2>"$T/gadget.err" &
  GADGET_PID=$!
  wait_tty "$PRODUCT"
}

trial_1() {
  wait_tty "$PRODUCT" || fail "the gadget's tty did not appear"
  local tty
  tty=$(tty_of "$PRODUCT")
  cli list list || fail "list"
  grep -q "^$SERIAL  *serial  *$tty (usb " "$T/list.out" || fail "list does not show $SERIAL on $tty"
  cli erase --board 1 erase || fail "erase"
  cli erased --board 1 read -o "$T/erased.hex" || fail "read after the erase"
  srec_cmp "$T/erased.hex" -intel -crop 0 0x800 -generate 0 0x800 -repeat-data 0xFF 0x3F ||
    fail "program memory not blank after the erase"
  local t0
  t0=$(now)
  cli write --board 1 write "$HEX" --verify || fail "write --verify"
  note "full write + verify of 1024 words through ftdi_sio: $(since "$t0") s"
  cli read --board 1 read -o "$T/back.hex" || fail "read"
  same_program "$HEX" "$T/back.hex" || fail "the read-back differs from the program"
  cli eset --board 1 eeprom set 5 0xA5 || fail "eeprom set"
  cli eread --board 1 eeprom read || fail "eeprom read"
  awk '$1 == "00h" { exit !($7 == "A5") }' "$T/eread.out" || fail "EEPROM byte 05 is not A5"
  cli config --board 1 config || fail "config"
  grep -q '^FOSC *RC' "$T/config.out" && grep -q '^PWRTE *ON' "$T/config.out" ||
    fail "the configuration word is not the program's (RC, PWRTE on)"
  cli version version || fail "version"
  [ "$(cat "$T/version.out")" = "1.08" ] || fail "firmware version"
  local latency
  latency=$(cat "/sys/class/tty/${tty#/dev/}/device/latency_timer")
  echo "sysfs latency_timer: $latency"
  [ "$latency" = 1 ] || fail "latency_timer is $latency, not 1"
  grep -q ' ctrl latency 1$' "$T/gadget-trace.txt" || fail "the gadget saw no latency request of 1 ms"
  echo "the vendor requests the bridge saw, first and last job:"
  grep -E ' (ctrl|bind|enable|disable|unbind)' "$T/gadget-trace.txt" | head -n 12 | sed 's/^/  /'
  grep -E ' (ctrl|bind|enable|disable|unbind)' "$T/gadget-trace.txt" | tail -n 12 | sed 's/^/  /'
  grep -q ' ctrl baud 4800.0$' "$T/gadget-trace.txt" && grep -q ' ctrl data 8N1$' "$T/gadget-trace.txt" ||
    fail "the gadget saw no 4800 8N1"
}

trial_2() {
  wait_tty "QEMU USB SERIAL" || fail "QEMU's FTDI chip has no tty"
  local tty t0
  tty=$(tty_of "QEMU USB SERIAL")
  t0=$(now)
  QLARKW_DEVICE=serial:$tty cli qemu-write --board 1 write "$HEX" --verify || fail "write --verify on $tty"
  note "full write + verify through QEMU's FTDI chip: $(since "$t0") s"
}

trial_3() {
  export QLARKW_DEVICE=ftdi
  wait_tty "$PRODUCT" || fail "the gadget's tty is missing before the trial"
  cli ftdi-erase --board 1 erase || fail "erase"
  local t0
  t0=$(now)
  cli ftdi-write --board 1 write "$HEX" --verify || fail "write --verify"
  note "full write + verify through libftdi1: $(since "$t0") s"
  cli ftdi-read --board 1 read -o "$T/ftdi-back.hex" || fail "read"
  same_program "$HEX" "$T/ftdi-back.hex" || fail "the read-back differs from the program"
  cli ftdi-eset --board 1 eeprom set 6 0x5A || fail "eeprom set"
  cli ftdi-eread --board 1 eeprom read || fail "eeprom read"
  awk '$1 == "00h" { exit !($8 == "5A") }' "$T/ftdi-eread.out" || fail "EEPROM byte 06 is not 5A"
  cli ftdi-config --board 1 config || fail "config"
  grep -q '^FOSC *RC' "$T/ftdi-config.out" || fail "configuration word"
  cli ftdi-version version || fail "version"
  [ "$(cat "$T/ftdi-version.out")" = "1.08" ] || fail "firmware version"
  wait_tty "$PRODUCT" || fail "the kernel's driver did not take the Writer back: no tty"
  echo "tty back: $(tty_of "$PRODUCT")"
  echo "the vendor requests of libftdi1's last job:"
  grep -E ' ctrl' "$T/gadget-trace.txt" | tail -n 16 | sed 's/^/  /'
}

trial_4() {
  wait_tty "$PRODUCT" || fail "no Writer"
  printf '[File]\r\nname= %s\r\n[Config]\r\nword= 26\r\n[Mode]\r\nQ-LARK= 1\r\n' "$HEX" \
    >"$XDG_CONFIG_HOME/qlarkw/qlarkw.ini"
  cli earlier read -o "$T/earlier.hex" || fail "the earlier read-out"
  local before after t0 rc udc
  before=$(sha256sum "$XDG_CONFIG_HOME/qlarkw/qlarkw.ini" "$T/earlier.hex")
  udc=$(cat "$UDC_FILE")
  "$CLI" --board 1 write "$HEX" >"$T/unplug.out" 2>"$T/unplug.err" &
  local pid=$!
  sleep 5
  kill -0 "$pid" 2>/dev/null || fail "the write ended before the unplug"
  t0=$(now)
  echo >"$UDC_FILE"
  wait "$pid"
  rc=$?
  local took
  took=$(since "$t0")
  sleep 1
  echo "$udc" >"$UDC_FILE"  # plugged in again, whatever the checks below find
  echo "write after the unplug: exit $rc in $took s"
  sed 's/^/  err: /' "$T/unplug.err"
  note "unplugged half-way: qlarkw-cli ended $took s later with exit $rc"
  [ "$rc" = 4 ] || fail "exit $rc, not 4"
  awk -v t="$took" 'BEGIN { exit !(t < 5) }' || fail "took $took s"
  # The write's own failure message, or the link's.
  grep -q -e '書き込み中にエラーが発生しました' -e 'ライタとの通信に失敗しました。' "$T/unplug.err" ||
    fail "no failure message"
  after=$(sha256sum "$XDG_CONFIG_HOME/qlarkw/qlarkw.ini" "$T/earlier.hex")
  [ "$before" = "$after" ] || fail "the settings or the earlier read-out changed"
  wait_tty "$PRODUCT" || fail "the Writer did not come back"
  cli replug --board 1 write "$HEX" --verify || fail "write after plugging in again"

  # The desktop program's operation dialog, unplugged the same way.
  QT_QPA_PLATFORM=offscreen QLARKW_TRIAL_UNPLUG=$UDC_FILE QLARKW_TRIAL_HEX=$HEX \
    "$BUILD/tests/gui/test_gui_usb_unplug" >"$T/dialog.log" 2>&1
  rc=$?
  sleep 1
  echo "$udc" >"$UDC_FILE"
  sed 's/^/  dialog: /' "$T/dialog.log"
  [ "$rc" = 0 ] && grep -q '^\[  PASSED  \] 1 test' "$T/dialog.log" || fail "the operation dialog's trial"
  wait_tty "$PRODUCT" || fail "the Writer did not come back after the dialog's trial"
  cli replug2 --board 1 write "$HEX" --verify || fail "write after plugging in again"
}

trial_5() {
  wait_tty "$PRODUCT" || fail "no Writer"
  local tty user=4242
  tty=$(tty_of "$PRODUCT")
  ls -l "$tty"
  as_user() { setpriv --reuid=$user --regid=$user --clear-groups env HOME=/tmp/u XDG_CONFIG_HOME=/tmp/u/.config "$@"; }
  mkdir -p /tmp/u && chown $user:$user /tmp/u
  local rc job
  for job in version config; do
    as_user "$CLI" --board 1 $job >"$T/perm.out" 2>"$T/perm.err"
    rc=$?
    echo "$job as user $user without the rule: exit $rc"
    sed 's/^/  err: /' "$T/perm.err"
    [ "$rc" = 4 ] || fail "exit $rc, not 4"
    grep -q 'USBライタの接続を確認してください' "$T/perm.err" && fail "the message says the Writer is not connected"
    grep -q '権限' "$T/perm.err" && grep -q 'udev' "$T/perm.err" && grep -q 'dialout' "$T/perm.err" ||
      fail "the message does not say what to do (udev rule, dialout)"
  done
  as_user "$CLI" list >"$T/perm-list.out" 2>"$T/perm-list.err"
  echo "list as user $user: exit $?"
  sed 's/^/  out: /' "$T/perm-list.out"
  sed 's/^/  err: /' "$T/perm-list.err"
  grep -q "^$SERIAL .*cannot be opened" "$T/perm-list.out" || fail "list does not show the Writer as one that cannot be opened"

  # udev as the trial unpacked it: its rules beside the host's (systemd's
  # seat rules among them) and the project's.
  [ -x "$UDEV_ROOT/bin/udevadm" ] || fail "udev could not be unpacked on the host"
  local libs=$UDEV_ROOT/usr/lib/x86_64-linux-gnu/systemd:$UDEV_ROOT/usr/lib/x86_64-linux-gnu:$UDEV_ROOT/lib/x86_64-linux-gnu
  udev() { LD_LIBRARY_PATH=$libs "$@"; }
  mkdir -p /run/udev/rules.d /run/systemd/seats
  cp "$UDEV_ROOT"/lib/udev/rules.d/*.rules /run/udev/rules.d/
  cp "$SRC/packaging/udev/70-qlark-writer.rules" /run/udev/rules.d/
  # A seat whose active user is $user, as logind keeps it for the one
  # logged in at the machine (the rule's uaccess).
  printf 'ACTIVE=c1\nACTIVE_UID=%s\n' $user >/run/systemd/seats/seat0
  # udevadm is the daemon when it is called by the daemon's name.
  (export LD_LIBRARY_PATH=$libs && exec -a systemd-udevd "$UDEV_ROOT/bin/udevadm" --debug) \
    >"$T/udevd.log" 2>&1 &
  local udevd=$!
  sleep 2
  kill -0 $udevd || fail "systemd-udevd: $(cat "$T/udevd.log")"
  udev "$UDEV_ROOT/bin/udevadm" trigger --action=add --subsystem-match=usb --subsystem-match=tty --subsystem-match=usb-serial
  udev "$UDEV_ROOT/bin/udevadm" settle --timeout=30
  ls -l "$tty" /dev/qlark-writer
  udev "$UDEV_ROOT/bin/getfacl" -p "$tty" 2>/dev/null
  as_user "$CLI" --board 1 version >"$T/perm2.out" 2>"$T/perm2.err"
  rc=$?
  echo "as user $user with the rule: exit $rc: $(cat "$T/perm2.out" "$T/perm2.err")"
  if [ "$rc" != 0 ]; then
    udev "$UDEV_ROOT/bin/udevadm" test-builtin uaccess "/sys/class/tty/${tty#/dev/}" 2>&1 | tail -n 20
    udev "$UDEV_ROOT/bin/udevadm" info "/sys/class/tty/${tty#/dev/}" 2>&1 | tail -n 20
    grep -i -e uaccess -e seat -e acl -e "${tty#/dev/}" "$T/udevd.log" | tail -n 40
    grep -e ' /proc ' -e ' /run ' /proc/mounts; ls -la /run/systemd/seats
    fail "the user cannot use the Writer with the rule applied"
  fi
  QLARKW_DEVICE=ftdi as_user "$CLI" --board 1 version >"$T/perm3.out" 2>"$T/perm3.err"
  rc=$?
  echo "ftdi backend as user $user with the rule: exit $rc: $(cat "$T/perm3.out" "$T/perm3.err")"
  [ "$rc" = 0 ] || fail "libftdi1 cannot open the Writer for the user with the rule applied"
  kill $udevd
}

trial_6() {
  wait_tty "$PRODUCT" || fail "no Writer"
  # The bound: the exchange replayed on an ideal 4800-baud line (bench/speed.py).
  QLARKW_DEVICE=sim QLARKW_SIM_STATE=$T/bound-chip.hex QLARKW_SIM_TRACE=$T/bound-trace.txt \
    "$CLI" --board 1 write "$HEX" >/dev/null 2>&1 || fail "the in-process write for the bound"
  local bound
  bound=$(python3 -c "import sys; sys.path.insert(0, '$SRC/bench'); import speed; print('%.3f' % speed.bound_of(speed.parse_trace('$T/bound-trace.txt'))[0])") ||
    fail "bound"
  local ms t0 wall
  for ms in 1 16; do
    t0=$(now)
    QLARKW_LATENCY_MS=$ms cli speed-$ms --board 1 write "$HEX" || fail "write at $ms ms"
    wall=$(since "$t0")
    eval "wall_$ms=$wall"
    note "full write, latency timer $ms ms: $wall s, bound $bound s, wall/bound $(awk -v a="$wall" -v b="$bound" 'BEGIN { printf "%.2f", a / b }')"
  done
  note "16 ms / 1 ms: $(awk -v a="$wall_16" -v b="$wall_1" 'BEGIN { printf "%.2f", a / b }')"
  [ -w /dev/kvm ] || note "(the guest runs under TCG, without KVM: the times are indicative)"
}

start_gadget || { cat "$T/gadget.err"; echo "the gadget did not come up"; }
for TRIAL in $TRIALS; do
  rm -f "$RESULTS/trial-$TRIAL.note"
  echo "== trial $TRIAL"
  ( "trial_$TRIAL" ) >"$RESULTS/trial-$TRIAL.log" 2>&1 && touch "$RESULTS/trial-$TRIAL.passed"
  if [ ! -f "$RESULTS/trial-$TRIAL.passed" ]; then
    { echo "-- the gadget's stderr:"; cat "$T/gadget.err"; echo "-- the gadget's trace, last lines:"; tail -n 40 "$T/gadget-trace.txt"; } >>"$RESULTS/trial-$TRIAL.log" 2>&1
  fi
done
kill "$GADGET_PID" 2>/dev/null
wait "$GADGET_PID" 2>/dev/null
