#include "discovery/DriveTable.h"

#include <cstring>

namespace qfw {

int MatchModelKey(std::string_view text, std::string_view key, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (i >= text.size() || i >= key.size() || text[i] != key[i]) return 1;
  }
  return 0;
}

namespace {
std::string_view KeyOf(const TFirmwareEntry& entry) {
  return {entry.ModelKey, ::strnlen(entry.ModelKey, sizeof entry.ModelKey)};
}
}  // namespace

int ClassifyDrive(std::string_view text, const FirmwareTable& catalogue) {
  if (catalogue.FirmwareCount == 0) {
    return text.substr(0, kManualVendor.size()) == kManualVendor ? 2 : 1;
  }
  for (std::int32_t i = 0; i < catalogue.FirmwareCount; ++i) {
    const auto key = KeyOf(catalogue.FirmwareCatalogue[static_cast<std::size_t>(i)]);
    if (MatchModelKey(text, key, key.size()) == 0) return 0;
  }
  return 1;
}

std::int32_t LastMatchingRow(std::string_view text, const FirmwareTable& catalogue) {
  std::int32_t row = -1;
  for (std::int32_t i = 0; i < catalogue.FirmwareCount; ++i) {
    const auto key = KeyOf(catalogue.FirmwareCatalogue[static_cast<std::size_t>(i)]);
    if (MatchModelKey(text, key, key.size()) == 0) row = i;
  }
  return row;
}

std::string DriveListLine(std::uint8_t hostAdapter, std::uint8_t target, std::string_view text) {
  std::string line;
  line.reserve(8 + text.size());
  line.push_back('(');
  line.append(std::to_string(hostAdapter));
  line.push_back(',');
  line.append(std::to_string(target));
  line.append(") ");
  line.append(text);
  return line;
}

}  // namespace qfw
