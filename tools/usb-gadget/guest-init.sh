#!/bin/busybox sh
# The trial guest's init (tools/usb-trial.sh puts it into the initramfs):
# loads the modules, mounts the host's root read-only and the results
# folder writable, and runs the trials with the host's root as its own.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for module in $(cat /modules/order); do
  case $module in
    dummy_hcd.ko) insmod /modules/$module is_high_speed=0 ;;
    *) insmod /modules/$module ;;
  esac
done
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=loose,ro hostroot /host
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 results /results
set -a
. /results/trial.env
set +a
exec 2>/results/init.log
# The guest's own /tmp and /run; the host's stay reachable under /hostroot
# for the checkout, the build or the unpacked udev when they lie there.
mkdir -p /hostroot && mount --bind /host /hostroot
mount -t tmpfs tmpfs /host/tmp
mount -t tmpfs tmpfs /host/run
for path in "$SRC" "$BUILD" "$UDEV_ROOT"; do
  case $path in
    /tmp/* | /run/*) mkdir -p "/host$path" && mount --bind "/hostroot$path" "/host$path" ;;
  esac
done
mount -t proc proc /host/proc || mount --bind /proc /host/proc
grep -q ' /host/proc ' /proc/mounts || echo "init: /proc is not mounted in the host's root" >&2
mount -t sysfs sysfs /host/sys
mount -t configfs configfs /host/sys/kernel/config
mount -t devtmpfs devtmpfs /host/dev
mkdir -p /host/dev/pts && mount -t devpts devpts /host/dev/pts
mkdir -p "/host$RESULTS" && mount --move /results "/host$RESULTS"
# The host's root becomes the guest's (not a chroot: udev ignores requests
# made from one); the trials end by powering the guest off.
umount /proc /sys /dev
exec switch_root /host /bin/bash -c '/bin/bash "$SRC/tools/usb-gadget/trial-guest.sh" >"$RESULTS/guest.log" 2>&1
dmesg >"$RESULTS/dmesg.txt"
sync
echo o >/proc/sysrq-trigger
sleep 60'
