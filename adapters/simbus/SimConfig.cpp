#include "simbus/SimConfig.h"

#include <algorithm>
#include <cstddef>

namespace qfw::simbus {
namespace {

void PutField(std::vector<std::uint8_t>& data, std::size_t at, std::size_t width,
              std::string_view text) {
  for (std::size_t i = 0; i < width; ++i) {
    data[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : std::uint8_t{' '};
  }
}

}  // namespace

const char* CommandKindName(CommandKind kind) {
  switch (kind) {
    case CommandKind::TestUnitReady:
      return "test-unit-ready";
    case CommandKind::Inquiry:
      return "inquiry";
    case CommandKind::WriteBuffer:
      return "write-buffer";
    case CommandKind::DeviceReset:
      return "device-reset";
  }
  return "?";
}

std::vector<std::uint8_t> MakeInquiryData(std::string_view vendor, std::string_view product,
                                          std::string_view revision, std::uint8_t peripheralType) {
  std::vector<std::uint8_t> data(36, 0);
  data[0] = peripheralType;
  data[1] = 0x80;  // removable medium
  data[2] = 0x02;  // SCSI-2
  data[3] = 0x02;  // response data format
  data[4] = 31;    // additional length: bytes 5 to 35
  PutField(data, 8, 8, vendor);
  PutField(data, 16, 16, product);
  PutField(data, 32, 4, revision);
  return data;
}

Rule FailNthWriteBuffer(unsigned k, Sense sense) {
  Rule rule;
  rule.command = CommandKind::WriteBuffer;
  rule.occurrence = k;
  rule.behaviour.ending = Ending::CheckCondition(sense);
  return rule;
}

}  // namespace qfw::simbus
