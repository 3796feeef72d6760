// How the outcome of one SCSI generic command (SG_IO) reads in a request
// block: the kernel's SCSI status, host byte, driver byte, sense data and the
// error of the system call itself become SRB_Status, SRB_HaStat, SRB_TargStat
// and the 16-byte fixed-format SenseArea that the status decoder reads.
//
// Pure functions on plain data: no device, no Linux header.
//
// The mapping, first rule that applies:
//   1. The open or the SG_IO call failed (osError, an errno value):
//        EACCES, EPERM, EROFS      SS_ILLEGAL_MODE   "Device access security violation."
//        EBUSY, EAGAIN             SS_ASPI_IS_BUSY   (another program holds the device)
//        ENOMEM, EINVAL            SS_BUFFER_TO_BIG  (the kernel refused the transfer size;
//                                                    the CDB itself is checked beforehand)
//        ENOENT, ENODEV, ENXIO     SS_COMP + HASTAT_SEL_TO (the device has gone away)
//        any other                 SS_COMP + kHaStatUnclassified ("HA_Status: error")
//   2. Host byte (the transport's own verdict), whatever the SCSI status says:
//        DID_NO_CONNECT, DID_BAD_TARGET, DID_TRANSPORT_FAILFAST   HASTAT_SEL_TO
//        DID_BUS_BUSY              HASTAT_TIMEOUT (never got to run)
//        DID_TIME_OUT              HASTAT_COMMAND_TIMEOUT
//        DID_PARITY                HASTAT_PARITY_ERROR
//        DID_RESET                 HASTAT_BUS_RESET
//        DID_ABORT                 SRB_Status SS_ABORTED ("SRB aborted.")
//        DID_NEXUS_FAILURE         SRB_TargStat RESERVATION CONFLICT (how the
//                                  midlayer may pass that status on)
//        any other but DID_OK      kHaStatUnclassified
//   3. Driver byte: DRIVER_TIMEOUT gives HASTAT_COMMAND_TIMEOUT; DRIVER_SENSE
//      (sense data present) and DRIVER_OK are no error; any other value gives
//      kHaStatUnclassified.
//   4. Otherwise SS_COMP with HaStat 0.
// Every SS_COMP outcome carries the SCSI status byte in SRB_TargStat, and,
// with CHECK CONDITION, the sense data in fixed format (ToFixedSense). Ending a
// command that reached the target with SS_COMP (not SS_ERR) lets the decoder
// name the adapter or target status to the user.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qfw::linux_sg {

// Host byte of sg_io_hdr.host_status (the kernel's DID_ codes).
inline constexpr std::uint16_t kDidOk = 0x00;
inline constexpr std::uint16_t kDidNoConnect = 0x01;
inline constexpr std::uint16_t kDidBusBusy = 0x02;
inline constexpr std::uint16_t kDidTimeOut = 0x03;
inline constexpr std::uint16_t kDidBadTarget = 0x04;
inline constexpr std::uint16_t kDidAbort = 0x05;
inline constexpr std::uint16_t kDidParity = 0x06;
inline constexpr std::uint16_t kDidError = 0x07;
inline constexpr std::uint16_t kDidReset = 0x08;
inline constexpr std::uint16_t kDidBadIntr = 0x09;
inline constexpr std::uint16_t kDidPassthrough = 0x0A;
inline constexpr std::uint16_t kDidSoftError = 0x0B;
inline constexpr std::uint16_t kDidImmRetry = 0x0C;
inline constexpr std::uint16_t kDidRequeue = 0x0D;
inline constexpr std::uint16_t kDidTransportDisrupted = 0x0E;
inline constexpr std::uint16_t kDidTransportFailfast = 0x0F;
inline constexpr std::uint16_t kDidTargetFailure = 0x10;
inline constexpr std::uint16_t kDidNexusFailure = 0x11;
inline constexpr std::uint16_t kDidAllocFailure = 0x12;
inline constexpr std::uint16_t kDidMediumError = 0x13;

// Driver byte of sg_io_hdr.driver_status: the low four bits (the high four
// are the kernel's retry suggestion and are not looked at).
inline constexpr std::uint16_t kDriverMask = 0x0F;
inline constexpr std::uint16_t kDriverOk = 0x00;
inline constexpr std::uint16_t kDriverBusy = 0x01;
inline constexpr std::uint16_t kDriverSoft = 0x02;
inline constexpr std::uint16_t kDriverMedia = 0x03;
inline constexpr std::uint16_t kDriverError = 0x04;
inline constexpr std::uint16_t kDriverInvalid = 0x05;
inline constexpr std::uint16_t kDriverTimeout = 0x06;
inline constexpr std::uint16_t kDriverHard = 0x07;
inline constexpr std::uint16_t kDriverSense = 0x08;

// The adapter status written for a host or driver failure that has no name of
// its own in the decoder's table; the decoder shows "HA_Status: error".
inline constexpr std::uint8_t kHaStatUnclassified = 0x20;

inline constexpr std::uint8_t kSenseKeyUnitAttention = 0x06;

// What the kernel reported for one command.
struct KernelOutcome {
  int osError = 0;                  // errno of the open or SG_IO call that failed; 0: SG_IO ran
  std::uint8_t scsiStatus = 0;      // sg_io_hdr.status
  std::uint16_t hostStatus = 0;     // sg_io_hdr.host_status
  std::uint16_t driverStatus = 0;   // sg_io_hdr.driver_status
  std::vector<std::uint8_t> sense;  // the sb_len_wr bytes the kernel wrote
  std::uint32_t residual = 0;       // bytes of the data area not transferred
};

// What a request block receives.
struct SrbOutcome {
  std::uint8_t status = 0;               // SRB_Status
  std::uint8_t haStat = 0;               // SRB_HaStat
  std::uint8_t targStat = 0;             // SRB_TargStat
  std::array<std::uint8_t, 16> sense{};  // SenseArea

  bool operator==(const SrbOutcome&) const = default;
};

SrbOutcome MapKernelOutcome(const KernelOutcome& outcome);

// The final status of a request that ended on a failed system call (rule 1
// above), e.g. an open that was refused; SRB_HaStat in haStat.
SrbOutcome MapOsError(int error);

// Sense data in the fixed format (response code 70h/71h), cut to 16 bytes:
// fixed-format sense is copied; descriptor-format sense (72h/73h) is rebuilt
// so that the sense key (with the FILEMARK, EOM and ILI bits of a stream
// commands descriptor), ASC and ASCQ sit at bytes 2, 12 and 13, the
// information field at bytes 3 to 6 when it fits in 32 bits, and the
// field-replaceable unit code at byte 14. Sense of any other response code is
// copied as it is; none gives all zeros.
std::array<std::uint8_t, 16> ToFixedSense(std::span<const std::uint8_t> sense);

// The sense key of fixed or descriptor sense data; nothing for any other.
std::optional<std::uint8_t> SenseKey(std::span<const std::uint8_t> sense);

// The command was not executed because the target reported an event (CHECK
// CONDITION, sense key UNIT ATTENTION) and the transport reported no error.
bool IsUnitAttention(const KernelOutcome& outcome);

}  // namespace qfw::linux_sg
