#include "support/SimBusFixture.h"

#include <utility>

namespace qfw::testing {

simbus::DeviceConfig QuorvelDrive(std::uint8_t ha, std::uint8_t target, std::string_view product,
                                  std::string_view revision, std::string newRevision) {
  simbus::DeviceConfig drive;
  drive.ha = ha;
  drive.target = target;
  drive.peripheralType = DTYPE_CDROM;
  drive.inquiryData = simbus::MakeInquiryData("QUORVEL", product, revision);
  drive.firmware.newRevision = std::move(newRevision);
  return drive;
}

simbus::BusConfig BusWith(std::vector<simbus::DeviceConfig> devices,
                          std::vector<std::uint8_t> adapters) {
  simbus::BusConfig bus;
  bus.supportInfo = static_cast<std::uint32_t>(adapters.size());
  bus.adapters = std::move(adapters);
  bus.devices = std::move(devices);
  return bus;
}

simbus::BusConfig OneDriveBus() {
  return BusWith({QuorvelDrive(kDriveHa, kDriveTarget)});
}

std::vector<std::uint8_t> PatternImage(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    // Each group of four bytes holds its own index, scrambled a little.
    const std::size_t group = i / 4;
    const unsigned shift = static_cast<unsigned>(8 * (3 - i % 4));
    bytes[i] = static_cast<std::uint8_t>(((group >> shift) ^ (0x5A + i % 4 * 0x21)) & 0xFF);
  }
  return bytes;
}

SimBus::SimBus(simbus::BusConfig config) : manager(std::move(config), time) {}

std::vector<simbus::LogEntry> SimBus::Executes() const {
  std::vector<simbus::LogEntry> found;
  for (auto& entry : manager.Log()) {
    if (entry.command == SC_EXEC_SCSI_CMD) found.push_back(std::move(entry));
  }
  return found;
}

std::vector<simbus::LogEntry> SimBus::Commands(std::uint8_t opcode) const {
  std::vector<simbus::LogEntry> found;
  for (auto& entry : Executes()) {
    if (!entry.cdb.empty() && entry.cdb[0] == opcode) found.push_back(std::move(entry));
  }
  return found;
}

}  // namespace qfw::testing
