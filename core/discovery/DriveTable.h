// The drives found by the start-up scan: the drive table, the rules that
// decide which drives are listed, and the text of a drive list line.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/Catalogue.h"

namespace qfw {

inline constexpr int kDriveRows = 100;
inline constexpr std::uint8_t kScannedAdapters = 6;  // adapter numbers 0 to 5
inline constexpr std::uint8_t kScannedTargets = 16;  // targets 0 to 15, LUN 0
inline constexpr std::string_view kManualVendor = "QUORVEL";

struct TDriveEntry {
  std::uint8_t HostAdapter;
  std::uint8_t Target;  // the logical unit is always 0
  // Row of the catalogue for this drive; -1 for a drive listed in manual mode
  // until the manual sizes have been accepted.
  std::int32_t CatalogueIndex;
};

struct DriveTableData {
  std::array<TDriveEntry, kDriveRows> DriveTable{};
  std::int32_t DriveCount = 0;
};

// 0 when the first `length` bytes of text and key are equal, 1 otherwise. The
// end of the text equals no key byte, so a key longer than the text never
// matches. Bytes are compared as they are: case and blanks count.
int MatchModelKey(std::string_view text, std::string_view key, std::size_t length);

// 0: list the drive (catalogue mode); 1: do not list it; 2: list it (manual
// mode, vendor identification beginning with "QUORVEL").
int ClassifyDrive(std::string_view text, const FirmwareTable& catalogue);

// The last catalogue row whose key the text begins with; -1 when none.
std::int32_t LastMatchingRow(std::string_view text, const FirmwareTable& catalogue);

// "(" adapter "," target ") " and the drive's INQUIRY text.
std::string DriveListLine(std::uint8_t hostAdapter, std::uint8_t target, std::string_view text);

}  // namespace qfw
