#include "linux_sg/SgStatusMapping.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>

#include "platform/Srb.h"

namespace qfw::linux_sg {
namespace {

constexpr std::uint8_t kFixedCurrent = 0x70;
constexpr std::uint8_t kFixedDeferred = 0x71;
constexpr std::uint8_t kDescriptorCurrent = 0x72;
constexpr std::uint8_t kDescriptorDeferred = 0x73;
constexpr std::uint8_t kFixedValidBit = 0x80;
// Byte 7 of fixed sense: the additional length of an 18-byte block.
constexpr std::uint8_t kFixedAdditionalLength = 0x0A;

// Descriptor types of descriptor-format sense.
constexpr std::uint8_t kInformationDescriptor = 0x00;
constexpr std::uint8_t kFieldReplaceableUnitDescriptor = 0x03;
constexpr std::uint8_t kStreamCommandsDescriptor = 0x04;

std::uint8_t ResponseCode(std::span<const std::uint8_t> sense) {
  return sense.empty() ? 0 : static_cast<std::uint8_t>(sense[0] & 0x7F);
}

SrbOutcome Completed(std::uint8_t haStat, std::uint8_t targStat) {
  SrbOutcome out;
  out.status = SS_COMP;
  out.haStat = haStat;
  out.targStat = targStat;
  return out;
}

SrbOutcome Ended(std::uint8_t status) {
  SrbOutcome out;
  out.status = status;
  return out;
}

// Fills the fields of fixed sense from the descriptors of descriptor sense.
void CopyDescriptors(std::span<const std::uint8_t> sense, std::array<std::uint8_t, 18>& fixed) {
  // Byte 7 counts the descriptor bytes that follow the 8-byte header.
  const std::size_t end =
      sense.size() < 8 ? sense.size() : std::min<std::size_t>(sense.size(), 8u + sense[7]);
  std::size_t at = 8;
  while (at + 2 <= end) {
    const std::uint8_t type = sense[at];
    const std::size_t length = 2u + sense[at + 1];
    if (at + length > end) break;
    const std::span<const std::uint8_t> d = sense.subspan(at, length);
    if (type == kInformationDescriptor && length >= 12) {
      // An 8-byte information field; fixed sense holds 4 bytes of it.
      const bool fits = d[4] == 0 && d[5] == 0 && d[6] == 0 && d[7] == 0;
      if (fits) {
        std::copy(d.begin() + 8, d.begin() + 12, fixed.begin() + 3);
        if ((d[2] & kFixedValidBit) != 0) fixed[0] |= kFixedValidBit;
      }
    } else if (type == kFieldReplaceableUnitDescriptor && length >= 4) {
      fixed[14] = d[3];
    } else if (type == kStreamCommandsDescriptor && length >= 4) {
      fixed[2] |= static_cast<std::uint8_t>(d[3] & 0xE0);  // FILEMARK, EOM, ILI
    }
    at += length;
  }
}

}  // namespace

std::array<std::uint8_t, 16> ToFixedSense(std::span<const std::uint8_t> sense) {
  std::array<std::uint8_t, 16> out{};
  const std::uint8_t code = ResponseCode(sense);
  if (code == kDescriptorCurrent || code == kDescriptorDeferred) {
    std::array<std::uint8_t, 18> fixed{};
    fixed[0] = code == kDescriptorDeferred ? kFixedDeferred : kFixedCurrent;
    fixed[kSenseAdditionalLengthByte] = kFixedAdditionalLength;
    if (sense.size() > 1) fixed[kSenseKeyByte] = static_cast<std::uint8_t>(sense[1] & 0x0F);
    if (sense.size() > 2) fixed[kSenseAscByte] = sense[2];
    if (sense.size() > 3) fixed[kSenseAscqByte] = sense[3];
    CopyDescriptors(sense, fixed);
    std::copy_n(fixed.begin(), out.size(), out.begin());
    return out;
  }
  std::copy_n(sense.begin(), std::min(sense.size(), out.size()), out.begin());
  return out;
}

std::optional<std::uint8_t> SenseKey(std::span<const std::uint8_t> sense) {
  const std::uint8_t code = ResponseCode(sense);
  if ((code == kFixedCurrent || code == kFixedDeferred) && sense.size() > kSenseKeyByte) {
    return static_cast<std::uint8_t>(sense[kSenseKeyByte] & 0x0F);
  }
  if ((code == kDescriptorCurrent || code == kDescriptorDeferred) && sense.size() > 1) {
    return static_cast<std::uint8_t>(sense[1] & 0x0F);
  }
  return std::nullopt;
}

SrbOutcome MapOsError(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      return Ended(SS_ILLEGAL_MODE);
    case EBUSY:
    case EAGAIN:
      return Ended(SS_ASPI_IS_BUSY);
    case ENOMEM:
    case EINVAL:
      return Ended(SS_BUFFER_TO_BIG);
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return Completed(HASTAT_SEL_TO, STATUS_GOOD);
    default:
      return Completed(kHaStatUnclassified, STATUS_GOOD);
  }
}

SrbOutcome MapKernelOutcome(const KernelOutcome& outcome) {
  if (outcome.osError != 0) return MapOsError(outcome.osError);

  std::uint8_t targStat = outcome.scsiStatus;
  std::uint8_t haStat = HASTAT_OK;
  switch (outcome.hostStatus) {
    case kDidOk:
      break;
    case kDidNoConnect:
    case kDidBadTarget:
    case kDidTransportFailfast:
      haStat = HASTAT_SEL_TO;
      break;
    case kDidBusBusy:
      haStat = HASTAT_TIMEOUT;
      break;
    case kDidTimeOut:
      haStat = HASTAT_COMMAND_TIMEOUT;
      break;
    case kDidParity:
      haStat = HASTAT_PARITY_ERROR;
      break;
    case kDidReset:
      haStat = HASTAT_BUS_RESET;
      break;
    case kDidAbort:
      return Ended(SS_ABORTED);
    case kDidNexusFailure:
      targStat = STATUS_RESCONF;
      break;
    default:
      haStat = kHaStatUnclassified;
      break;
  }
  if (haStat == HASTAT_OK) {
    const auto driver = static_cast<std::uint16_t>(outcome.driverStatus & kDriverMask);
    if (driver == kDriverTimeout) {
      haStat = HASTAT_COMMAND_TIMEOUT;
    } else if (driver != kDriverOk && driver != kDriverSense) {
      haStat = kHaStatUnclassified;
    }
  }

  SrbOutcome out = Completed(haStat, targStat);
  if (targStat == STATUS_CHKCOND) out.sense = ToFixedSense(outcome.sense);
  return out;
}

bool IsUnitAttention(const KernelOutcome& outcome) {
  if (outcome.osError != 0 || outcome.scsiStatus != STATUS_CHKCOND) return false;
  const SrbOutcome mapped = MapKernelOutcome(outcome);
  return mapped.status == SS_COMP && mapped.haStat == HASTAT_OK &&
         mapped.targStat == STATUS_CHKCOND && SenseKey(outcome.sense) == kSenseKeyUnitAttention;
}

}  // namespace qfw::linux_sg
