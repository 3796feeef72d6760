#!/bin/sh
# /init of the test VM: mounts the kernel's file systems, loads the SCSI
# modules but scsi_debug (the test script loads it with the options it needs),
# runs /run-test.sh, prints "QFW-VM-EXIT=<status>" on the console and powers
# the machine off.
export PATH=/opt/test:/bin
/bin/busybox --install -s /bin

mount -t devtmpfs devtmpfs /dev
# The image may lack a console node (it is built without root rights).
exec </dev/console >/dev/console 2>&1
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run

while read -r module; do
  case $module in
    scsi_debug) ;;
    # Devices appear while insmod of scsi_debug runs, not some time later.
    scsi_mod) insmod "/lib/modules/qfw/$module.ko" scan=sync ;;
    # Optional accelerated helpers may not load on the emulated CPU.
    *) insmod "/lib/modules/qfw/$module.ko" 2>/dev/null ;;
  esac
done < /lib/modules/qfw/load-order

echo "QFW-VM-START uptime=$(cut -d' ' -f1 /proc/uptime) kernel=$(uname -r)"
cd /tmp || cd /
/bin/sh /run-test.sh
echo "QFW-VM-EXIT=$? uptime=$(cut -d' ' -f1 /proc/uptime)"
sync
poweroff -f
