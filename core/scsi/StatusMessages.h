// The texts the status decoder shows, word for word, and the tables that tie
// them to the status and sense codes. Blanks inside the quotes are part of the
// texts.
#pragma once

#include <array>
#include <cstdint>

#include "platform/Srb.h"

namespace qfw {

namespace text {

// Host adapter status, request ended (SS_COMP).
inline constexpr const char* kHaTimeout =
    "HA_Status: Timed out while SRB was waiting to be processed.";
inline constexpr const char* kHaCommandTimeout =
    "HA_Status: While processing the SRB, the adapter timed out.";
inline constexpr const char* kHaMessageReject =
    "HA_Status: While processing SRB, the adapter received a MESSAGE REJECT.";
inline constexpr const char* kHaBusReset = "HA_Status: A bus reset was detected.";
inline constexpr const char* kHaParityError = "HA_Status: Parity error.";
inline constexpr const char* kHaRequestSenseFailed =
    "HA_Status: The adapter failed in issuing REQUEST SENSE.";
inline constexpr const char* kHaSelectionTimeout = "HA_Status: Selection Timeout.";
inline constexpr const char* kHaDataOverUnderrun = "HA_Status: Data overrun data underrun.";
inline constexpr const char* kHaBusFree = "HA_Status: Unexpected bus free.";
inline constexpr const char* kHaPhaseError = "HA_Status: Target bus phase sequence failure.";
inline constexpr const char* kHaOther = "HA_Status: error";

// Target status, request ended with host adapter status 0.
inline constexpr const char* kTargetCheckCondition = "Target_Status: Check Condition";
inline constexpr const char* kTargetBusy = "Target_Status: BUSY";
inline constexpr const char* kTargetReservationConflict = "Target_Status: Reservation Conflict";
inline constexpr const char* kTargetOther = "Target_Status: error";

// Request status other than SS_COMP.
inline constexpr const char* kSrbAborted = "SRB aborted.";
inline constexpr const char* kSrbAbortFailed = "Unable to abort SRB.";
inline constexpr const char* kSrbInvalidCommand = "Invalid ASPI command.";
inline constexpr const char* kSrbInvalidAdapter = "Invalid host adapter number.";
inline constexpr const char* kSrbNoDevice = "SCSI device not installed.";
inline constexpr const char* kSrbInvalidParameter = "Invalid parameter set in SRB.";
inline constexpr const char* kSrbBufferAlignment = " Buffer alignment problem.";
inline constexpr const char* kSrbIllegalMode = "Device access security violation.";
inline constexpr const char* kSrbFailedInit = "ASPI for windows failed init.";
inline constexpr const char* kSrbManagerBusy = "No resources available to execute cmd.";
inline constexpr const char* kSrbBufferTooBig = "Buffer size to big to handle!";

// Vendor-specific sense (sense key 09h, ASCQ 00h) about the flash memory and
// the firmware data. The code in parentheses is key-ASC-ASCQ.
inline constexpr const char* kSenseEraseFailure = "Erase failure. (Code 09-82-00)";
inline constexpr const char* kSenseNotErased = "Flash rom not erased. (Code 09-84-00)";
inline constexpr const char* kSenseWriteError = "Flash rom write error. (Code 09-85-00)";
inline constexpr const char* kSenseChecksumError = "Flash rom check sum error. (Code 09-86-00)";
inline constexpr const char* kSenseFirmwareData87 = "Firmware data error. (Code 09-87-00)";
inline constexpr const char* kSenseFirmwareData88 = "Firmware data error. (Code 09-88-00)";

}  // namespace text

// One row of a code-to-message table.
struct StatusMessageRow {
  std::uint8_t code;
  const char* message;
};

// SRB_HaStat with SS_COMP. Any other nonzero value shows text::kHaOther.
inline constexpr std::array<StatusMessageRow, 10> kHostAdapterMessages{{
    {HASTAT_TIMEOUT, text::kHaTimeout},
    {HASTAT_COMMAND_TIMEOUT, text::kHaCommandTimeout},
    {HASTAT_MESSAGE_REJECT, text::kHaMessageReject},
    {HASTAT_BUS_RESET, text::kHaBusReset},
    {HASTAT_PARITY_ERROR, text::kHaParityError},
    {HASTAT_REQUEST_SENSE_FAILED, text::kHaRequestSenseFailed},
    {HASTAT_SEL_TO, text::kHaSelectionTimeout},
    {HASTAT_DO_DU, text::kHaDataOverUnderrun},
    {HASTAT_BUS_FREE, text::kHaBusFree},
    {HASTAT_PHASE_ERR, text::kHaPhaseError},
}};

// SRB_TargStat with SS_COMP and SRB_HaStat 0, apart from GOOD and CHECK
// CONDITION, which the decoder handles itself. Any other value shows
// text::kTargetOther.
inline constexpr std::array<StatusMessageRow, 2> kTargetStatusMessages{{
    {STATUS_BUSY, text::kTargetBusy},
    {STATUS_RESCONF, text::kTargetReservationConflict},
}};

// SRB_Status other than SS_COMP. SS_ERR is decided by the sense data; every
// status without a row (SS_PENDING and SS_NO_ASPI among them) is silent.
inline constexpr std::array<StatusMessageRow, 11> kRequestStatusMessages{{
    {SS_ABORTED, text::kSrbAborted},
    {SS_ABORT_FAIL, text::kSrbAbortFailed},
    {SS_INVALID_CMD, text::kSrbInvalidCommand},
    {SS_INVALID_HA, text::kSrbInvalidAdapter},
    {SS_NO_DEVICE, text::kSrbNoDevice},
    {SS_INVALID_SRB, text::kSrbInvalidParameter},
    {SS_BUFFER_ALIGN, text::kSrbBufferAlignment},
    {SS_ILLEGAL_MODE, text::kSrbIllegalMode},
    {SS_FAILED_INIT, text::kSrbFailedInit},
    {SS_ASPI_IS_BUSY, text::kSrbManagerBusy},
    {SS_BUFFER_TO_BIG, text::kSrbBufferTooBig},
}};

// The vendor-specific sense key, compared with the whole of sense byte 2.
inline constexpr std::uint8_t kVendorSenseKey = 0x09;
// The only ASCQ that the vendor-specific rows accept.
inline constexpr std::uint8_t kVendorSenseQualifier = 0x00;

// Vendor-specific sense, selected by the ASC (sense byte 12). Any other ASC is
// silent.
inline constexpr std::array<StatusMessageRow, 6> kVendorSenseMessages{{
    {0x82, text::kSenseEraseFailure},
    {0x84, text::kSenseNotErased},
    {0x85, text::kSenseWriteError},
    {0x86, text::kSenseChecksumError},
    {0x87, text::kSenseFirmwareData87},
    {0x88, text::kSenseFirmwareData88},
}};

}  // namespace qfw
