// Command descriptor blocks for the three SCSI commands the program sends.
// Multi-byte fields are big-endian and written byte by byte, so the result does
// not depend on the host's byte order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace qfw {

using Cdb6 = std::array<std::uint8_t, 6>;
using Cdb10 = std::array<std::uint8_t, 10>;

inline constexpr std::uint8_t kOpTestUnitReady = 0x00;
inline constexpr std::uint8_t kOpInquiry = 0x12;
inline constexpr std::uint8_t kOpWriteBuffer = 0x3B;

// WRITE BUFFER modes: download microcode, and download microcode and save.
inline constexpr std::uint8_t kModeDownload = 4;
inline constexpr std::uint8_t kModeDownloadAndSave = 5;

// Largest value a 24-bit CDB field can carry.
inline constexpr std::uint32_t kMaxCdbField24 = 0xFFFFFF;

// TEST UNIT READY, logical unit 0. On a real drive: sg_turs /dev/sgN
constexpr Cdb6 TestUnitReadyCdb() {
  return Cdb6{kOpTestUnitReady, 0, 0, 0, 0, 0};
}

// Standard INQUIRY data (EVPD 0, page 0), logical unit 0.
// On a real drive: sg_inq --len=<allocationLength> /dev/sgN
constexpr Cdb6 InquiryCdb(std::uint8_t allocationLength) {
  return Cdb6{kOpInquiry, 0, 0, 0, allocationLength, 0};
}

// WRITE BUFFER with buffer ID 0: mode as given, 24-bit buffer offset and
// parameter list length. Nothing when offset or length does not fit in 24 bits;
// the fields are never truncated.
// On a real drive: sg_write_buffer --mode=<mode> --id=0 --offset=<offset>
//                  --length=<length> --in=<image> /dev/sgN
constexpr std::optional<Cdb10> WriteBufferCdb(std::uint8_t mode, std::uint32_t offset,
                                              std::uint32_t length) {
  if (offset > kMaxCdbField24 || length > kMaxCdbField24) return std::nullopt;
  const auto byte = [](std::uint32_t value, unsigned shift) {
    return static_cast<std::uint8_t>((value >> shift) & 0xFFu);
  };
  return Cdb10{kOpWriteBuffer,
               mode,
               0,
               byte(offset, 16),
               byte(offset, 8),
               byte(offset, 0),
               byte(length, 16),
               byte(length, 8),
               byte(length, 0),
               0};
}

}  // namespace qfw
