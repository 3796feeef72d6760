#include "linux_sg/SgDevices.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <system_error>

namespace qfw::linux_sg {
namespace {

// Parses one decimal number that ends at `stop` (or at the end of the text)
// and moves past the stop character.
std::optional<unsigned> TakeNumber(std::string_view& text, char stop) {
  unsigned value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end == first) return std::nullopt;
  text.remove_prefix(static_cast<std::size_t>(end - first));
  if (stop != '\0') {
    if (text.empty() || text.front() != stop) return std::nullopt;
    text.remove_prefix(1);
  }
  return value;
}

int ReadType(const std::filesystem::path& file) {
  std::ifstream in(file);
  int type = -1;
  if (!(in >> type) || type < 0 || type > 0x1F) return -1;
  return type;
}

}  // namespace

std::optional<HostChannelTargetLun> ParseHostChannelTargetLun(std::string_view text) {
  const auto host = TakeNumber(text, ':');
  if (!host) return std::nullopt;
  const auto channel = TakeNumber(text, ':');
  if (!channel) return std::nullopt;
  const auto target = TakeNumber(text, ':');
  if (!target) return std::nullopt;
  const auto lun = TakeNumber(text, '\0');
  if (!lun || !text.empty()) return std::nullopt;
  return HostChannelTargetLun{*host, *channel, *target, *lun};
}

std::vector<SgNode> ReadSgNodes(const std::filesystem::path& sysfsRoot) {
  std::vector<SgNode> nodes;
  std::error_code error;
  const std::filesystem::path classDir = sysfsRoot / "class" / "scsi_generic";
  for (const auto& entry : std::filesystem::directory_iterator(classDir, error)) {
    const std::filesystem::path device = entry.path() / "device";
    // The link's target ends in the address: ../../../0:0:0:0
    const std::filesystem::path linked = std::filesystem::read_symlink(device, error);
    if (error) continue;
    const auto address = ParseHostChannelTargetLun(linked.filename().string());
    if (!address) continue;
    nodes.push_back(SgNode{entry.path().filename().string(), *address, ReadType(device / "type")});
  }
  std::sort(nodes.begin(), nodes.end(),
            [](const SgNode& a, const SgNode& b) { return a.address < b.address; });
  return nodes;
}

SgAddressBook::SgAddressBook(std::vector<SgNode> nodes) : nodes_(std::move(nodes)) {
  for (const SgNode& node : nodes_) hosts_.push_back(node.address.host);
  std::sort(hosts_.begin(), hosts_.end());
  hosts_.erase(std::unique(hosts_.begin(), hosts_.end()), hosts_.end());
}

std::optional<unsigned> SgAddressBook::HostOf(std::uint8_t adapter) const {
  if (adapter >= hosts_.size()) return std::nullopt;
  return hosts_[adapter];
}

const SgNode* SgAddressBook::Find(std::uint8_t adapter, std::uint8_t target) const {
  const auto host = HostOf(adapter);
  if (!host) return nullptr;
  const HostChannelTargetLun wanted{*host, 0, target, 0};
  for (const SgNode& node : nodes_) {
    if (node.address == wanted) return &node;
  }
  return nullptr;
}

}  // namespace qfw::linux_sg
