#include "simbus/SimManager.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "scsi/Cdb.h"
#include "simbus/FirmwareModel.h"

namespace qfw::simbus {
namespace {

constexpr Sense kSenseInvalidOpcode{0x05, 0x20, 0x00};
constexpr std::size_t kCommandKinds = 4;

// Fixed-format sense data.
constexpr std::uint8_t kSenseCurrentFixed = 0x70;

std::size_t IndexOf(CommandKind kind) {
  return static_cast<std::size_t>(kind);
}

std::uint32_t Be24(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | std::uint32_t{p[2]};
}

void AppendHex(std::string& out, std::uint8_t byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0x0F];
}

const char* RequestName(std::uint8_t command) {
  switch (command) {
    case SC_HA_INQUIRY:
      return "HA_INQUIRY";
    case SC_GET_DEV_TYPE:
      return "GET_DEV_TYPE";
    case SC_EXEC_SCSI_CMD:
      return "EXEC";
    case SC_ABORT_SRB:
      return "ABORT";
    case SC_RESET_DEV:
      return "RESET_DEV";
    default:
      return nullptr;
  }
}

struct Device {
  explicit Device(DeviceConfig c)
      : config(std::move(c)), model(config.firmware, config.inquiryData) {}

  DeviceConfig config;
  FirmwareModel model;
  std::array<unsigned, kCommandKinds> seen{};
};

struct Pending {
  std::uint64_t id = 0;
  CommandKind kind = CommandKind::TestUnitReady;
  bool unsupported = false;  // an operation code the drive does not know
  std::size_t device = 0;
  SRB_ExecSCSICmd* exec = nullptr;
  SRB_BusDeviceReset* reset = nullptr;
  std::shared_ptr<Event> event;
  std::optional<Ending> forced;
  WriteBufferFields writeBuffer;
  std::vector<std::uint8_t> data;  // WRITE BUFFER data, copied at submission
  Scheduler::TaskId task = 0;

  std::uint8_t& Status() const { return exec != nullptr ? exec->SRB_Status : reset->SRB_Status; }
  const void* Block() const {
    return exec != nullptr ? static_cast<const void*>(exec) : static_cast<const void*>(reset);
  }
};

const Behaviour& Choose(const std::vector<Rule>& rules, CommandKind kind, unsigned occurrence) {
  static const Behaviour kDefault{};
  for (const Rule& rule : rules) {
    if (rule.command == kind && (rule.occurrence == 0 || rule.occurrence == occurrence)) {
      return rule.behaviour;
    }
  }
  return kDefault;
}

void WriteSense(SRB_ExecSCSICmd& srb, const Sense& sense) {
  std::array<std::uint8_t, kSenseLen> area{};
  area[0] = kSenseCurrentFixed;
  area[kSenseKeyByte] = sense.key;
  area[kSenseAdditionalLengthByte] = static_cast<std::uint8_t>(kSenseLen - 8);
  area[kSenseAscByte] = sense.asc;
  area[kSenseAscqByte] = sense.ascq;
  const std::size_t n = std::min<std::size_t>(srb.SRB_SenseLen, kSenseLen);
  std::copy_n(area.begin(), n, srb.SenseArea);
}

}  // namespace

std::string Describe(const LogEntry& entry) {
  std::string out;
  const char* name = RequestName(entry.command);
  if (name != nullptr) {
    out = name;
  } else {
    out = "CMD ";
    AppendHex(out, entry.command);
  }
  out += " ha=" + std::to_string(entry.ha);
  if (entry.command != SC_HA_INQUIRY && entry.command != SC_ABORT_SRB) {
    out += " target=" + std::to_string(entry.target) + " lun=" + std::to_string(entry.lun);
  }
  if (entry.command == SC_EXEC_SCSI_CMD) {
    out += " flags=";
    AppendHex(out, entry.flags);
    out += " cdb=";
    for (std::size_t i = 0; i < entry.cdb.size(); ++i) {
      if (i != 0) out += ' ';
      AppendHex(out, entry.cdb[i]);
    }
    out += " buflen=" + std::to_string(entry.bufLen);
    if (entry.writeBuffer) {
      out += " mode=" + std::to_string(entry.writeBuffer->mode) +
             " offset=" + std::to_string(entry.writeBuffer->offset) +
             " length=" + std::to_string(entry.writeBuffer->length);
    }
  }
  out += " -> ";
  AppendHex(out, entry.returned);
  return out;
}

struct SimManager::Bus : std::enable_shared_from_this<SimManager::Bus> {
  using EventList = std::vector<std::shared_ptr<Event>>;

  Bus(BusConfig config, Scheduler& s)
      : scheduler(s), supportInfo(config.supportInfo), adapters(std::move(config.adapters)) {
    devices.reserve(config.devices.size());
    for (auto& device : config.devices) devices.emplace_back(std::move(device));
  }

  bool HasAdapter(std::uint8_t ha) const {
    return std::find(adapters.begin(), adapters.end(), ha) != adapters.end();
  }

  std::optional<std::size_t> FindDevice(std::uint8_t ha, std::uint8_t target,
                                        std::uint8_t lun) const {
    if (lun != 0 || !HasAdapter(ha)) return std::nullopt;
    for (std::size_t i = 0; i < devices.size(); ++i) {
      if (devices[i].config.ha == ha && devices[i].config.target == target) return i;
    }
    return std::nullopt;
  }

  std::uint8_t Submit(void* block, EventList& toSet) {
    switch (SrbCommandOf(block)) {
      case SC_HA_INQUIRY:
        return HostAdapterInquiry(*static_cast<SRB_HAInquiry*>(block));
      case SC_GET_DEV_TYPE:
        return DeviceType(*static_cast<SRB_GDEVBlock*>(block));
      case SC_EXEC_SCSI_CMD:
        return Execute(*static_cast<SRB_ExecSCSICmd*>(block), toSet);
      case SC_ABORT_SRB:
        return Abort(*static_cast<SRB_Abort*>(block), toSet);
      case SC_RESET_DEV:
        return Reset(*static_cast<SRB_BusDeviceReset*>(block), toSet);
      default: {
        auto* status = static_cast<std::uint8_t*>(block) + 1;
        LogEntry entry;
        entry.time = scheduler.Now();
        entry.command = SrbCommandOf(block);
        entry.srb = block;
        entry.returned = SS_INVALID_CMD;
        log.push_back(std::move(entry));
        PublishSrbStatus(*status, SS_INVALID_CMD);
        return SS_INVALID_CMD;
      }
    }
  }

  LogEntry Entry(const void* block, std::uint8_t ha) const {
    LogEntry entry;
    entry.time = scheduler.Now();
    entry.command = SrbCommandOf(block);
    entry.ha = ha;
    entry.srb = block;
    return entry;
  }

  std::uint8_t Logged(LogEntry entry, std::uint8_t returned) {
    entry.returned = returned;
    log.push_back(std::move(entry));
    return returned;
  }

  std::uint8_t HostAdapterInquiry(SRB_HAInquiry& srb) {
    LogEntry entry = Entry(&srb, srb.SRB_HaId);
    if (!HasAdapter(srb.SRB_HaId)) {
      PublishSrbStatus(srb.SRB_Status, SS_INVALID_HA);
      return Logged(std::move(entry), SS_INVALID_HA);
    }
    static constexpr char kManager[] = "ASPI for WIN32";
    static constexpr char kIdentifier[] = "SIMULATED BUS";
    srb.HA_Count = static_cast<std::uint8_t>(supportInfo & 0xFF);
    srb.HA_SCSI_ID = 7;
    std::memcpy(srb.HA_ManagerId, kManager, sizeof kManager - 1);
    std::memcpy(srb.HA_Identifier, kIdentifier, sizeof kIdentifier - 1);
    PublishSrbStatus(srb.SRB_Status, SS_COMP);
    return Logged(std::move(entry), SS_COMP);
  }

  std::uint8_t DeviceType(SRB_GDEVBlock& srb) {
    LogEntry entry = Entry(&srb, srb.SRB_HaId);
    entry.target = srb.SRB_Target;
    entry.lun = srb.SRB_Lun;
    std::uint8_t status = SS_NO_DEVICE;
    if (!HasAdapter(srb.SRB_HaId)) {
      status = SS_INVALID_HA;
    } else if (const auto device = FindDevice(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun)) {
      srb.SRB_DeviceType = devices[*device].config.peripheralType;
      status = SS_COMP;
    }
    PublishSrbStatus(srb.SRB_Status, status);
    return Logged(std::move(entry), status);
  }

  // Ends an execute request at once with a status of the manager's own.
  std::uint8_t Refuse(SRB_ExecSCSICmd& srb, LogEntry entry, std::uint8_t status) {
    PublishSrbStatus(srb.SRB_Status, status);
    return Logged(std::move(entry), status);
  }

  std::uint8_t Execute(SRB_ExecSCSICmd& srb, EventList& toSet) {
    LogEntry entry = Entry(&srb, srb.SRB_HaId);
    entry.target = srb.SRB_Target;
    entry.lun = srb.SRB_Lun;
    entry.flags = srb.SRB_Flags;
    entry.bufLen = srb.SRB_BufLen;
    const std::size_t cdbLen = std::min<std::size_t>(srb.SRB_CDBLen, sizeof srb.CDBByte);
    entry.cdb.assign(srb.CDBByte, srb.CDBByte + cdbLen);

    if (!HasAdapter(srb.SRB_HaId)) return Refuse(srb, std::move(entry), SS_INVALID_HA);
    const auto device = FindDevice(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
    if (!device) return Refuse(srb, std::move(entry), SS_NO_DEVICE);

    Pending p;
    p.device = *device;
    p.exec = &srb;
    if ((srb.SRB_Flags & SRB_EVENT_NOTIFY) != 0) {
      if (srb.SRB_PostProc == nullptr) return Refuse(srb, std::move(entry), SS_INVALID_SRB);
      p.event = srb.SRB_PostProc->weak_from_this().lock();
      if (!p.event) return Refuse(srb, std::move(entry), SS_INVALID_SRB);
    }

    switch (cdbLen == 0 ? kOpTestUnitReady : srb.CDBByte[0]) {
      case kOpTestUnitReady:
        p.kind = CommandKind::TestUnitReady;
        break;
      case kOpInquiry:
        p.kind = CommandKind::Inquiry;
        break;
      case kOpWriteBuffer: {
        if (cdbLen < 10) return Refuse(srb, std::move(entry), SS_INVALID_SRB);
        if (srb.SRB_BufLen != 0 && srb.SRB_BufPointer == nullptr) {
          return Refuse(srb, std::move(entry), SS_INVALID_SRB);
        }
        p.kind = CommandKind::WriteBuffer;
        p.writeBuffer = {srb.CDBByte[1], Be24(&srb.CDBByte[3]), Be24(&srb.CDBByte[6])};
        entry.writeBuffer = p.writeBuffer;
        if (srb.SRB_BufLen != 0) {
          p.data.assign(srb.SRB_BufPointer, srb.SRB_BufPointer + srb.SRB_BufLen);
        }
        break;
      }
      default:
        p.unsupported = true;
        break;
    }
    Behaviour behaviour;
    if (!p.unsupported) {
      Device& d = devices[p.device];
      const unsigned occurrence = ++d.seen[IndexOf(p.kind)];
      behaviour = Choose(d.config.rules, p.kind, occurrence);
    }
    return Logged(std::move(entry), Start(std::move(p), behaviour, toSet));
  }

  std::uint8_t Reset(SRB_BusDeviceReset& srb, EventList& toSet) {
    LogEntry entry = Entry(&srb, srb.SRB_HaId);
    entry.target = srb.SRB_Target;
    entry.lun = srb.SRB_Lun;
    entry.flags = srb.SRB_Flags;
    std::uint8_t status = SS_NO_DEVICE;
    if (!HasAdapter(srb.SRB_HaId)) status = SS_INVALID_HA;
    const auto device = FindDevice(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
    if (!device) {
      PublishSrbStatus(srb.SRB_Status, status);
      return Logged(std::move(entry), status);
    }
    Pending p;
    p.kind = CommandKind::DeviceReset;
    p.device = *device;
    p.reset = &srb;
    Device& d = devices[p.device];
    const unsigned occurrence = ++d.seen[IndexOf(p.kind)];
    const Behaviour behaviour = Choose(d.config.rules, p.kind, occurrence);
    return Logged(std::move(entry), Start(std::move(p), behaviour, toSet));
  }

  // Starts a request by its behaviour; returns what the submit returns.
  std::uint8_t Start(Pending p, const Behaviour& behaviour, EventList& toSet) {
    p.id = ++lastId;
    p.forced = behaviour.ending;
    Timing timing = behaviour.timing;
    if (timing == Timing::FinalAtOnce && behaviour.ending &&
        behaviour.ending->status == SS_PENDING) {
      timing = Timing::Never;
    }
    switch (timing) {
      case Timing::FinalAtOnce: {
        const std::uint8_t status = Finish(p);
        if (behaviour.signalFinalAtOnce && p.event) toSet.push_back(std::move(p.event));
        return status;
      }
      case Timing::AtOnce:
        ++counters.accepted;
        Finish(p);
        if (p.event) toSet.push_back(std::move(p.event));
        return SS_PENDING;
      case Timing::Delayed: {
        ++counters.accepted;
        const std::uint64_t id = p.id;
        const auto it = pending.emplace(id, std::move(p)).first;
        it->second.task = scheduler.After(behaviour.delay, [weak = weak_from_this(), id] {
          if (const auto bus = weak.lock()) bus->EndLater(id);
        });
        return SS_PENDING;
      }
      case Timing::Never:
        ++counters.accepted;
        pending.emplace(p.id, std::move(p));
        return SS_PENDING;
    }
    return SS_PENDING;
  }

  // The drive carries out the request; the fields are written and the status
  // published. Returns the final status.
  std::uint8_t Finish(const Pending& p) {
    Device& d = devices[p.device];
    const bool failedByRule = p.forced && !p.forced->Succeeded();
    Ending answer;
    const std::vector<std::uint8_t>* dataIn = nullptr;
    if (p.unsupported) {
      answer = Ending::CheckCondition(kSenseInvalidOpcode);
    } else if (p.kind == CommandKind::DeviceReset) {
      d.model.DropDownload();
    } else if (d.model.Bricked()) {
      answer = d.model.BrickedAnswer();
    } else if (p.kind == CommandKind::Inquiry) {
      dataIn = &d.model.InquiryData();
    } else if (p.kind == CommandKind::WriteBuffer) {
      answer = d.model.WriteBuffer(p.writeBuffer, p.data, failedByRule);
    }
    if (p.forced) answer = *p.forced;
    ++counters.completed;

    if (p.reset != nullptr) {
      p.reset->SRB_HaStat = answer.haStat;
      p.reset->SRB_TargStat = answer.targStat;
      PublishSrbStatus(p.reset->SRB_Status, answer.status);
      return answer.status;
    }
    SRB_ExecSCSICmd& srb = *p.exec;
    srb.SRB_HaStat = answer.haStat;
    srb.SRB_TargStat = answer.targStat;
    if (answer.sense) WriteSense(srb, *answer.sense);
    if (dataIn != nullptr && answer.Succeeded() && srb.SRB_BufPointer != nullptr) {
      const std::size_t n = std::min<std::size_t>(dataIn->size(), srb.SRB_BufLen);
      std::copy_n(dataIn->begin(), n, srb.SRB_BufPointer);
    }
    PublishSrbStatus(srb.SRB_Status, answer.status);
    return answer.status;
  }

  void EndLater(std::uint64_t id) {
    std::shared_ptr<Event> event;
    {
      std::lock_guard lock(mutex);
      const auto it = pending.find(id);
      if (it == pending.end()) return;  // aborted meanwhile
      Finish(it->second);
      event = std::move(it->second.event);
      pending.erase(it);
    }
    if (event) event->Set();
  }

  std::uint8_t Abort(SRB_Abort& srb, EventList& toSet) {
    LogEntry entry = Entry(&srb, srb.SRB_HaId);
    entry.abortTarget = srb.SRB_ToAbort;
    const auto it = std::find_if(pending.begin(), pending.end(), [&](const auto& item) {
      return item.second.Block() == static_cast<const void*>(srb.SRB_ToAbort);
    });
    if (it == pending.end()) {
      PublishSrbStatus(srb.SRB_Status, SS_ABORT_FAIL);
      return Logged(std::move(entry), SS_ABORT_FAIL);
    }
    Pending& p = it->second;
    if (p.task != 0) scheduler.Cancel(p.task);
    PublishSrbStatus(p.Status(), SS_ABORTED);
    if (p.event) toSet.push_back(std::move(p.event));
    pending.erase(it);
    ++counters.aborted;
    PublishSrbStatus(srb.SRB_Status, SS_COMP);
    return Logged(std::move(entry), SS_COMP);
  }

  mutable std::mutex mutex;
  Scheduler& scheduler;
  const std::uint32_t supportInfo;
  const std::vector<std::uint8_t> adapters;
  std::vector<Device> devices;
  std::map<std::uint64_t, Pending> pending;
  std::uint64_t lastId = 0;
  std::vector<LogEntry> log;
  Counters counters;
};

SimManager::SimManager(BusConfig config, Scheduler& scheduler)
    : bus_(std::make_shared<Bus>(std::move(config), scheduler)) {}

SimManager::~SimManager() {
  std::lock_guard lock(bus_->mutex);
  for (const auto& [id, p] : bus_->pending) {
    if (p.task != 0) bus_->scheduler.Cancel(p.task);
  }
}

std::uint32_t SimManager::GetASPI32SupportInfo() {
  return bus_->supportInfo;
}

std::uint8_t SimManager::SendASPI32Command(void* srb) {
  Bus::EventList toSet;
  std::uint8_t status = SS_INVALID_SRB;
  if (srb != nullptr) {
    std::lock_guard lock(bus_->mutex);
    status = bus_->Submit(srb, toSet);
  }
  for (const auto& event : toSet) event->Set();
  return status;
}

bool SimManager::AddRule(std::uint8_t ha, std::uint8_t target, Rule rule) {
  std::lock_guard lock(bus_->mutex);
  const auto device = bus_->FindDevice(ha, target, 0);
  if (!device) return false;
  bus_->devices[*device].config.rules.push_back(std::move(rule));
  return true;
}

std::vector<LogEntry> SimManager::Log() const {
  std::lock_guard lock(bus_->mutex);
  return bus_->log;
}

void SimManager::ClearLog() {
  std::lock_guard lock(bus_->mutex);
  bus_->log.clear();
}

Counters SimManager::Count() const {
  std::lock_guard lock(bus_->mutex);
  return bus_->counters;
}

std::size_t SimManager::PendingCount() const {
  std::lock_guard lock(bus_->mutex);
  return bus_->pending.size();
}

std::optional<FirmwareState> SimManager::Firmware(std::uint8_t ha, std::uint8_t target) const {
  std::lock_guard lock(bus_->mutex);
  const auto device = bus_->FindDevice(ha, target, 0);
  if (!device) return std::nullopt;
  return bus_->devices[*device].model.State();
}

bool SimManager::IsBricked(std::uint8_t ha, std::uint8_t target) const {
  const auto state = Firmware(ha, target);
  return state && state->bricked;
}

}  // namespace qfw::simbus
