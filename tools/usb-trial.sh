#!/usr/bin/env bash
# The Writer on a real USB stack: boots Debian's kernel under QEMU with a
# small busybox initramfs, the host's root shared read-only over 9p, and
# runs qlarkw-cli in the guest against
#   - qlarkw-usb-gadget, the Writer's bridge as a USB gadget on dummy_hcd,
#     through the kernel's ftdi_sio (serial backend) and libftdi1 (ftdi);
#   - QEMU's own emulated FTDI chip, its character device on a qlarkw-sim
#     pty on this host.
# The trials themselves are tools/usb-gadget/trial-guest.sh; each is
# reported as passed or failed, with the guest's log on a failure.
#
#   tools/usb-trial.sh [BUILD_DIR]        (default: build; needs the programs built)
#
# Installs qemu-system-x86, busybox-static and kmod when missing, and keeps
# the kernel package (downloaded, unpacked, never installed) in
# ~/.cache/qlarkw/usb-trial. Exit status 1 when a trial failed; a machine
# that cannot run the trial (no qemu package reachable) is skipped with
# one line and status 0. QLARKW_USB_TRIALS="1 3" runs only those trials;
# QLARKW_USB_VERBOSE=1 shows the log of a trial that passed too.
set -euo pipefail
cd "$(dirname "$0")/.."
SRC=$PWD
BUILD=$(realpath "${1:-${QLARKW_BUILD_DIR:-build}}")
CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/qlarkw/usb-trial
start=$(date +%s)

say() { echo "usb-trial: $*"; }
skip() {
  say "skipped: $*"
  exit 0
}

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

for program in cli/qlarkw-cli tools/usb-gadget/qlarkw-usb-gadget tools/qlarkw-sim/qlarkw-sim; do
  [ -x "$BUILD/$program" ] || { say "$BUILD/$program is not built (tools/build.sh)"; exit 1; }
done

# What the trial runs on: QEMU, a static busybox for the initramfs, kmod
# for the modules' order. A machine that cannot get them is skipped.
need=()
command -v qemu-system-x86_64 >/dev/null || need+=(qemu-system-x86)
dpkg -s busybox-static >/dev/null 2>&1 || need+=(busybox-static)
command -v depmod >/dev/null || need+=(kmod)
command -v gpasm >/dev/null || need+=(gputils)
command -v srec_cmp >/dev/null || need+=(srecord)
if [ ${#need[@]} -gt 0 ]; then
  say "installing ${need[*]}"
  if ! sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
      "${need[@]}" >/tmp/usb-trial-apt.log 2>&1; then
    sudo_if_needed apt-get update >/dev/null 2>&1 || true
    sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
      "${need[@]}" >/tmp/usb-trial-apt.log 2>&1 ||
      skip "cannot install ${need[*]} (see /tmp/usb-trial-apt.log)"
  fi
fi
BUSYBOX=/bin/busybox

# The kernel: the version Debian's linux-image-amd64 names, unpacked into
# the cache with its module list made.
kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[^ ]*\)$/\1/p' | head -n1
}
package=$(kernel_package)
if [ -z "$package" ]; then
  sudo_if_needed apt-get update >/dev/null 2>&1 || true
  package=$(kernel_package)
fi
[ -n "$package" ] || skip "apt knows no linux-image-amd64"
version=${package#linux-image-}
root=$CACHE/$version
if [ ! -f "$root/boot/vmlinuz-$version" ] || [ ! -f "$root/lib/modules/$version/modules.dep" ]; then
  say "unpacking $package into $root"
  rm -rf "$root.new" && mkdir -p "$root.new"
  (cd "$root.new" && apt-get download "$package" >/dev/null 2>&1) || skip "cannot download $package"
  dpkg-deb -x "$root.new"/*.deb "$root.new/root"
  depmod -b "$root.new/root" "$version"
  rm -rf "$root" && mv "$root.new/root" "$root" && rm -rf "$root.new"
fi

# udev for the permissions trial, unpacked beside the kernel and not
# installed (installing it would replace parts of this machine's systemd).
udev_root=$CACHE/udev
if [ ! -x "$udev_root/bin/udevadm" ]; then
  rm -rf "$udev_root.new" && mkdir -p "$udev_root.new"
  if (cd "$udev_root.new" && apt-get download udev libsystemd-shared libudev1 libacl1 acl >/dev/null 2>&1); then
    for deb in "$udev_root.new"/*.deb; do dpkg-deb -x "$deb" "$udev_root.new/root"; done
    rm -rf "$udev_root" && mv "$udev_root.new/root" "$udev_root"
  fi
  rm -rf "$udev_root.new"
fi

work=$(mktemp -d /tmp/qlarkw-usb-trial.XXXXXX)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
results=$work/results
mkdir -p "$results" "$work/initramfs"

# The initramfs: busybox, the modules in their order, and an init that
# mounts the host's root and runs the trials in it.
modules=()
for module in virtio_pci 9pnet_virtio 9p xhci_pci ftdi_sio dummy_hcd libcomposite usb_f_fs; do
  while read -r _ path _; do
    case " ${modules[*]} " in *" $path "*) ;; *) modules+=("$path") ;; esac
  done < <(modprobe -S "$version" -d "$root" --show-depends "$module" | grep '^insmod')
done
(
  cd "$work/initramfs"
  mkdir -p bin modules proc sys dev host results
  cp "$BUSYBOX" bin/busybox
  for path in "${modules[@]}"; do cp "$path" modules/; done
  for path in "${modules[@]}"; do basename "$path"; done >modules/order
  cp "$SRC/tools/usb-gadget/guest-init.sh" init
  chmod +x init
  find . | "$BUSYBOX" cpio -o -H newc 2>/dev/null | gzip -1 >"$work/initramfs.gz"
)

# The program the trials write: all 1024 words.
gpasm -p p16f84a -o "$results/full.hex" "$SRC/tests/data/full.asm" >"$work/gpasm.log" 2>&1 ||
  { cat "$work/gpasm.log"; say "gpasm failed"; exit 1; }

# QEMU's own FTDI chip, on a paced qlarkw-sim pty on this host.
QLARKW_SIM_STATE=$results/qemu-chip.hex "$BUILD/tools/qlarkw-sim/qlarkw-sim" --pace real \
  >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
pty=$(head -n1 "$work/sim.out")
[ -n "$pty" ] || { cat "$work/sim.err"; say "qlarkw-sim did not start"; exit 1; }

cat >"$results/trial.env" <<EOF
SRC=$SRC
BUILD=$BUILD
RESULTS=$results
UDEV_ROOT=$udev_root
TRIALS="${QLARKW_USB_TRIALS:-1 2 3 4 5 6}"
EOF

accel=tcg
[ -w /dev/kvm ] && accel=kvm
say "booting $version under QEMU ($accel)"
boot=$(date +%s)
timeout 1500 qemu-system-x86_64 -machine q35,accel=$accel -m 1024 -smp 1 -nographic -no-reboot \
  -kernel "$root/boot/vmlinuz-$version" -initrd "$work/initramfs.gz" \
  -append "console=ttyS0 loglevel=4 panic=-1" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs local,path="$results",mount_tag=results,security_model=none \
  -device qemu-xhci -chardev serial,id=writer,path="$pty" \
  -device usb-serial,chardev=writer,always-plugged=on \
  >"$work/console.log" 2>&1 || true
say "guest ran $(($(date +%s) - boot)) s"

failed=0
for trial in ${QLARKW_USB_TRIALS:-1 2 3 4 5 6}; do
  title=$(sed -n "s/^# trial $trial: //p" "$SRC/tools/usb-gadget/trial-guest.sh")
  if [ -f "$results/trial-$trial.passed" ]; then
    say "trial $trial passed: $title"
    [ -s "$results/trial-$trial.note" ] && sed 's/^/    /' "$results/trial-$trial.note"
    [ -n "${QLARKW_USB_VERBOSE:-}" ] && sed 's/^/    | /' "$results/trial-$trial.log"
  else
    failed=1
    say "trial $trial FAILED: $title"
    [ -s "$results/init.log" ] && sed 's/^/    | init: /' "$results/init.log"
    if [ -f "$results/trial-$trial.log" ]; then
      sed 's/^/    | /' "$results/trial-$trial.log"
    else
      say "no log of trial $trial; the guest's output and console:"
      [ -f "$results/guest.log" ] && tail -n 30 "$results/guest.log" | sed 's/^/    | /'
      tail -n 60 "$work/console.log" | sed 's/^/    | /'
    fi
  fi
done
say "done in $(($(date +%s) - start)) s"
if [ "$failed" -ne 0 ]; then
  [ -f "$results/dmesg.txt" ] && { say "the guest's kernel log:"; tail -n 80 "$results/dmesg.txt" | sed 's/^/    | /'; }
  exit 1
fi
