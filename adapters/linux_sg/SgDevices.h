// The SCSI generic devices of the machine and how they are addressed by
// adapter number and target.
//
// Every /dev/sgN has a Linux host, channel, target and LUN (the name of the
// sysfs link /sys/class/scsi_generic/sgN/device, "H:C:T:L") and a peripheral
// device type (its sysfs file device/type). Linux host numbers are sparse and
// grow each time an adapter is added, so they are not used as they are: the
// hosts that have at least one SCSI generic device are numbered densely from 0
// in ascending host number, and that number is the adapter number. The target
// is the SCSI target ID. Only channel 0 and LUN 0 can be addressed; a device
// on another channel or LUN is counted for its host but never found.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qfw::linux_sg {

struct HostChannelTargetLun {
  unsigned host = 0;
  unsigned channel = 0;
  unsigned target = 0;
  unsigned lun = 0;

  auto operator<=>(const HostChannelTargetLun&) const = default;
};

struct SgNode {
  std::string name;  // "sg3"
  HostChannelTargetLun address;
  int type = -1;  // peripheral device type; -1 when sysfs does not tell

  bool operator==(const SgNode&) const = default;
};

// "H:C:T:L" with four decimal numbers; nothing for any other text.
std::optional<HostChannelTargetLun> ParseHostChannelTargetLun(std::string_view text);

// The devices listed under sysfsRoot/class/scsi_generic, in ascending address
// order. An entry whose device link does not name an address is left out.
std::vector<SgNode> ReadSgNodes(const std::filesystem::path& sysfsRoot);

// Adapter numbers and targets over a fixed set of devices.
class SgAddressBook {
 public:
  explicit SgAddressBook(std::vector<SgNode> nodes);

  // The number of hosts with at least one device.
  std::size_t AdapterCount() const { return hosts_.size(); }
  // The Linux host number of an adapter; nothing past the last adapter.
  std::optional<unsigned> HostOf(std::uint8_t adapter) const;
  // The device at (adapter, channel 0, target, LUN 0); null when there is none.
  const SgNode* Find(std::uint8_t adapter, std::uint8_t target) const;
  const std::vector<SgNode>& Nodes() const { return nodes_; }

 private:
  std::vector<SgNode> nodes_;
  std::vector<unsigned> hosts_;  // index: adapter number
};

}  // namespace qfw::linux_sg
