#!/bin/sh
# Runs inside the test VM (see run-vm-test.sh). Each phase (re)loads the
# kernel's scsi_debug target as it needs it, runs sg_vm_probe and checks what
# the probe printed and which commands the target received (scsi_debug's
# command log in the kernel log). Prints "ok - ..." or "not ok - ..." per
# check; exits with 1 when any check failed.
# The helpers below are called through check, which shellcheck cannot follow.
# shellcheck disable=SC2317
SD=/sys/bus/pseudo/drivers/scsi_debug
failed=0

# check DESCRIPTION COMMAND...: records whether COMMAND succeeds.
check() {
  description=$1
  shift
  if "$@"; then
    echo "ok - $description"
  else
    echo "not ok - $description"
    failed=1
  fi
}

# load_target OPTION...: (re)loads scsi_debug with its command log on.
load_target() {
  rmmod scsi_debug 2>/dev/null
  if ! insmod /lib/modules/qfw/scsi_debug.ko "$@"; then
    echo "not ok - insmod scsi_debug $*"
    exit 1
  fi
  echo 1 > $SD/opts
  dmesg -c > /dev/null
  echo "# scsi_debug $* (hosts: $(ls /sys/class/scsi_host | tr '\n' ' '))"
}

# probe ARG...: runs sg_vm_probe; its output in $out, shown indented.
probe() {
  echo "# sg_vm_probe $*"
  out=$(sg_vm_probe "$@" 2>&1)
  echo "$out" | sed 's/^/  | /'
}

# probe_as_tester ARG...: the same as a user without special rights.
probe_as_tester() {
  echo "# sg_vm_probe $* (as tester)"
  mkdir -p /tmp/tester
  chown 1000:1000 /tmp/tester
  out=$(su -s /bin/sh tester -c "cd /tmp/tester && /opt/test/sg_vm_probe $*" 2>&1)
  echo "$out" | sed 's/^/  | /'
}

has_line() { echo "$out" | grep -qxF "$1"; }
lacks() { ! echo "$out" | grep -q "$1"; }
count_of() { echo "$out" | grep -c "$1"; }
# The program showed a box of this kind with this text.
box() { echo "$out" | grep "^box $1 " | grep -qF "\"$2\""; }
# The (adapter,target) of each drive the program listed, in order.
listed() { echo "$out" | awk -F'"' '/^drive-list add/ { printf "%s ", substr($2, 1, 5) }'; }

# The CDBs the target received since the kernel log was last cleared, one a
# line.
received() { dmesg | sed -n 's/.*scsi_debug: tag=[^,]*, cmd \(.*[^ ]\) *$/\1/p'; }
# The WRITE BUFFER CDBs, each once however often a unit attention repeated it.
blocks_received() { received | grep '^3b ' | uniq; }
# After the last block: TEST UNIT READY and a 36-byte INQUIRY.
checked_after_last_block() {
  after=$(received | sed -n '/^3b 05/,$p')
  echo "$after" | grep -qx '00 00 00 00 00 00' && echo "$after" | grep -qx '12 00 00 00 24 00'
}
no_block_received() { ! received | grep -q '^3b '; }
no_saving_block() { ! received | grep -q '^3b 05'; }

# Mode 4 for the first three 8 KiB blocks, mode 5 for the last, offsets
# 0, 2000h, 4000h, 6000h.
all_blocks="3b 04 00 00 00 00 00 20 00 00
3b 04 00 00 20 00 00 20 00 00
3b 04 00 00 40 00 00 20 00 00
3b 05 00 00 60 00 00 20 00 00"

echo "=== scan"
load_target ptype=5
probe scan
check "the drive list holds the scsi_debug drive with its INQUIRY text" \
  has_line 'drive-list add "(0,0) Linux   scsi_debug      0191"'
check "and nothing else" [ "$(count_of '^drive-list add')" -eq 1 ]
check "no error box" lacks '^box error-box'
check "the program ends with status 0" has_line "EXIT 0"

echo "=== update, expected version 0191"
dmesg -c > /dev/null
probe update 0191
check "the target received mode 4 blocks, then mode 5, at contiguous offsets" \
  [ "$(blocks_received)" = "$all_blocks" ]
check "the post-update check probed the drive and read its INQUIRY data" checked_after_last_block
check "and shows the expected version" has_line 'status "> 0191"'
check "outcome: success" box outcome-box "Firmware update success."
check "no error box" lacks '^box error-box'
check "the program ends with status 0" has_line "EXIT 0"

echo "=== update, expected version 0192"
dmesg -c > /dev/null
probe update 0192
check "the target received every block" [ "$(blocks_received)" = "$all_blocks" ]
check "outcome: version mismatch" \
  box outcome-box "Firmware update complete. Firmware version compare error."

echo "=== update with descriptor-format sense"
load_target ptype=5 dsense=1
probe update 0191
check "the unit attentions in descriptor format are recognised" \
  [ "$(blocks_received)" = "$all_blocks" ]
check "outcome: success" box outcome-box "Firmware update success."

echo "=== three hosts, the middle one without devices"
load_target ptype=5 add_host=3 num_tgts=2
middle=$(ls /sys/class/scsi_host | sort -V | sed -n 2p)
for device in /sys/class/scsi_host/"$middle"/device/target*/*:*/delete; do
  echo 1 > "$device"
done
check "two hosts keep two devices each" [ "$(ls /sys/class/scsi_generic | wc -l)" -eq 4 ]
probe scan
check "the hosts with devices are adapters 0 and 1, their targets as they are" \
  [ "$(listed)" = "(0,0) (0,1) (1,0) (1,1) " ]

echo "=== a device of another type"
load_target ptype=0
probe scan
check "a disk has a SCSI generic node" [ "$(cat /sys/class/scsi_generic/*/device/type)" = 0 ]
check "and is not listed" [ "$(count_of '^drive-list add')" -eq 0 ]
check "no drive found" box error-box "   No Drive found.    "

echo "=== a user without, then with access to the device"
mkdir -p /etc
printf 'root:x:0:0::/root:/bin/sh\ntester:x:1000:1000::/tmp:/bin/sh\n' > /etc/passwd
printf 'root:x:0:\ncdrom:x:1000:\n' > /etc/group
load_target ptype=5
node=/dev/$(ls /sys/class/scsi_generic)
chmod 600 "$node"
probe_as_tester scan
check "the device is named on standard error, once" \
  [ "$(count_of "^$node: cannot open for reading and writing: Permission denied\$")" -eq 1 ]
check "the scan reports the access failure" box error-box "Device access security violation."
check "nothing is listed" [ "$(count_of '^drive-list add')" -eq 0 ]
chgrp cdrom "$node"
chmod 660 "$node"
probe_as_tester update 0191
check "with group access every block lands" [ "$(blocks_received)" = "$all_blocks" ]
check "outcome: success" box outcome-box "Firmware update success."

echo "=== another program has the device open"
load_target ptype=5
node=/dev/$(ls /sys/class/scsi_generic)
sleep 60 3<>"$node" &
holder=$!
probe update 0191 --busy-open-wait-ms 1000
kill $holder
check "the device is named as busy" \
  has_line "$node: cannot open for reading and writing (exclusively): Device or resource busy"
check "the first block is refused" box error-box "No resources available to execute cmd."
check "outcome: failed" box outcome-box "Firmware update failed."
check "no WRITE BUFFER reached the target" no_block_received

echo "=== the target stops answering after the first block"
load_target ptype=5
probe update 0191 --stall-after-blocks 1 --write-buffer-timeout-ms 3000
check "time-out injection turned on after the first block" has_line "STALL on"
check "the adapter time-out is shown" \
  box error-box "HA_Status: While processing the SRB, the adapter timed out."
check "outcome: failed" box outcome-box "Firmware update failed."
check "no mode 5 block was sent" no_saving_block
echo 0 > $SD/every_nth
echo 0 > $SD/opts

exit $failed
