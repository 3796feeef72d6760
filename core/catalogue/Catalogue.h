// The firmware catalogue: the file Tavrin.ini and the table of entries read
// from it. The number of entries fixes the mode of the whole run: catalogue
// mode with one entry or more, manual mode with none.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <string_view>

namespace qfw {

inline constexpr const char* kCatalogueFileName = "Tavrin.ini";
inline constexpr int kCatalogueRows = 100;
// The entry that would make the count reach this number fails the load.
inline constexpr int kCatalogueEntryLimit = 98;

// One catalogue entry. Text fields are 8-bit and NUL-terminated, taken byte
// for byte from the file.
// The Version that asks for no comparison after the update.
inline constexpr const char* kNoVersionCheck = "NON";

struct TFirmwareEntry {
  char ModelKey[50];        // leading part of a drive's INQUIRY text; never empty
  char FileName[258];       // image file, relative to the current directory
  std::uint32_t ImageSize;  // bytes read from the file and sent to the drive
  std::uint32_t BlockSize;  // bytes per WRITE BUFFER command
  char Version[12];         // revision expected after the update; "NON": no check
};

struct FirmwareTable {
  std::array<TFirmwareEntry, kCatalogueRows> FirmwareCatalogue{};
  std::int32_t FirmwareCount = 0;
};

// Reads a catalogue from a byte stream into the table; the stream should be
// in binary mode, since the reader applies the CR and 0x1A rules itself.
// Returns 0 when the stream was read to its end without a failure (any number
// of entries, none included; FirmwareCount is then set), 1 on any failure (a
// piece that does not split into its five fields or fails the size checks, a
// field longer than its capacity, the entry limit); FirmwareCount is then 0,
// and rows before the failing one may have been written. A read error (badbit,
// or an exception from the stream buffer) ends the reading as the end of the
// stream would, except that the piece it cut short is dropped. Never throws;
// safe on arbitrary bytes.
int ParseCatalogue(std::istream& in, FirmwareTable& table);

// Opens kCatalogueFileName in the given directory, in binary mode, and parses
// it. 1 when the file cannot be opened or is a directory.
int LoadCatalogueFile(const std::filesystem::path& directory, FirmwareTable& table);

// Converts a number field: leading white space (blank, tab, 0x0A to 0x0D), one
// optional sign, decimal digits up to the first other character; no digits
// read as 0; the value is clamped to the signed 32-bit range and stored by its
// bit pattern, so a negative value wraps around.
std::uint32_t ConvertSizeField(std::string_view field);

// The size checks of a catalogue entry and of the manual-mode sizes, in
// unsigned 32-bit arithmetic: image > 1024, block > 1024, image a whole
// multiple of block, at least four blocks.
bool SizesAcceptable(std::uint32_t imageSize, std::uint32_t blockSize);

}  // namespace qfw
