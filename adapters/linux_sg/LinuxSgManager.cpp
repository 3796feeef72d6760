#include "linux_sg/LinuxSgManager.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <list>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "linux_sg/SgStatusMapping.h"
#include "platform/Srb.h"
#include "platform/SystemWaits.h"

namespace qfw {

using linux_sg::DataDirection;
using linux_sg::KernelOutcome;
using linux_sg::SgCommand;
using linux_sg::SgNode;
using linux_sg::SgTransport;
using linux_sg::SrbOutcome;

namespace {

constexpr std::uint8_t kInitiatorId = 7;
constexpr Millis kBusyRetryPause{50};

// An open descriptor, closed when the last command using it has ended.
struct OpenFile {
  OpenFile(SgTransport& t, int d, bool e) : transport(t), fd(d), exclusive(e) {}
  ~OpenFile() { transport.Close(fd); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  SgTransport& transport;
  const int fd;
  const bool exclusive;
};

struct Device {
  SgNode node;
  std::string path;
  std::mutex openMutex;              // one open at a time
  std::shared_ptr<OpenFile> file;    // guarded by Impl::mutex
  bool openFailureReported = false;  // guarded by Impl::mutex
};

enum class OpenKind { Shared, Exclusive, Any };

struct Request {
  void* block = nullptr;
  std::uint8_t command = 0;
  Device* device = nullptr;
  std::shared_ptr<Event> event;
  std::array<std::uint8_t, 16> cdb{};
  std::size_t cdbLength = 0;
  DataDirection direction = DataDirection::None;
  std::vector<std::uint8_t> data;  // the manager's own copy of the data area
  std::uint8_t* callerData = nullptr;
  std::size_t senseLength = 0;
  bool abandoned = false;  // guarded by Impl::mutex: aborted, or the manager is going
};

struct Worker {
  std::thread thread;
  bool done = false;  // guarded by Impl::mutex
};

void CopyText(const std::string& text, std::uint8_t* field, std::size_t size) {
  std::memcpy(field, text.data(), std::min(text.size(), size));
}

}  // namespace

struct LinuxSgManager::Impl {
  Impl(std::vector<SgNode> nodes, std::unique_ptr<SgTransport> t, LinuxSgOptions o)
      : addresses(std::move(nodes)), transport(std::move(t)), options(std::move(o)) {
    for (const SgNode& node : addresses.Nodes()) {
      auto device = std::make_unique<Device>();
      device->node = node;
      device->path = (options.deviceDir / node.name).string();
      devices.push_back(std::move(device));
    }
    waits = options.waits != nullptr ? options.waits : &systemWaits;
    diagnostics = options.diagnostics != nullptr ? options.diagnostics : &std::cerr;
  }

  Device* FindDevice(std::uint8_t ha, std::uint8_t target, std::uint8_t lun) {
    if (lun != 0) return nullptr;
    const SgNode* node = addresses.Find(ha, target);
    if (node == nullptr) return nullptr;
    const auto index = static_cast<std::size_t>(node - addresses.Nodes().data());
    return devices[index].get();
  }

  std::uint8_t HaInquiry(SRB_HAInquiry& srb) {
    const auto host = addresses.HostOf(srb.SRB_HaId);
    if (!host) return EndAtOnce(srb.SRB_Status, SS_INVALID_HA);
    srb.HA_Count = AdapterCount();
    srb.HA_SCSI_ID = kInitiatorId;
    CopyText("Linux sg", srb.HA_ManagerId, sizeof srb.HA_ManagerId);
    CopyText("host" + std::to_string(*host), srb.HA_Identifier, sizeof srb.HA_Identifier);
    return EndAtOnce(srb.SRB_Status, SS_COMP);
  }

  std::uint8_t DeviceType(SRB_GDEVBlock& srb) {
    if (!addresses.HostOf(srb.SRB_HaId)) return EndAtOnce(srb.SRB_Status, SS_INVALID_HA);
    const Device* device = FindDevice(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
    if (device == nullptr || device->node.type < 0) {
      return EndAtOnce(srb.SRB_Status, SS_NO_DEVICE);
    }
    srb.SRB_DeviceType = static_cast<std::uint8_t>(device->node.type);
    return EndAtOnce(srb.SRB_Status, SS_COMP);
  }

  std::uint8_t Execute(SRB_ExecSCSICmd& srb) {
    std::unique_lock lock(mutex);
    if (pending.count(&srb) != 0) return SS_INVALID_SRB;
    if (!addresses.HostOf(srb.SRB_HaId)) return EndAtOnce(srb.SRB_Status, SS_INVALID_HA);
    Device* device = FindDevice(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
    if (device == nullptr) return EndAtOnce(srb.SRB_Status, SS_NO_DEVICE);

    const bool in = (srb.SRB_Flags & SRB_DIR_IN) != 0;
    const bool out = (srb.SRB_Flags & SRB_DIR_OUT) != 0;
    const bool hasData = srb.SRB_BufLen > 0;
    if (srb.SRB_CDBLen == 0 || srb.SRB_CDBLen > sizeof srb.CDBByte || (in && out) ||
        (hasData && (srb.SRB_BufPointer == nullptr || (!in && !out)))) {
      return EndAtOnce(srb.SRB_Status, SS_INVALID_SRB);
    }
    if (srb.SRB_BufLen > kMaxTransferLength) return EndAtOnce(srb.SRB_Status, SS_BUFFER_TO_BIG);

    auto request = std::make_shared<Request>();
    if ((srb.SRB_Flags & SRB_EVENT_NOTIFY) != 0) {
      request->event =
          srb.SRB_PostProc != nullptr ? srb.SRB_PostProc->weak_from_this().lock() : nullptr;
      if (!request->event) return EndAtOnce(srb.SRB_Status, SS_INVALID_SRB);
    }
    request->block = &srb;
    request->command = SC_EXEC_SCSI_CMD;
    request->device = device;
    std::copy_n(srb.CDBByte, srb.SRB_CDBLen, request->cdb.begin());
    request->cdbLength = srb.SRB_CDBLen;
    if (hasData) {
      request->direction = in ? DataDirection::FromDevice : DataDirection::ToDevice;
      if (out) {
        request->data.assign(srb.SRB_BufPointer, srb.SRB_BufPointer + srb.SRB_BufLen);
      } else {
        request->data.assign(srb.SRB_BufLen, 0);
        request->callerData = srb.SRB_BufPointer;
      }
    }
    request->senseLength = std::min<std::size_t>(srb.SRB_SenseLen, sizeof srb.SenseArea);
    return Start(lock, srb.SRB_Status, std::move(request));
  }

  std::uint8_t Reset(SRB_BusDeviceReset& srb) {
    std::unique_lock lock(mutex);
    if (pending.count(&srb) != 0) return SS_INVALID_SRB;
    if (!addresses.HostOf(srb.SRB_HaId)) return EndAtOnce(srb.SRB_Status, SS_INVALID_HA);
    Device* device = FindDevice(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
    if (device == nullptr) return EndAtOnce(srb.SRB_Status, SS_NO_DEVICE);
    auto request = std::make_shared<Request>();
    request->block = &srb;
    request->command = SC_RESET_DEV;
    request->device = device;
    return Start(lock, srb.SRB_Status, std::move(request));
  }

  std::uint8_t Abort(SRB_Abort& srb) {
    std::lock_guard lock(mutex);
    const auto found = pending.find(srb.SRB_ToAbort);
    if (found == pending.end() || found->second->command != SC_EXEC_SCSI_CMD) {
      return EndAtOnce(srb.SRB_Status, SS_ABORT_FAIL);
    }
    found->second->abandoned = true;
    PublishSrbStatus(srb.SRB_ToAbort->SRB_Status, SS_ABORTED);
    pending.erase(found);
    return EndAtOnce(srb.SRB_Status, SS_COMP);
  }

  std::uint8_t AdapterCount() const {
    return static_cast<std::uint8_t>(std::min<std::size_t>(addresses.AdapterCount(), 255));
  }

  static std::uint8_t EndAtOnce(std::uint8_t& status, std::uint8_t value) {
    PublishSrbStatus(status, value);
    return value;
  }

  // Marks the block pending and runs the request on a thread of its own;
  // SS_PENDING, or SS_ASPI_IS_BUSY when no thread can be had.
  std::uint8_t Start(std::unique_lock<std::mutex>& lock, std::uint8_t& status,
                     std::shared_ptr<Request> request) {
    ReapWorkers(lock);
    void* block = request->block;
    PublishSrbStatus(status, SS_PENDING);
    pending.emplace(block, request);
    const auto worker = workers.emplace(workers.end());
    try {
      worker->thread = std::thread([this, worker, request = std::move(request)]() mutable {
        Run(*request);
        request.reset();
        std::lock_guard done(mutex);
        worker->done = true;
      });
    } catch (const std::system_error&) {
      workers.erase(worker);
      pending.erase(block);
      return EndAtOnce(status, SS_ASPI_IS_BUSY);
    }
    return SS_PENDING;
  }

  // Joins the threads whose requests have ended.
  void ReapWorkers(std::unique_lock<std::mutex>& lock) {
    std::list<Worker> finished;
    for (auto it = workers.begin(); it != workers.end();) {
      const auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), workers, it);
      it = next;
    }
    lock.unlock();
    for (Worker& w : finished) w.thread.join();
    lock.lock();
  }

  void Run(Request& request) {
    if (request.command == SC_RESET_DEV) {
      int error = 0;
      auto file = AcquireFile(*request.device, OpenKind::Any, request, error);
      if (file) error = transport->ResetDevice(file->fd);
      // Dropped before the request ends, so that the next request can reopen
      // the device without waiting for this one's descriptor.
      file.reset();
      SrbOutcome outcome;
      outcome.status = SS_COMP;
      if (error != 0) outcome = linux_sg::MapOsError(error);
      Finish(request, outcome, 0);
      return;
    }

    const std::uint8_t opcode = request.cdb[0];
    const bool writeBuffer = opcode == linux_sg::kOpWriteBuffer;
    int error = 0;
    auto file = AcquireFile(*request.device, writeBuffer ? OpenKind::Exclusive : OpenKind::Shared,
                            request, error);
    KernelOutcome outcome;
    outcome.osError = error;
    if (file) {
      const SgCommand command{std::span<const std::uint8_t>(request.cdb.data(), request.cdbLength),
                              request.direction, std::span<std::uint8_t>(request.data),
                              linux_sg::KernelTimeoutFor(opcode, options.writeBufferTimeout)};
      for (int attempt = 0;; ++attempt) {
        outcome = transport->Execute(file->fd, command);
        if (!linux_sg::IsUnitAttention(outcome) || attempt == kUnitAttentionRetries ||
            Abandoned(request)) {
          break;
        }
      }
      file.reset();
    }
    const std::size_t residual = std::min<std::size_t>(outcome.residual, request.data.size());
    Finish(request, linux_sg::MapKernelOutcome(outcome), request.data.size() - residual);
  }

  bool Abandoned(const Request& request) {
    std::lock_guard lock(mutex);
    return request.abandoned;
  }

  // The descriptor a command of this kind uses; opens the device (again) when
  // the open it has is of the other kind. Null with error set when the device
  // cannot be opened.
  std::shared_ptr<OpenFile> AcquireFile(Device& device, OpenKind kind, const Request& request,
                                        int& error) {
    std::lock_guard openLock(device.openMutex);
    {
      std::lock_guard lock(mutex);
      if (device.file &&
          (kind == OpenKind::Any || device.file->exclusive == (kind == OpenKind::Exclusive))) {
        return device.file;
      }
      // An exclusive hold must end before a shared open can succeed, and the
      // manager's own shared open would keep an exclusive one out.
      device.file.reset();
    }
    const bool exclusive = kind == OpenKind::Exclusive;
    const Millis deadline = waits->Now() + options.busyOpenWait;
    for (;;) {
      const int fd = transport->Open(device.path, exclusive);
      if (fd >= 0) {
        std::lock_guard lock(mutex);
        device.file = std::make_shared<OpenFile>(*transport, fd, exclusive);
        return device.file;
      }
      error = -fd;
      if (error != EBUSY || waits->Now() >= deadline || Abandoned(request)) break;
      waits->SleepFor(kBusyRetryPause);
    }
    ReportOpenFailure(device, exclusive, error);
    return nullptr;
  }

  void ReportOpenFailure(Device& device, bool exclusive, int error) {
    std::lock_guard lock(mutex);
    if (device.openFailureReported) return;
    device.openFailureReported = true;
    *diagnostics << device.path << ": cannot open for reading and writing"
                 << (exclusive ? " (exclusively)" : "") << ": "
                 << std::error_code(error, std::generic_category()).message() << '\n'
                 << std::flush;
  }

  // Hands the outcome to the block unless the request was abandoned.
  void Finish(Request& request, const SrbOutcome& outcome, std::size_t moved) {
    std::lock_guard lock(mutex);
    if (request.abandoned) return;
    pending.erase(request.block);
    if (request.command == SC_RESET_DEV) {
      auto& srb = *static_cast<SRB_BusDeviceReset*>(request.block);
      srb.SRB_HaStat = outcome.haStat;
      PublishSrbStatus(srb.SRB_Status, outcome.status);
      return;
    }
    auto& srb = *static_cast<SRB_ExecSCSICmd*>(request.block);
    if (request.callerData != nullptr) {
      std::copy_n(request.data.begin(), moved, request.callerData);
    }
    srb.SRB_HaStat = outcome.haStat;
    srb.SRB_TargStat = outcome.targStat;
    std::copy_n(outcome.sense.begin(), request.senseLength, srb.SenseArea);
    PublishSrbStatus(srb.SRB_Status, outcome.status);
    if (request.event) request.event->Set();
  }

  void Shutdown() {
    std::list<Worker> all;
    {
      std::lock_guard lock(mutex);
      for (auto& [block, request] : pending) request->abandoned = true;
      pending.clear();
      all.swap(workers);
    }
    for (Worker& w : all) w.thread.join();
  }

  linux_sg::SgAddressBook addresses;
  std::unique_ptr<SgTransport> transport;
  LinuxSgOptions options;
  SystemWaits systemWaits;
  WaitServices* waits = nullptr;
  std::ostream* diagnostics = nullptr;
  std::vector<std::unique_ptr<Device>> devices;

  std::mutex mutex;
  std::unordered_map<const void*, std::shared_ptr<Request>> pending;
  std::list<Worker> workers;
};

LinuxSgManager::LinuxSgManager(std::vector<SgNode> nodes, std::unique_ptr<SgTransport> transport,
                               LinuxSgOptions options)
    : impl_(std::make_unique<Impl>(std::move(nodes), std::move(transport), std::move(options))) {}

LinuxSgManager::~LinuxSgManager() {
  impl_->Shutdown();
}

std::uint32_t LinuxSgManager::GetASPI32SupportInfo() {
  return static_cast<std::uint32_t>(SS_COMP) << 8 | impl_->AdapterCount();
}

std::uint8_t LinuxSgManager::SendASPI32Command(void* srb) {
  switch (SrbCommandOf(srb)) {
    case SC_HA_INQUIRY:
      return impl_->HaInquiry(*static_cast<SRB_HAInquiry*>(srb));
    case SC_GET_DEV_TYPE:
      return impl_->DeviceType(*static_cast<SRB_GDEVBlock*>(srb));
    case SC_EXEC_SCSI_CMD:
      return impl_->Execute(*static_cast<SRB_ExecSCSICmd*>(srb));
    case SC_ABORT_SRB:
      return impl_->Abort(*static_cast<SRB_Abort*>(srb));
    case SC_RESET_DEV:
      return impl_->Reset(*static_cast<SRB_BusDeviceReset*>(srb));
    default:
      return Impl::EndAtOnce(static_cast<std::uint8_t*>(srb)[1], SS_INVALID_CMD);
  }
}

std::unique_ptr<AspiManager> MakeLinuxSgManager(LinuxSgOptions options) {
  auto nodes = linux_sg::ReadSgNodes(options.sysfsRoot);
  return std::make_unique<LinuxSgManager>(std::move(nodes), linux_sg::MakeSgIoTransport(),
                                          std::move(options));
}

}  // namespace qfw
