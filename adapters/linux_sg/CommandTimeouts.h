// The time-out handed to the kernel with each command (sg_io_hdr.timeout).
// When it strikes, the kernel aborts the command and the request ends with
// HASTAT_COMMAND_TIMEOUT, so no request stays pending for longer than this
// (plus the kernel's own error handling, about a second).
//
// A kernel time-out is not harmless: the error handler aborts the command and
// may go on to reset the device. So the values sit well above what a working
// drive needs, and far above it for WRITE BUFFER, where an aborted download
// can leave a drive without usable firmware.
#pragma once

#include <chrono>
#include <cstdint>

#include "scsi/Cdb.h"

namespace qfw::linux_sg {

using KernelTimeout = std::chrono::milliseconds;

using qfw::kOpInquiry;
using qfw::kOpTestUnitReady;
using qfw::kOpWriteBuffer;

// A drive answers these from its controller at once; the program itself waits
// only 1 s (TEST UNIT READY) and 3 s (INQUIRY) before it gives up on them.
inline constexpr KernelTimeout kTestUnitReadyTimeout = std::chrono::seconds(5);
inline constexpr KernelTimeout kInquiryTimeout = std::chrono::seconds(5);
// A drive may spend a minute programming its flash before it answers the
// final block. The same value as sg3_utils' sg_write_buffer uses by default.
inline constexpr KernelTimeout kWriteBufferTimeout = std::chrono::seconds(300);
// Any other command (the program sends none).
inline constexpr KernelTimeout kOtherCommandTimeout = std::chrono::seconds(60);

// The time-out for a command with this operation code.
constexpr KernelTimeout KernelTimeoutFor(std::uint8_t opcode, KernelTimeout writeBuffer) {
  switch (opcode) {
    case kOpTestUnitReady:
      return kTestUnitReadyTimeout;
    case kOpInquiry:
      return kInquiryTimeout;
    case kOpWriteBuffer:
      return writeBuffer;
    default:
      return kOtherCommandTimeout;
  }
}

}  // namespace qfw::linux_sg
