// The SCSI manager over Linux SCSI generic (/dev/sg*): real drives.
//
// Addressing (SgDevices.h): the Linux hosts that have a SCSI generic device
// are the adapters, numbered densely from 0 in ascending host number; the
// target is the SCSI target ID; only channel 0 and LUN 0 are reachable.
//
// What it answers:
//   GetASPI32SupportInfo  the number of adapters (at most 255) in the low byte,
//                         SS_COMP in the next byte.
//   SC_HA_INQUIRY         SS_COMP for an existing adapter (HA_Count, HA_SCSI_ID
//                         7, HA_Identifier "host" and the Linux host number);
//                         SS_INVALID_HA otherwise.
//   SC_GET_DEV_TYPE       SS_COMP and the sysfs peripheral type of the device at
//                         (adapter, target, LUN 0); SS_INVALID_HA without the
//                         adapter; SS_NO_DEVICE without a device there (LUN
//                         other than 0 included).
//   SC_EXEC_SCSI_CMD      SS_PENDING: the command runs through SG_IO on a
//                         thread of its own, with the kernel time-out of
//                         CommandTimeouts.h. When it ends, the data area
//                         holds the bytes the device sent (only those: bytes
//                         it did not send keep their value), SRB_HaStat,
//                         SRB_TargStat and SenseArea are written as
//                         SgStatusMapping.h tells, SRB_Status is published and
//                         the event is set. A command that ends in UNIT
//                         ATTENTION was not executed by the target and is sent
//                         again, up to kUnitAttentionRetries times; the last
//                         try is reported. Ended at once: SS_INVALID_HA,
//                         SS_NO_DEVICE; SS_INVALID_SRB for a CDB length
//                         outside 1 to 16, both direction flags, data without
//                         a pointer or direction, an event flag without an
//                         event owned by a std::shared_ptr, or a block that
//                         is still pending (left untouched then);
//                         SS_BUFFER_TO_BIG above kMaxTransferLength;
//                         SS_ASPI_IS_BUSY when no thread can be started.
//   SC_ABORT_SRB          a pending execute request ends at once with
//                         SS_ABORTED and the manager never touches its block,
//                         data area or event again, while its SG_IO runs on
//                         to its end on the manager's own buffers: SS_COMP.
//                         SS_ABORT_FAIL when the request is not pending.
//   SC_RESET_DEV          SS_PENDING; a SCSI generic device reset in the
//                         background, then SRB_Status SS_COMP or the status of
//                         the failed call (needs CAP_SYS_ADMIN and
//                         CAP_SYS_RAWIO; SS_ILLEGAL_MODE without).
//   anything else         SS_INVALID_CMD.
//
// Opening: each device is opened on its first command, for reading and
// writing, and kept open. A WRITE BUFFER needs the device exclusively (O_EXCL:
// no other program can open the node while it is held, and it cannot be had
// while another program has the node open): the device is reopened
// exclusively for the first WRITE BUFFER and stays so until a command other
// than WRITE BUFFER is sent to it, which reopens it shared. So the hold
// covers the block transfer of an update and ends with the first probe after
// it. While the node is busy (EBUSY), the request waits up to busyOpenWait for
// it, then ends with SS_ASPI_IS_BUSY. An open that fails is reported once per device on the
// diagnostics stream (one line naming the device and the reason); the request
// ends with the status MapOsError gives (SS_ILLEGAL_MODE for a permission
// failure).
//
// Destroying the manager abandons the requests still pending (their blocks are
// not touched again) and waits for their system calls to end, which the
// kernel time-outs bound.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <ostream>
#include <vector>

#include "linux_sg/CommandTimeouts.h"
#include "linux_sg/SgDevices.h"
#include "linux_sg/SgTransport.h"
#include "platform/AspiManager.h"
#include "platform/Events.h"

namespace qfw {

struct LinuxSgOptions {
  std::filesystem::path sysfsRoot{"/sys"};
  std::filesystem::path deviceDir{"/dev"};
  // The kernel time-out of every WRITE BUFFER; tests shorten it.
  linux_sg::KernelTimeout writeBufferTimeout = linux_sg::kWriteBufferTimeout;
  // How long a command waits for a device that another open keeps busy.
  Millis busyOpenWait{10000};
  // Where an open failure is reported; null: standard error.
  std::ostream* diagnostics = nullptr;
  // Clock and pauses of the busy wait; null: real time.
  WaitServices* waits = nullptr;
};

class LinuxSgManager final : public AspiManager {
 public:
  static constexpr int kUnitAttentionRetries = 3;
  static constexpr std::uint32_t kMaxTransferLength = 16u * 1024u * 1024u;

  LinuxSgManager(std::vector<linux_sg::SgNode> nodes,
                 std::unique_ptr<linux_sg::SgTransport> transport, LinuxSgOptions options);
  ~LinuxSgManager() override;

  LinuxSgManager(const LinuxSgManager&) = delete;
  LinuxSgManager& operator=(const LinuxSgManager&) = delete;

  std::uint32_t GetASPI32SupportInfo() override;
  std::uint8_t SendASPI32Command(void* srb) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The manager over the devices sysfs lists now, with the real SG_IO calls.
std::unique_ptr<AspiManager> MakeLinuxSgManager(LinuxSgOptions options = {});

}  // namespace qfw
