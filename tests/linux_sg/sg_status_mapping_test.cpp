// The kernel's answers to one SG_IO command, as data, and what the request
// block and the status decoder make of them.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "linux_sg/SgStatusMapping.h"
#include "platform/Srb.h"
#include "scsi/StatusDecoder.h"
#include "scsi/StatusMessages.h"

namespace qfw::linux_sg {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Fixed-format sense as scsi_debug sends it: key, ASC, ASCQ.
Bytes FixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  Bytes s(18, 0);
  s[0] = 0x70;
  s[2] = key;
  s[7] = 0x0A;
  s[12] = asc;
  s[13] = ascq;
  return s;
}

// Descriptor-format sense without descriptors (scsi_debug with dsense=1).
Bytes DescriptorSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  return Bytes{0x72, key, asc, ascq, 0, 0, 0, 0};
}

std::array<std::uint8_t, 16> First16(const Bytes& bytes) {
  std::array<std::uint8_t, 16> out{};
  for (std::size_t i = 0; i < out.size() && i < bytes.size(); ++i) out[i] = bytes[i];
  return out;
}

// What the user sees for a block carrying the outcome.
std::optional<std::string> DecodedMessage(const SrbOutcome& outcome) {
  SRB_ExecSCSICmd srb{};
  srb.SRB_Status = outcome.status;
  srb.SRB_HaStat = outcome.haStat;
  srb.SRB_TargStat = outcome.targStat;
  std::copy(outcome.sense.begin(), outcome.sense.end(), srb.SenseArea);
  return SrbStatusMessage(srb);
}

struct OutcomeCase {
  const char* name;
  KernelOutcome kernel;
  std::uint8_t status;
  std::uint8_t haStat;
  std::uint8_t targStat;
  std::optional<std::string> message;  // nothing: success or a silent failure
};

KernelOutcome Host(std::uint16_t host, std::uint8_t scsi = STATUS_GOOD) {
  KernelOutcome k;
  k.hostStatus = host;
  k.scsiStatus = scsi;
  return k;
}

KernelOutcome Driver(std::uint16_t driver) {
  KernelOutcome k;
  k.driverStatus = driver;
  return k;
}

KernelOutcome Os(int error) {
  KernelOutcome k;
  k.osError = error;
  return k;
}

KernelOutcome Scsi(std::uint8_t status, Bytes sense = {}) {
  KernelOutcome k;
  k.scsiStatus = status;
  k.sense = std::move(sense);
  if (!k.sense.empty()) k.driverStatus = kDriverSense;
  return k;
}

TEST(SgStatusMapping, KernelOutcomeGivesTheBlockTheDecoderExpects) {
  const OutcomeCase cases[] = {
      {"good", Scsi(STATUS_GOOD), SS_COMP, HASTAT_OK, STATUS_GOOD, std::nullopt},
      // The transport's verdict wins over a GOOD status byte.
      {"DID_TIME_OUT", Host(kDidTimeOut), SS_COMP, HASTAT_COMMAND_TIMEOUT, STATUS_GOOD,
       text::kHaCommandTimeout},
      {"DID_NO_CONNECT", Host(kDidNoConnect), SS_COMP, HASTAT_SEL_TO, STATUS_GOOD,
       text::kHaSelectionTimeout},
      {"DID_BAD_TARGET", Host(kDidBadTarget), SS_COMP, HASTAT_SEL_TO, STATUS_GOOD,
       text::kHaSelectionTimeout},
      {"DID_TRANSPORT_FAILFAST", Host(kDidTransportFailfast), SS_COMP, HASTAT_SEL_TO, STATUS_GOOD,
       text::kHaSelectionTimeout},
      {"DID_BUS_BUSY", Host(kDidBusBusy), SS_COMP, HASTAT_TIMEOUT, STATUS_GOOD, text::kHaTimeout},
      {"DID_RESET", Host(kDidReset), SS_COMP, HASTAT_BUS_RESET, STATUS_GOOD, text::kHaBusReset},
      {"DID_PARITY", Host(kDidParity), SS_COMP, HASTAT_PARITY_ERROR, STATUS_GOOD,
       text::kHaParityError},
      {"DID_ABORT", Host(kDidAbort), SS_ABORTED, HASTAT_OK, STATUS_GOOD, text::kSrbAborted},
      {"DID_NEXUS_FAILURE", Host(kDidNexusFailure), SS_COMP, HASTAT_OK, STATUS_RESCONF,
       text::kTargetReservationConflict},
      {"DID_ERROR", Host(kDidError), SS_COMP, kHaStatUnclassified, STATUS_GOOD, text::kHaOther},
      {"DID_SOFT_ERROR", Host(kDidSoftError), SS_COMP, kHaStatUnclassified, STATUS_GOOD,
       text::kHaOther},
      {"DID_TARGET_FAILURE", Host(kDidTargetFailure), SS_COMP, kHaStatUnclassified, STATUS_GOOD,
       text::kHaOther},
      {"unknown host byte", Host(0x7F), SS_COMP, kHaStatUnclassified, STATUS_GOOD, text::kHaOther},
      // A host error decides even when the target reported CHECK CONDITION.
      {"DID_TIME_OUT with CHECK CONDITION", Host(kDidTimeOut, STATUS_CHKCOND), SS_COMP,
       HASTAT_COMMAND_TIMEOUT, STATUS_CHKCOND, text::kHaCommandTimeout},
      {"DRIVER_TIMEOUT", Driver(kDriverTimeout), SS_COMP, HASTAT_COMMAND_TIMEOUT, STATUS_GOOD,
       text::kHaCommandTimeout},
      {"DRIVER_TIMEOUT with a suggestion", Driver(0x20 | kDriverTimeout), SS_COMP,
       HASTAT_COMMAND_TIMEOUT, STATUS_GOOD, text::kHaCommandTimeout},
      {"DRIVER_ERROR", Driver(kDriverError), SS_COMP, kHaStatUnclassified, STATUS_GOOD,
       text::kHaOther},
      {"DRIVER_HARD", Driver(kDriverHard), SS_COMP, kHaStatUnclassified, STATUS_GOOD,
       text::kHaOther},
      {"DRIVER_BUSY", Driver(kDriverBusy), SS_COMP, kHaStatUnclassified, STATUS_GOOD,
       text::kHaOther},
      {"DRIVER_SENSE alone is no error", Driver(kDriverSense), SS_COMP, HASTAT_OK, STATUS_GOOD,
       std::nullopt},
      {"BUSY", Scsi(STATUS_BUSY), SS_COMP, HASTAT_OK, STATUS_BUSY, text::kTargetBusy},
      {"RESERVATION CONFLICT", Scsi(STATUS_RESCONF), SS_COMP, HASTAT_OK, STATUS_RESCONF,
       text::kTargetReservationConflict},
      {"TASK ABORTED", Scsi(0x40), SS_COMP, HASTAT_OK, 0x40, text::kTargetOther},
      {"CHECK CONDITION, NOT READY", Scsi(STATUS_CHKCOND, FixedSense(0x02, 0x04, 0x01)), SS_COMP,
       HASTAT_OK, STATUS_CHKCOND, text::kTargetCheckCondition},
      {"CHECK CONDITION, flash write error", Scsi(STATUS_CHKCOND, FixedSense(0x09, 0x85, 0x00)),
       SS_COMP, HASTAT_OK, STATUS_CHKCOND, text::kSenseWriteError},
      {"CHECK CONDITION, descriptor sense, firmware data error",
       Scsi(STATUS_CHKCOND, DescriptorSense(0x09, 0x87, 0x00)), SS_COMP, HASTAT_OK, STATUS_CHKCOND,
       text::kSenseFirmwareData87},
      {"CHECK CONDITION, vendor sense without a message",
       Scsi(STATUS_CHKCOND, FixedSense(0x09, 0x83, 0x00)), SS_COMP, HASTAT_OK, STATUS_CHKCOND,
       std::nullopt},
      {"CHECK CONDITION without sense data", Scsi(STATUS_CHKCOND), SS_COMP, HASTAT_OK,
       STATUS_CHKCOND, text::kTargetCheckCondition},
      // The system call itself failed.
      {"EACCES", Os(EACCES), SS_ILLEGAL_MODE, HASTAT_OK, STATUS_GOOD, text::kSrbIllegalMode},
      {"EPERM", Os(EPERM), SS_ILLEGAL_MODE, HASTAT_OK, STATUS_GOOD, text::kSrbIllegalMode},
      {"EBUSY", Os(EBUSY), SS_ASPI_IS_BUSY, HASTAT_OK, STATUS_GOOD, text::kSrbManagerBusy},
      {"ENOMEM", Os(ENOMEM), SS_BUFFER_TO_BIG, HASTAT_OK, STATUS_GOOD, text::kSrbBufferTooBig},
      {"ENODEV: removed", Os(ENODEV), SS_COMP, HASTAT_SEL_TO, STATUS_GOOD,
       text::kHaSelectionTimeout},
      {"ENOENT: node gone", Os(ENOENT), SS_COMP, HASTAT_SEL_TO, STATUS_GOOD,
       text::kHaSelectionTimeout},
      {"EIO", Os(EIO), SS_COMP, kHaStatUnclassified, STATUS_GOOD, text::kHaOther},
      {"EINTR", Os(EINTR), SS_COMP, kHaStatUnclassified, STATUS_GOOD, text::kHaOther},
  };
  for (const OutcomeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const SrbOutcome out = MapKernelOutcome(c.kernel);
    EXPECT_EQ(out.status, c.status);
    EXPECT_EQ(out.haStat, c.haStat);
    EXPECT_EQ(out.targStat, c.targStat);
    EXPECT_EQ(DecodedMessage(out), c.message);
  }
}

struct SenseCase {
  const char* name;
  Bytes kernelSense;
  Bytes fixed;  // the SenseArea expected, zero-padded to 16 bytes
};

TEST(SgStatusMapping, SenseReachesTheBlockInFixedFormat) {
  const SenseCase cases[] = {
      {"fixed, as scsi_debug reports a bus reset", FixedSense(0x06, 0x29, 0x02),
       FixedSense(0x06, 0x29, 0x02)},
      {"fixed, deferred, longer than 16 bytes",
       {0xF1, 0, 0x03, 1, 2, 3, 4, 0x0A, 0, 0, 0, 0, 0x11, 0x00, 0x05, 0x80, 0x12, 0x34},
       {0xF1, 0, 0x03, 1, 2, 3, 4, 0x0A, 0, 0, 0, 0, 0x11, 0x00, 0x05, 0x80}},
      {"fixed, short", {0x70, 0, 0x05, 0, 0, 0, 0, 0x06}, {0x70, 0, 0x05, 0, 0, 0, 0, 0x06}},
      {"descriptor, no descriptors", DescriptorSense(0x06, 0x3F, 0x01),
       FixedSense(0x06, 0x3F, 0x01)},
      {"descriptor, deferred",
       {0x73, 0x04, 0x44, 0x00, 0, 0, 0, 0},
       {0x71, 0, 0x04, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x44, 0x00}},
      {"descriptor with information, FRU and stream descriptors",
       {0x72, 0x09, 0x85, 0x00, 0, 0, 0,    20,   0x00, 0x0A,
        0x80, 0,    0,    0,    0, 0, 0x12, 0x34, 0x56, 0x78,  // information, VALID
        0x03, 0x02, 0,    0x5A,                                // FRU code 5A
        0x04, 0x02, 0,    0x20},                               // stream: ILI
       {0xF0, 0, 0x29, 0x12, 0x34, 0x56, 0x78, 0x0A, 0, 0, 0, 0, 0x85, 0x00, 0x5A, 0}},
      {"descriptor, information too wide for fixed format",
       {0x72, 0x03, 0x11, 0x00, 0, 0, 0, 12, 0x00, 0x0A, 0x80, 0, 0, 0, 0, 1, 0, 0, 0, 2},
       {0x70, 0, 0x03, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x11, 0x00}},
      {"descriptor, truncated descriptor is ignored",
       {0x72, 0x03, 0x11, 0x00, 0, 0, 0, 12, 0x00, 0x0A, 0x80, 0},
       {0x70, 0, 0x03, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x11, 0x00}},
      {"descriptor, header cut short", {0x72, 0x02}, {0x70, 0, 0x02, 0, 0, 0, 0, 0x0A}},
      {"unknown response code is copied", {0x7F, 1, 2, 3}, {0x7F, 1, 2, 3}},
      {"none", {}, {}},
  };
  for (const SenseCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToFixedSense(c.kernelSense), First16(c.fixed));
  }
}

TEST(SgStatusMapping, SenseIsOnlyCopiedWithCheckCondition) {
  KernelOutcome k = Scsi(STATUS_GOOD, FixedSense(0x06, 0x29, 0x00));
  EXPECT_EQ(MapKernelOutcome(k).sense, First16({}));
  k.scsiStatus = STATUS_CHKCOND;
  EXPECT_EQ(MapKernelOutcome(k).sense, First16(FixedSense(0x06, 0x29, 0x00)));
}

TEST(SgStatusMapping, UnitAttentionOnlyWhenTheTargetReportsItWithoutTransportError) {
  struct Case {
    const char* name;
    KernelOutcome kernel;
    bool unitAttention;
  } cases[] = {
      {"fixed 29/02", Scsi(STATUS_CHKCOND, FixedSense(0x06, 0x29, 0x02)), true},
      {"fixed 3F/01", Scsi(STATUS_CHKCOND, FixedSense(0x06, 0x3F, 0x01)), true},
      {"descriptor 3F/16", Scsi(STATUS_CHKCOND, DescriptorSense(0x06, 0x3F, 0x16)), true},
      {"key byte with ILI set", Scsi(STATUS_CHKCOND, FixedSense(0x26, 0x29, 0x00)), true},
      {"NOT READY", Scsi(STATUS_CHKCOND, FixedSense(0x02, 0x04, 0x01)), false},
      {"sense without CHECK CONDITION", Scsi(STATUS_GOOD, FixedSense(0x06, 0x29, 0x00)), false},
      {"no sense", Scsi(STATUS_CHKCOND), false},
      {"with a host error",
       [] {
         KernelOutcome k = Scsi(STATUS_CHKCOND, FixedSense(0x06, 0x29, 0x00));
         k.hostStatus = kDidTimeOut;
         return k;
       }(),
       false},
      {"failed call", Os(EIO), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsUnitAttention(c.kernel), c.unitAttention);
  }
}

}  // namespace
}  // namespace qfw::linux_sg
