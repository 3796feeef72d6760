// The system calls the manager makes on a SCSI generic device: open, close,
// one blocking SG_IO command, device reset. An interface so that the manager's
// request handling can be tested without a device; MakeSgIoTransport gives the
// real one.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "linux_sg/CommandTimeouts.h"
#include "linux_sg/SgStatusMapping.h"

namespace qfw::linux_sg {

enum class DataDirection { None, ToDevice, FromDevice };

struct SgCommand {
  std::span<const std::uint8_t> cdb;  // 6 to 16 bytes
  DataDirection direction = DataDirection::None;
  std::span<std::uint8_t> data;  // read from (ToDevice) or written to (FromDevice)
  KernelTimeout timeout{0};
};

class SgTransport {
 public:
  virtual ~SgTransport() = default;

  // Opens the device node for reading and writing without waiting for another
  // holder; exclusive asks for O_EXCL, which fails with EBUSY while any other
  // open of the node exists and keeps every other open out while held.
  // Returns a descriptor (>= 0) or the negated errno.
  virtual int Open(const std::string& path, bool exclusive) = 0;
  virtual void Close(int fd) = 0;

  // Runs one command through SG_IO and blocks until the kernel has ended it
  // (at the latest when command.timeout has run out and the kernel's error
  // handling is done). A failed call is reported in KernelOutcome::osError.
  virtual KernelOutcome Execute(int fd, const SgCommand& command) = 0;

  // SCSI generic device reset (SG_SCSI_RESET, device level): 0 or the errno.
  virtual int ResetDevice(int fd) = 0;
};

std::unique_ptr<SgTransport> MakeSgIoTransport();

}  // namespace qfw::linux_sg
