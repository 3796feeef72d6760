// A simulated SCSI manager: host adapters and drives described by a BusConfig,
// each drive with a firmware model, requests ending when a Scheduler says so.
//
// What it answers:
//   SC_HA_INQUIRY    SS_COMP for a configured adapter, SS_INVALID_HA otherwise.
//   SC_GET_DEV_TYPE  SS_COMP and SRB_DeviceType for a device at (ha, target,
//                    LUN 0); SS_INVALID_HA without the adapter; SS_NO_DEVICE.
//   SC_EXEC_SCSI_CMD TEST UNIT READY, INQUIRY and WRITE BUFFER, timed and ended
//                    by the device's rules (SimConfig.h); other operation codes
//                    end with CHECK CONDITION, ILLEGAL REQUEST. SS_INVALID_HA or
//                    SS_NO_DEVICE at once where nothing is there.
//   SC_ABORT_SRB     ends the named pending request with SS_ABORTED and
//                    returns SS_COMP; SS_ABORT_FAIL when it is not pending.
//   SC_RESET_DEV     accepted (SS_PENDING) and ended by the DeviceReset rules;
//                    drops a download in progress.
//
// Data moves: WRITE BUFFER data are copied from SRB_BufPointer when the request
// is submitted; INQUIRY data are written into SRB_BufPointer (at most
// SRB_BufLen bytes) when the request ends. Ending a request writes the other
// fields first, publishes SRB_Status (PublishSrbStatus) and then sets the
// event. While a request is pending the manager holds its own reference to the
// event; once a request has ended or been aborted, the manager touches neither
// its block, nor its data area, nor its event again.
//
// An execute request with SRB_EVENT_NOTIFY must name an event that is owned by
// a std::shared_ptr (it ends at once with SS_INVALID_SRB otherwise).
//
// Thread safety: one lock guards the bus; requests may end on the scheduler's
// thread. The scheduler must outlive the manager's scheduled actions or drop
// them; actions that fire after the manager is gone do nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/AspiManager.h"
#include "simbus/Scheduler.h"
#include "simbus/SimConfig.h"

namespace qfw::simbus {

struct WriteBufferFields {
  std::uint8_t mode = 0;
  std::uint32_t offset = 0;
  std::uint32_t length = 0;

  bool operator==(const WriteBufferFields&) const = default;
};

// One request as the manager received it.
struct LogEntry {
  Millis time{0};            // the scheduler's Now() at submission
  std::uint8_t command = 0;  // SRB_Cmd
  std::uint8_t ha = 0;
  std::uint8_t target = 0;  // 0 for requests without a target
  std::uint8_t lun = 0;
  std::uint8_t flags = 0;
  std::vector<std::uint8_t> cdb;  // SRB_CDBLen bytes of CDBByte (execute only)
  std::uint32_t bufLen = 0;
  std::optional<WriteBufferFields> writeBuffer;  // WRITE BUFFER only
  const void* srb = nullptr;                     // the block, to tell requests apart
  const void* abortTarget = nullptr;             // SC_ABORT_SRB: the block it names
  std::uint8_t returned = 0;                     // what the submit returned
};

// One line per entry, e.g.
// "EXEC ha=0 target=3 lun=0 flags=50 cdb=3B 04 00 01 00 00 00 80 00 00 buflen=32768
//  mode=4 offset=65536 length=32768 -> 00" (one line, without the time).
std::string Describe(const LogEntry& entry);

// A WRITE BUFFER block as the drive's firmware model took it.
struct BlockRecord {
  WriteBufferFields fields;
  bool failed = false;  // ended with a failing rule
};

struct FirmwareState {
  std::vector<BlockRecord> blocks;       // every WRITE BUFFER the drive processed
  std::vector<std::uint8_t> savedImage;  // the image of the last valid save
  unsigned validSaves = 0;
  bool bricked = false;
  std::string brickReason;                // why the save bricked the drive
  std::vector<std::uint8_t> inquiryData;  // what INQUIRY returns now (unless bricked)
};

struct Counters {
  unsigned accepted = 0;   // execute and reset requests left pending by the submit
  unsigned completed = 0;  // requests ended by the manager (at once or later)
  unsigned aborted = 0;    // pending requests ended by SC_ABORT_SRB
};

class SimManager final : public AspiManager {
 public:
  SimManager(BusConfig config, Scheduler& scheduler);
  ~SimManager() override;
  SimManager(const SimManager&) = delete;
  SimManager& operator=(const SimManager&) = delete;

  std::uint32_t GetASPI32SupportInfo() override;
  std::uint8_t SendASPI32Command(void* srb) override;

  // Appends a rule to the device at (ha, target); false when there is none.
  bool AddRule(std::uint8_t ha, std::uint8_t target, Rule rule);

  std::vector<LogEntry> Log() const;
  void ClearLog();
  Counters Count() const;
  std::size_t PendingCount() const;
  // The firmware model of the device at (ha, target), if there is one.
  std::optional<FirmwareState> Firmware(std::uint8_t ha, std::uint8_t target) const;
  bool IsBricked(std::uint8_t ha, std::uint8_t target) const;

 private:
  struct Bus;
  std::shared_ptr<Bus> bus_;
};

}  // namespace qfw::simbus
