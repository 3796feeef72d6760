// libFuzzer target for the catalogue reader. The first input byte chooses how
// the rest is served: bit 0 makes the stream fail with a read error after the
// last byte instead of ending. Every input must load or fail cleanly and leave
// a table whose loaded rows are all well formed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <istream>
#include <stdexcept>
#include <streambuf>
#include <string_view>

#include "catalogue/Catalogue.h"

namespace {

class FuzzBuffer : public std::streambuf {
 public:
  FuzzBuffer(const std::uint8_t* data, std::size_t size, bool failAtEnd) : failAtEnd_(failAtEnd) {
    // The buffer is only ever read; streambuf's interface wants char*.
    char* begin = const_cast<char*>(reinterpret_cast<const char*>(data));
    setg(begin, begin, begin + size);
  }

 protected:
  int_type underflow() override {
    if (failAtEnd_) throw std::runtime_error("read error");
    return traits_type::eof();
  }

 private:
  bool failAtEnd_;
};

template <std::size_t N>
bool Terminated(const char (&field)[N]) {
  return std::string_view(field, N).find('\0') != std::string_view::npos;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  FuzzBuffer buffer(data + 1, size - 1, (data[0] & 1) != 0);
  std::istream in(&buffer);
  qfw::FirmwareTable table;
  const int result = qfw::ParseCatalogue(in, table);

  Check(result == 0 || result == 1);
  Check(table.FirmwareCount >= 0 && table.FirmwareCount < qfw::kCatalogueEntryLimit);
  Check(result == 0 || table.FirmwareCount == 0);
  for (std::int32_t i = 0; i < table.FirmwareCount; ++i) {
    const qfw::TFirmwareEntry& row = table.FirmwareCatalogue[static_cast<std::size_t>(i)];
    Check(Terminated(row.ModelKey) && row.ModelKey[0] != '\0');
    Check(Terminated(row.FileName) && row.FileName[0] != '\0');
    Check(Terminated(row.Version) && row.Version[0] != '\0');
    Check(qfw::SizesAcceptable(row.ImageSize, row.BlockSize));
  }

  const auto text = std::string_view(reinterpret_cast<const char*>(data), size);
  (void)qfw::ConvertSizeField(text);
  return 0;
}
