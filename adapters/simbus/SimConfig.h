// Configuration of the simulated bus: plain data, so it can be written in code
// or read from a scenario file.
//
// A bus has host adapters and CD-ROM class devices (or devices of any other
// peripheral type) at (adapter, target, LUN 0). Each device answers TEST UNIT
// READY, INQUIRY and WRITE BUFFER through a firmware model; rules change when
// and how a request ends (delays, requests that never end, failures).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Events.h"
#include "platform/Srb.h"

namespace qfw::simbus {

// Fixed-format sense data as the device reports it: the sense key goes to
// byte 2, the ASC to byte 12 and the ASCQ to byte 13 of SenseArea.
struct Sense {
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;

  bool operator==(const Sense&) const = default;
};

// Vendor-specific flash failures (sense key 9) and two standard conditions.
inline constexpr Sense kSenseEraseFailure{0x09, 0x82, 0x00};
inline constexpr Sense kSenseFlashNotErased{0x09, 0x84, 0x00};
inline constexpr Sense kSenseFlashWriteError{0x09, 0x85, 0x00};
inline constexpr Sense kSenseFlashChecksumError{0x09, 0x86, 0x00};
inline constexpr Sense kSenseFirmwareDataError{0x09, 0x87, 0x00};
inline constexpr Sense kSenseNotReady{0x02, 0x04, 0x00};
inline constexpr Sense kSenseInvalidFieldInCdb{0x05, 0x24, 0x00};

// How a request ends: the fields the manager writes into the block.
struct Ending {
  std::uint8_t status = SS_COMP;        // SRB_Status
  std::uint8_t haStat = HASTAT_OK;      // SRB_HaStat
  std::uint8_t targStat = STATUS_GOOD;  // SRB_TargStat
  std::optional<Sense> sense;           // written to SenseArea when present

  bool Succeeded() const {
    return status == SS_COMP && haStat == HASTAT_OK && targStat == STATUS_GOOD;
  }
  bool operator==(const Ending&) const = default;

  static Ending Good() { return {}; }
  // SS_COMP with CHECK CONDITION and the sense data.
  static Ending CheckCondition(Sense s) { return {SS_COMP, HASTAT_OK, STATUS_CHKCOND, s}; }
  // SS_ERR with the sense data (the manager's own report of a failed command).
  static Ending Error(Sense s) { return {SS_ERR, HASTAT_OK, STATUS_CHKCOND, s}; }
  // SS_COMP with a host adapter status.
  static Ending Adapter(std::uint8_t haStat) { return {SS_COMP, haStat, STATUS_GOOD, {}}; }
  // A final status alone (for requests the manager ends at once).
  static Ending Status(std::uint8_t status) { return {status, HASTAT_OK, STATUS_GOOD, {}}; }
};

enum class CommandKind { TestUnitReady, Inquiry, WriteBuffer, DeviceReset };

const char* CommandKindName(CommandKind kind);

// When a request ends.
enum class Timing {
  // Accepted (the submit returns SS_PENDING) and ended before the submit
  // returns: fields written, event set.
  AtOnce,
  // Accepted; ends `delay` later through the scheduler (virtual or real time).
  Delayed,
  // Accepted; never ends by itself, stays pending until aborted.
  Never,
  // Not left pending: ended within the submit, which returns the final status
  // (SRB_Status holds it too). The event is set only with signalFinalAtOnce.
  // An ending whose status is SS_PENDING makes this Never.
  FinalAtOnce,
};

struct Behaviour {
  Timing timing = Timing::AtOnce;
  Millis delay{0};  // Delayed only
  // How the request ends. Nothing: as the device's firmware model answers.
  // A failing ending is a command the device failed: a WRITE BUFFER block that
  // fails breaks the download, a failed save bricks the drive, and a failed
  // INQUIRY moves no data. A succeeding ending replaces the model's answer but
  // the model still takes the block.
  std::optional<Ending> ending;
  bool signalFinalAtOnce = false;  // FinalAtOnce only
};

// A behaviour for requests of one kind to one device. The rules of a device
// are tried in order and the first that matches decides; a request no rule
// matches ends AtOnce as the model answers.
struct Rule {
  CommandKind command = CommandKind::TestUnitReady;
  // 0: every request of the kind; k >= 1: only the k-th request of the kind
  // that reached this device (counted from 1, since the bus was made).
  unsigned occurrence = 0;
  Behaviour behaviour;
};

// The drive's flash and its download checks.
//
// A download is a run of WRITE BUFFER mode-4 blocks followed by one mode-5
// block (download and save). The first block is at offset 0, each further one
// starts where the previous ended, and all have the length of the first. A
// mode-4 block at offset 0 starts a new download. A mode-5 block that ends a
// download in which a block failed, a block was out of order, of another
// length, or missing, or that comes with no mode-4 block before it (when
// requireDownloadBeforeSave), or that itself fails, bricks the drive. A valid
// save keeps the downloaded image and makes INQUIRY report newRevision.
// A bricked drive answers every command but a device reset with brickedAnswer.
struct FirmwareModelConfig {
  // Product revision (INQUIRY bytes 32 to 35, space padded) after a valid save;
  // empty: unchanged.
  std::string newRevision;
  bool requireDownloadBeforeSave = true;
  // Answer to a block that breaks the download order; nothing: the drive
  // accepts it without complaint (and bricks at the save).
  std::optional<Sense> sequenceErrorSense;
  Ending brickedAnswer = Ending::Adapter(HASTAT_SEL_TO);
};

struct DeviceConfig {
  std::uint8_t ha = 0;
  std::uint8_t target = 0;
  std::uint8_t peripheralType = DTYPE_CDROM;  // answer to SC_GET_DEV_TYPE
  // The standard INQUIRY data it returns; fewer than 36 bytes is allowed (the
  // rest of the caller's area is then left alone).
  std::vector<std::uint8_t> inquiryData;
  FirmwareModelConfig firmware;
  std::vector<Rule> rules;
};

struct BusConfig {
  // GetASPI32SupportInfo as it is returned: the adapter count in the low byte,
  // the manager's status above. Not checked against `adapters`.
  std::uint32_t supportInfo = 0x0001;
  // Adapter numbers that answer SC_HA_INQUIRY.
  std::vector<std::uint8_t> adapters{0};
  std::vector<DeviceConfig> devices;
};

// 36 bytes of standard INQUIRY data: the peripheral type, removable medium,
// SCSI-2, the additional length 31, then vendor (8), product (16) and revision
// (4), each cut or padded with blanks to its field.
std::vector<std::uint8_t> MakeInquiryData(std::string_view vendor, std::string_view product,
                                          std::string_view revision,
                                          std::uint8_t peripheralType = DTYPE_CDROM);

// The k-th WRITE BUFFER to the device ends with CHECK CONDITION and the sense.
Rule FailNthWriteBuffer(unsigned k, Sense sense);

}  // namespace qfw::simbus
