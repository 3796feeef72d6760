// The SCSI manager the program sends every request to: the two operations it
// relies on. Implementations: a simulated bus (tests, demo) and Linux SCSI
// generic (real drives).
#pragma once

#include <cstdint>

namespace qfw {

class AspiManager {
 public:
  virtual ~AspiManager() = default;

  // Low 8 bits: the number of host adapters, 0 for none. Higher bits are the
  // manager's own status and are not examined by the program.
  virtual std::uint32_t GetASPI32SupportInfo() = 0;

  // Submits one request block (SRB_HAInquiry, SRB_GDEVBlock, SRB_ExecSCSICmd,
  // SRB_Abort or SRB_BusDeviceReset; its byte 0 tells which) and returns a
  // status code of the SS_ set.
  //
  // SC_HA_INQUIRY, SC_GET_DEV_TYPE and SC_ABORT_SRB are complete on return:
  // SS_COMP when the adapter exists / a device answers at target and LUN 0
  // (SRB_DeviceType then holds its peripheral type) / the request was ended.
  //
  // SC_EXEC_SCSI_CMD returns SS_PENDING when the command was accepted and runs
  // on in the background. When it ends, the manager has moved the data
  // (SRB_BufLen bytes to or from SRB_BufPointer), written SRB_HaStat,
  // SRB_TargStat and, on CHECK CONDITION, SenseArea in fixed format, then
  // published SRB_Status (never SS_PENDING again) and signalled the event in
  // SRB_PostProc. Until then the block, the data area and the event belong to
  // the manager; it keeps the event alive itself (Event::shared_from_this).
  // Any other return means the request ended at once with that status, which
  // SRB_Status then also holds.
  //
  // SC_RESET_DEV returns SS_PENDING or a final status; SRB_Status is published
  // when the reset has ended.
  //
  // May be called from any thread, but the program only calls it from one
  // thread at a time.
  virtual std::uint8_t SendASPI32Command(void* srb) = 0;
};

}  // namespace qfw
