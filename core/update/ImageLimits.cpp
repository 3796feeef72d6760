#include "update/ImageLimits.h"

#include "scsi/Requests.h"

namespace qfw {

bool FitsWriteBuffer(std::uint32_t imageSize, std::uint32_t blockSize) {
  if (blockSize == 0 || blockSize > kMaxWriteBufferField) return false;
  const std::uint64_t blocks = imageSize / blockSize;
  if (blocks == 0) return false;
  const std::uint64_t lastOffset = (blocks - 1) * blockSize;
  return lastOffset <= kMaxWriteBufferField;
}

}  // namespace qfw
