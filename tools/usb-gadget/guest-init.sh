#!/bin/busybox sh
# The trial guest's init (tools/usb-trial.sh puts it into the initramfs):
# loads the modules, mounts the host's root read-only and the results
# folder writable, and runs the trials inside the host's root.
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
mount -t tmpfs tmpfs /host/tmp
mount -t tmpfs tmpfs /host/run
mount -t proc proc /host/proc
mount -t sysfs sysfs /host/sys
mount -t configfs configfs /host/sys/kernel/config
mount -t devtmpfs devtmpfs /host/dev
mkdir -p /host/dev/pts && mount -t devpts devpts /host/dev/pts
mkdir -p "/host$RESULTS" && mount --bind /results "/host$RESULTS"
chroot /host /bin/bash "$SRC/tools/usb-gadget/trial-guest.sh" >/results/guest.log 2>&1
dmesg >/results/dmesg.txt
sync
poweroff -f
