// The request layer over a simulated bus in virtual time, with a message
// screen that records every box: the ground floor for tests of the requests,
// the scan and the update.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Srb.h"
#include "scsi/Requests.h"
#include "simbus/SimConfig.h"
#include "simbus/SimManager.h"
#include "simbus/VirtualTime.h"
#include "support/RecordingMessageScreen.h"
#include "ui/Presentations.h"

namespace qfw::testing {

// Where the default bus has its drive.
inline constexpr std::uint8_t kDriveHa = 0;
inline constexpr std::uint8_t kDriveTarget = 3;

// A QUORVEL CD-ROM drive at (ha, target), revision `revision`, which reports
// `newRevision` after a valid firmware save.
simbus::DeviceConfig QuorvelDrive(std::uint8_t ha, std::uint8_t target,
                                  std::string_view product = "CDR-4420",
                                  std::string_view revision = "1.00",
                                  std::string newRevision = "1.10");

// Adapters `adapters` (the support info reports their count) and the devices.
simbus::BusConfig BusWith(std::vector<simbus::DeviceConfig> devices,
                          std::vector<std::uint8_t> adapters = {0});

// One adapter, one QUORVEL drive at (kDriveHa, kDriveTarget).
simbus::BusConfig OneDriveBus();

// size bytes in which each aligned group of four bytes differs from every
// other (up to 2^32 groups), so a misplaced block shows in a byte comparison.
std::vector<std::uint8_t> PatternImage(std::size_t size);

struct SimBus {
  explicit SimBus(simbus::BusConfig config = OneDriveBus());

  // Execute requests the manager received, in order.
  std::vector<simbus::LogEntry> Executes() const;
  // Execute requests with the given operation code.
  std::vector<simbus::LogEntry> Commands(std::uint8_t opcode) const;

  simbus::VirtualTime time;
  simbus::SimManager manager;
  RecordingMessageScreen screen;
  Messages messages{screen};
  RequestLayer requests{manager, time, messages};
};

}  // namespace qfw::testing
