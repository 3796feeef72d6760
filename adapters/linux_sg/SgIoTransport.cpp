// The SG_IO pass-through, written against the sg v3 interface (struct
// sg_io_hdr) rather than through libsgutils2's pass-through object: that
// object reports the host byte but folds the driver byte into a result
// category, and offers no device reset on Linux, so the two ioctls here are
// smaller than the adaptation would be.
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "linux_sg/SgTransport.h"

namespace qfw::linux_sg {
namespace {

// Room for descriptor-format sense, which may run past the 18 bytes of fixed.
constexpr std::size_t kSenseBufferSize = 64;

int DirectionCode(DataDirection direction) {
  switch (direction) {
    case DataDirection::ToDevice:
      return SG_DXFER_TO_DEV;
    case DataDirection::FromDevice:
      return SG_DXFER_FROM_DEV;
    case DataDirection::None:
      break;
  }
  return SG_DXFER_NONE;
}

class SgIoTransport final : public SgTransport {
 public:
  int Open(const std::string& path, bool exclusive) override {
    // O_NONBLOCK: the open fails with EBUSY instead of waiting for an
    // exclusive holder. SG_IO itself always blocks.
    const int flags = O_RDWR | O_NONBLOCK | O_CLOEXEC | (exclusive ? O_EXCL : 0);
    const int fd = ::open(path.c_str(), flags);
    return fd >= 0 ? fd : -errno;
  }

  void Close(int fd) override { ::close(fd); }

  KernelOutcome Execute(int fd, const SgCommand& command) override {
    KernelOutcome outcome;
    unsigned char sense[kSenseBufferSize] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.dxfer_direction = DirectionCode(command.direction);
    io.cmd_len = static_cast<unsigned char>(command.cdb.size());
    // The kernel only reads the CDB; the field is not const in the ABI.
    io.cmdp = const_cast<unsigned char*>(command.cdb.data());
    io.mx_sb_len = sizeof sense;
    io.sbp = sense;
    if (command.direction != DataDirection::None) {
      io.dxfer_len = static_cast<unsigned>(command.data.size());
      io.dxferp = command.data.data();
    }
    const auto ms = command.timeout.count();
    io.timeout = ms > std::numeric_limits<unsigned>::max() ? std::numeric_limits<unsigned>::max()
                                                           : static_cast<unsigned>(ms);
    // No retry on EINTR: the kernel keeps running an interrupted command, and
    // sending it again would repeat a WRITE BUFFER block.
    if (::ioctl(fd, SG_IO, &io) < 0) {
      outcome.osError = errno;
      return outcome;
    }
    outcome.scsiStatus = io.status;
    outcome.hostStatus = io.host_status;
    outcome.driverStatus = io.driver_status;
    outcome.sense.assign(sense,
                         sense + (io.sb_len_wr < sizeof sense ? io.sb_len_wr : sizeof sense));
    outcome.residual = io.resid > 0 ? static_cast<std::uint32_t>(io.resid) : 0;
    return outcome;
  }

  int ResetDevice(int fd) override {
    int what = SG_SCSI_RESET_DEVICE;
    return ::ioctl(fd, SG_SCSI_RESET, &what) < 0 ? errno : 0;
  }
};

}  // namespace

std::unique_ptr<SgTransport> MakeSgIoTransport() {
  return std::make_unique<SgIoTransport>();
}

}  // namespace qfw::linux_sg
