#!/usr/bin/env bash
# Builds the test VM's initramfs (newc cpio, gzip): a static busybox, the
# kernel modules for the scsi_debug target and SCSI generic with their
# dependencies, guest-init.sh as /init, the guest script as /run-test.sh and
# the given programs in /opt/test.
#
# Usage: build-initramfs.sh OUT KVER GUEST_SCRIPT PROGRAM...
#   OUT           the image to write
#   KVER          kernel version under /lib/modules
#   GUEST_SCRIPT  busybox sh script run by /init
#   PROGRAM...    statically linked programs, copied to /opt/test
#
# Modules are copied flat to /lib/modules/qfw/ (unpacked when compressed);
# /lib/modules/qfw/load-order names them dependencies first, which is the
# order /init loads them in with insmod. scsi_debug is left for the guest
# script, which loads it with the options each of its phases needs.
#
# Needs: busybox-static, kmod (modprobe), cpio, gzip; xz or zstd when the
# kernel's modules are compressed so.
set -euo pipefail

if [ $# -lt 3 ]; then
  sed -n '2,17p' "$0" >&2
  exit 2
fi
out=$1 kver=$2 guest=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
busybox=${BUSYBOX:-/bin/busybox}
modules=(scsi_debug sg)

stage=$(mktemp -d "${TMPDIR:-/tmp}/qfw-initramfs.XXXXXX")
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage"/{bin,dev,proc,sys,tmp,run,opt/test,lib/modules/qfw}

cp "$busybox" "$stage/bin/busybox"
ln -s busybox "$stage/bin/sh"
cp "$here/guest-init.sh" "$stage/init"
cp "$guest" "$stage/run-test.sh"
chmod 755 "$stage/init" "$stage/run-test.sh"
for program in "$@"; do
  install -m 755 "$program" "$stage/opt/test/"
done

# kmod lists each module's dependencies (soft ones included) before it.
modprobe -a -S "$kver" --show-depends "${modules[@]}" |
  awk '$1 == "insmod" && !seen[$2]++ { print $2 }' > "$stage/module-paths"
while read -r path; do
  name=$(basename "$path")
  name=${name%%.ko*}
  case $path in
    *.ko.xz) xz -dc "$path" > "$stage/lib/modules/qfw/$name.ko" ;;
    *.ko.zst) zstd -qdc "$path" > "$stage/lib/modules/qfw/$name.ko" ;;
    *.ko.gz) gzip -dc "$path" > "$stage/lib/modules/qfw/$name.ko" ;;
    *) cp "$path" "$stage/lib/modules/qfw/$name.ko" ;;
  esac
  echo "$name" >> "$stage/lib/modules/qfw/load-order"
done < "$stage/module-paths"
rm "$stage/module-paths"
grep -qx scsi_debug "$stage/lib/modules/qfw/load-order" || {
  echo "build-initramfs: no scsi_debug module for $kver" >&2
  exit 1
}

# Fixed times and owners: the same inputs give the same image.
find "$stage" -exec touch -h -d @0 {} +
(cd "$stage" && find . -mindepth 1 | LC_ALL=C sort |
  cpio -o -H newc -R 0:0 --reproducible --quiet | gzip -6n) > "$out.tmp"
mv "$out.tmp" "$out"
