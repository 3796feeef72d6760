#!/usr/bin/env bash
# Proves the Linux SCSI generic manager against a real SCSI target: boots the
# installed Debian kernel under qemu (no KVM needed) with an initramfs holding
# the kernel's scsi_debug target, busybox and sg_vm_probe, runs guest-test.sh
# in it and exits with that script's status. Nothing touches the host's own
# SCSI devices.
#
# Usage: run-vm-test.sh PROBE [WORK_DIR]
#   PROBE     sg_vm_probe, linked statically
#   WORK_DIR  keeps the image, the unpacked kernel (reused by later runs) and
#             the console log vm-console.log; default: a temporary directory
#
# Exit status: the guest script's (0: every check passed); 77 when something
# the VM needs is missing (CTest reports the test as skipped); 124 when the
# VM overran QFW_VM_TIMEOUT; 125 when it ended without reporting a status.
#
# Environment: QFW_VM_TIMEOUT seconds for the whole VM (default 150),
# QFW_VM_KERNEL kernel version (default: the newest with scsi_debug),
# QFW_VM_ACCEL qemu accelerator (default tcg; kvm where it works).
# Needs (Debian): qemu-system-x86 linux-image-amd64 busybox-static kmod cpio.
set -euo pipefail

if [ $# -lt 1 ]; then
  sed -n '2,19p' "$0" >&2
  exit 2
fi
probe=$1
here=$(cd "$(dirname "$0")" && pwd)
qemu="qemu-system-x86_64"
timeout_s=${QFW_VM_TIMEOUT:-150}

skip() {
  echo "SKIP: $*" >&2
  exit 77
}

# --- what the VM needs --------------------------------------------------------
for tool in "$qemu" cpio modprobe gzip timeout; do
  command -v "$tool" >/dev/null || skip "$tool not installed"
done
[ -x /bin/busybox ] || skip "no /bin/busybox (apt-get install busybox-static)"
case $(LC_ALL=C ldd /bin/busybox 2>&1 || true) in
  *"not a dynamic executable"*) ;;
  *) skip "/bin/busybox is not the static build (apt-get install busybox-static)" ;;
esac
kver=${QFW_VM_KERNEL:-}
if [ -z "$kver" ]; then
  for dir in /lib/modules/*/; do
    dir=${dir%/}
    if compgen -G "$dir/kernel/drivers/scsi/scsi_debug.ko*" >/dev/null &&
      [ -r "/boot/vmlinuz-$(basename "$dir")" ]; then
      kver=$(basename "$dir")
    fi
  done
fi
[ -n "$kver" ] || skip "no readable /boot/vmlinuz-* with scsi_debug in /lib/modules"
[ -x "$probe" ] || {
  echo "run-vm-test: no program $probe" >&2
  exit 2
}

if [ $# -ge 2 ]; then
  work=$2
  mkdir -p "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/qfw-vm.XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi

# --- kernel -------------------------------------------------------------------
# The bzImage unpacks itself in the guest, which takes seconds under emulation.
# With PVH support qemu boots the ELF vmlinux inside it directly, so it is
# unpacked once here and kept in the work directory.
bzimage=/boot/vmlinuz-$kver
kernel=$bzimage
unpack_vmlinux() {
  local format magic offset
  for format in xz:fd377a585a00 zstd:28b52ffd gzip:1f8b0800; do
    command -v "${format%%:*}" >/dev/null || continue
    magic=$(echo "${format#*:}" | sed 's/../\\x&/g')
    for offset in $(LC_ALL=C grep -obUaP "$magic" "$bzimage" | cut -d: -f1 | head -n 4); do
      tail -c +$((offset + 1)) "$bzimage" | "${format%%:*}" -dc > "$1.part" 2>/dev/null || true
      if [ "$(head -c 4 "$1.part" | od -An -tx1 | tr -d ' \n')" = 7f454c46 ]; then
        mv "$1.part" "$1"
        return 0
      fi
    done
  done
  rm -f "$1.part"
  return 1
}
if grep -qs '^CONFIG_PVH=y' "/boot/config-$kver"; then
  vmlinux=$work/vmlinux-$kver
  if [ -s "$vmlinux" ] && [ "$vmlinux" -nt "$bzimage" ]; then
    kernel=$vmlinux
  elif unpack_vmlinux "$vmlinux"; then
    kernel=$vmlinux
  fi
fi

# --- image and run ------------------------------------------------------------
initrd=$work/initramfs.cpio.gz
"$here/build-initramfs.sh" "$initrd" "$kver" "$here/guest-test.sh" "$probe"

# Software emulation by default: it boots in about 3 s and behaves the same
# everywhere, where KVM inside another VM may fail in odd ways.
accel=${QFW_VM_ACCEL:-tcg}
log=$work/vm-console.log
: > "$log"
status=''
started=$SECONDS
set +e
# -nodefaults: no network card, display or disks; the serial port is the
# console and the only way out of the VM.
timeout -k 5 "$timeout_s" "$qemu" -accel "$accel" -m 384 -smp 1 \
  -display none -nodefaults -no-user-config -no-reboot -serial stdio \
  -kernel "$kernel" -initrd "$initrd" -append "console=ttyS0 panic=-1 quiet" \
  </dev/null 2>&1 | tr -d '\r' | tee "$log"
qemu_status=${PIPESTATUS[0]}
set -e
status=$(sed -n 's/^QFW-VM-EXIT=\([0-9]*\).*/\1/p' "$log" | tail -n 1)
echo "run-vm-test: $((SECONDS - started)) s in the VM (accel=$accel, kernel $(basename "$kernel"))" >&2

if [ "$qemu_status" = 124 ] || [ "$qemu_status" = 137 ]; then
  echo "run-vm-test: the VM overran ${timeout_s} s" >&2
  exit 124
fi
if [ -z "$status" ]; then
  echo "run-vm-test: the VM ended without a status (qemu status $qemu_status)" >&2
  exit 125
fi
exit "$status"
