#include "catalogue/Catalogue.h"

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <limits>
#include <optional>
#include <system_error>

#include "catalogue/CatalogueFields.h"
#include "catalogue/CataloguePieceReader.h"

namespace qfw {

namespace {

// A number field is converted from a working copy of this many characters.
constexpr std::size_t kNumberFieldCapacity = 11;

static_assert(kCatalogueEntryLimit <= kCatalogueRows,
              "every entry that a load may store needs a row");
static_assert(CataloguePieceReader::kPieceLimit < sizeof(TFirmwareEntry{}.FileName),
              "a file name never outgrows its field, since a piece cannot");

// Copies a field's text into a NUL-terminated field of N bytes. A text that
// does not fit refuses the whole catalogue instead of being cut: a cut key
// would match drives that the full key does not, and a cut version would turn
// a version check that can never succeed into one that can. Returns false
// without writing when the text does not fit.
template <std::size_t N>
bool CopyText(std::string_view text, char (&field)[N]) {
  if (text.size() >= N) return false;
  std::copy(text.begin(), text.end(), field);
  field[text.size()] = '\0';
  return true;
}

bool IsConversionSpace(char c) {
  return c == ' ' || c == '\t' || (c >= '\x0A' && c <= '\x0D');
}

// Builds the entry of one piece; empty when the piece fails to split, a field
// does not fit its capacity (refused, see CopyText) or the sizes fail a check.
std::optional<TFirmwareEntry> MakeEntry(std::string_view piece) {
  const auto fields = SplitEntryPiece(piece);
  if (!fields) return std::nullopt;

  TFirmwareEntry entry{};
  if (!CopyText(fields->ModelKey, entry.ModelKey)) return std::nullopt;
  if (!CopyText(fields->FileName, entry.FileName)) return std::nullopt;
  // Like the text fields, a number field longer than its working copy is
  // refused rather than read in part.
  if (fields->ImageSize.size() > kNumberFieldCapacity ||
      fields->BlockSize.size() > kNumberFieldCapacity) {
    return std::nullopt;
  }
  entry.ImageSize = ConvertSizeField(fields->ImageSize);
  entry.BlockSize = ConvertSizeField(fields->BlockSize);
  if (!SizesAcceptable(entry.ImageSize, entry.BlockSize)) return std::nullopt;
  if (!CopyText(fields->Version, entry.Version)) return std::nullopt;
  return entry;
}

int Fail(FirmwareTable& table) {
  table.FirmwareCount = 0;
  return 1;
}

}  // namespace

std::uint32_t ConvertSizeField(std::string_view field) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();

  std::size_t pos = 0;
  while (pos < field.size() && IsConversionSpace(field[pos])) ++pos;
  bool negative = false;
  if (pos < field.size() && (field[pos] == '+' || field[pos] == '-')) {
    negative = field[pos] == '-';
    ++pos;
  }
  // The magnitude stops growing once it is past every value that clamps, so
  // any number of digits fits in 64 bits.
  std::int64_t magnitude = 0;
  for (; pos < field.size() && field[pos] >= '0' && field[pos] <= '9'; ++pos) {
    if (magnitude <= kMax) magnitude = magnitude * 10 + (field[pos] - '0');
  }
  const std::int64_t value = std::clamp(negative ? -magnitude : magnitude, kMin, kMax);
  // The signed value keeps its bit pattern: a negative size wraps around.
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
}

bool SizesAcceptable(std::uint32_t imageSize, std::uint32_t blockSize) {
  return imageSize > 1024 && blockSize > 1024 && imageSize % blockSize == 0 &&
         imageSize / blockSize >= 4;
}

int ParseCatalogue(std::istream& in, FirmwareTable& table) {
  CataloguePieceReader reader(in);
  int count = 0;
  while (const auto piece = reader.Next()) {
    if (IsIgnoredPiece(*piece)) continue;
    const auto entry = MakeEntry(*piece);
    if (!entry) return Fail(table);
    table.FirmwareCatalogue[static_cast<std::size_t>(count)] = *entry;
    ++count;
    if (count == kCatalogueEntryLimit) return Fail(table);
  }
  table.FirmwareCount = count;
  return 0;
}

int LoadCatalogueFile(const std::filesystem::path& directory, FirmwareTable& table) {
  const std::filesystem::path path = directory / kCatalogueFileName;
  // Some C libraries open a directory for reading and fail only at the first
  // read, which would pass for an empty catalogue and start manual mode.
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return Fail(table);
  // Binary mode: the CR and 0x1A rules are applied by the reader itself, the
  // same on every platform.
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return Fail(table);
  return ParseCatalogue(file, table);
}

}  // namespace qfw
