#!/usr/bin/env bash
# Installs the Debian package into a clean Debian 12 root made by
# `debootstrap --variant=minbase bookworm`, with apt resolving its
# dependencies, runs the installed programs there
# (packaging/check-installed.sh, in a chroot), then removes and purges the
# package. Needs root, debootstrap and the network; takes some minutes.
#   tools/deb-test.sh [PACKAGE.deb]   (default: build-package/qlarkw_*.deb)
# QLARKW_DEBIAN_MIRROR chooses the mirror (default http://deb.debian.org/debian).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
start=$SECONDS
if [ $# -ge 1 ]; then
    deb=$(realpath "$1")
else
    debs=("$root"/build-package/qlarkw_*.deb)
    deb=${debs[-1]}
fi
[ -f "$deb" ] || { echo "deb-test: no package; run tools/package.sh first" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "deb-test: needs root (debootstrap, chroot)" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "deb-test: apt-get install debootstrap" >&2; exit 2; }

work=$(mktemp -d)
target=$work/root
mounted=()
cleanup() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" || umount --lazy "${mounted[i]}" || true
    done
    # Never into the machine's /dev or /proc, should one still be mounted.
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT
say() { echo "deb-test: $* ($((SECONDS - start)) s)"; }

debootstrap --variant=minbase bookworm "$target" "${QLARKW_DEBIAN_MIRROR:-http://deb.debian.org/debian}" \
    >"$work/debootstrap.log" 2>&1 || { cat "$work/debootstrap.log" >&2; exit 1; }
say "made a Debian 12 minbase root"
for fs in proc dev dev/pts; do
    case $fs in
        proc) mount -t proc proc "$target/proc" ;;
        *) mount --bind "/$fs" "$target/$fs" ;;
    esac
    mounted+=("$target/$fs")
done
# No services are started inside the root.
printf '#!/bin/sh\nexit 101\n' >"$target/usr/sbin/policy-rc.d"
chmod 755 "$target/usr/sbin/policy-rc.d"

in_root() { chroot "$target" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }
mkdir -p "$target/tmp/qlarkw-test"
cp "$deb" "$root/packaging/check-installed.sh" "$root/samples/blink.hex" "$target/tmp/qlarkw-test/"
pkg=/tmp/qlarkw-test/$(basename "$deb")

# udev is there (its tool, not its daemon), as on most systems: the package's
# scripts must not fail without a running udev. srecord compares the read-back.
in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q udev srecord "$pkg" \
    >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; exit 1; }
say "apt installed $(basename "$deb") with $(grep -c '^Setting up' "$work/apt.log") packages"
# shellcheck disable=SC2016 # dpkg-query's own field
in_root dpkg-query -W -f='${Status}\n' qlarkw | grep -qx 'install ok installed'

in_root bash /tmp/qlarkw-test/check-installed.sh /usr /tmp/qlarkw-test/blink.hex /tmp/qlarkw-test/run
say "the installed programs passed"

in_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q qlarkw >"$work/purge.log" 2>&1 ||
    { cat "$work/purge.log" >&2; exit 1; }
for f in /usr/bin/qlarkw /usr/lib/udev/rules.d/70-qlark-writer.rules /usr/share/doc/qlarkw; do
    [ ! -e "$target$f" ] || { echo "deb-test: $f is left after the purge" >&2; exit 1; }
done
say "purged; passed"
