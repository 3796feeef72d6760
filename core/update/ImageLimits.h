// Limits on the images that can be sent with WRITE BUFFER.
#pragma once

#include <cstdint>

namespace qfw {

// WRITE BUFFER carries the block's offset and length in 24-bit fields: every
// block must be shorter than 16 MiB and the last one must start below 16 MiB.
// An image that breaks either is refused before anything is sent, rather than
// sent with truncated fields.
bool FitsWriteBuffer(std::uint32_t imageSize, std::uint32_t blockSize);

// No image that fits WRITE BUFFER with the manual block sizes can be longer
// than this; a longer file is refused without being read.
inline constexpr std::uint64_t kLargestManualImage = 0x1000000ull + 32768ull;

}  // namespace qfw
