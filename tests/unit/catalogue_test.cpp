#include "catalogue/Catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace qfw {
namespace {

using namespace std::string_literals;

struct ExpectedEntry {
  std::string ModelKey;
  std::string FileName;
  std::uint32_t ImageSize;
  std::uint32_t BlockSize;
  std::string Version;
};

enum class Source {
  Text,           // the bytes are the whole stream and the whole file
  ErrorAfter,     // the stream fails to read after the bytes
  ThrowingError,  // as ErrorAfter, with badbit in the stream's exception mask
};

struct CatalogueCase {
  std::string name;
  std::string bytes;
  int result;
  std::vector<ExpectedEntry> entries;
  Source source = Source::Text;
};

// Serves its bytes, then fails as a broken device would.
class FailingBuffer : public std::streambuf {
 public:
  explicit FailingBuffer(std::string bytes) : bytes_(std::move(bytes)) {
    setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
  }

 protected:
  int_type underflow() override { throw std::runtime_error("read error"); }

 private:
  std::string bytes_;
};

// A fresh directory under the system's temporary directory, removed at the end.
class TempDirectory {
 public:
  TempDirectory() {
    std::random_device seed;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("qfw-catalogue-" + std::to_string(seed()));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

  void WriteCatalogue(const std::string& bytes) const {
    std::ofstream file(path_ / kCatalogueFileName, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good());
  }

 private:
  std::filesystem::path path_;
};

// The text of a fixed-size field; fails the test when the field holds no NUL.
template <std::size_t N>
std::string FieldText(const char (&field)[N]) {
  const char* end = std::find(field, field + N, '\0');
  EXPECT_NE(end, field + N) << "field not terminated";
  return std::string(field, end);
}

void ExpectTable(const FirmwareTable& table, const std::vector<ExpectedEntry>& entries) {
  ASSERT_EQ(table.FirmwareCount, static_cast<std::int32_t>(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    const TFirmwareEntry& row = table.FirmwareCatalogue[i];
    EXPECT_EQ(FieldText(row.ModelKey), entries[i].ModelKey);
    EXPECT_EQ(FieldText(row.FileName), entries[i].FileName);
    EXPECT_EQ(row.ImageSize, entries[i].ImageSize);
    EXPECT_EQ(row.BlockSize, entries[i].BlockSize);
    EXPECT_EQ(FieldText(row.Version), entries[i].Version);
  }
}

const ExpectedEntry kA{"A", "a.bin", 32768, 8192, "1.00"};
const std::string kLineA = "A=a.bin,32768,8192,1.00";

// n valid entries with distinct keys, one a line.
std::pair<std::string, std::vector<ExpectedEntry>> Entries(int n) {
  std::string bytes;
  std::vector<ExpectedEntry> entries;
  for (int i = 0; i < n; ++i) {
    const std::string key = "K" + std::to_string(i);
    bytes += key + "=f.bin,32768,8192,1.00\n";
    entries.push_back({key, "f.bin", 32768, 8192, "1.00"});
  }
  return {bytes, entries};
}

// A line whose first 99 characters are a valid entry, then `rest` from
// character 100 on, then LF.
std::string LongLine(const std::string& rest) {
  const std::string first99 = "A=" + std::string(80, 'f') + ",32768,8192,1.023";
  EXPECT_EQ(first99.size(), 99u);
  return first99 + rest + "\n";
}

std::vector<CatalogueCase> Cases() {
  const auto [entries97, expected97] = Entries(97);
  const std::string entries98 = Entries(98).first;
  const std::string longFile(80, 'f');
  const std::string line99 = LongLine("").substr(0, 99);
  return {
      // The example lines.
      {"plain entry", kLineA + "\n", 0, {kA}},
      {"last line without LF", kLineA, 0, {kA}},
      {"CR LF line ends",
       kLineA + "\r\n" + "B=b.bin,32768,8192,2.00\r\n",
       0,
       {kA, {"B", "b.bin", 32768, 8192, "2.00"}}},
      {"CR inside a line vanishes", "A=a.b\rin,32\r768,8192,1.00\r\r\n", 0, {kA}},
      {"empty field vanishes", "A=a.bin,,32768,8192,1.00\n", 0, {kA}},
      {"comma before version belongs to it",
       "A=a.bin,32768,8192,,1.00\n",
       0,
       {{"A", "a.bin", 32768, 8192, ",1.00"}}},
      {"leading = skipped", "==A=a.bin,32768,8192,1.00\n", 0, {kA}},
      {"= in file name", "A==a.bin,32768,8192,1.00\n", 0, {{"A", "=a.bin", 32768, 8192, "1.00"}}},
      {"leading comma in key",
       ",A=a.bin,32768,8192,1.00\n",
       0,
       {{",A", "a.bin", 32768, 8192, "1.00"}}},
      {"nothing trimmed",
       "A = a.bin , 32768 , 8192 , 1.00\n",
       0,
       {{"A ", " a.bin ", 32768, 8192, " 1.00"}}},
      {"no version", "A=a.bin,32768,8192\n", 1, {}},
      {"empty version", "A=a.bin,32768,8192,\n", 1, {}},
      {"empty version at end of file", "A=a.bin,32768,8192,", 1, {}},
      {"two blocks", "A=a.bin,16384,8192,1.00\n", 1, {}},
      {"not a multiple", "A=a.bin,32769,8192,1.00\n", 1, {}},
      {"block size 1024", "A=a.bin,32768,1024,1.00\n", 1, {}},
      {"image size 8k reads as 8", "A=a.bin,8k,8192,1.00\n", 1, {}},
      {"image size 0x8000 reads as 0", "A=a.bin,0x8000,8192,1.00\n", 1, {}},
      {"eleven nines clamp to a prime", "A=a.bin,99999999999,8192,1.00\n", 1, {}},
      {"twelve nines", "A=a.bin,999999999999,8192,1.00\n", 1, {}},
      {"negative size wraps",
       "A=a.bin,-32768,8192,1.00\n",
       0,
       {{"A", "a.bin", 4294934528u, 8192, "1.00"}}},
      {"negative size clamps to 2^31",
       "A=a.bin,-9999999999,8192,1.00\n",
       0,
       {{"A", "a.bin", 2147483648u, 8192, "1.00"}}},
      {"tab starts a key",
       "\tA=a.bin,32768,8192,1.00\n",
       0,
       {{"\tA", "a.bin", 32768, 8192, "1.00"}}},
      {"comment and blank-led line", "#A=a.bin,32768,8192,1.00\n A=a.bin,32768,8192,1.00\n", 0, {}},
      {"section header", "[Drives]\n" + kLineA + "\n", 1, {}},
      {"semicolon comment", "; drives\n" + kLineA + "\n", 1, {}},
      // Empty and ignored content.
      {"empty file", "", 0, {}},
      {"only ignored lines", "# list\n\n\n  indented\n#\n\0anything\n"s, 0, {}},
      {"entries between ignored lines", "# list\n\n" + kLineA + "\n# end\n", 0, {kA}},
      {"failure after an entry", kLineA + "\nbroken\n", 1, {}},
      // NUL bytes end a piece for splitting.
      {"NUL ends the version", "A=a.bin,32768,8192,1.00\0junk\n"s, 0, {kA}},
      {"NUL hides the fields after it", "A=a.bin,32768\0,8192,1.00\n"s, 1, {}},
      // The entry limit.
      {"97 entries", entries97, 0, expected97},
      {"98 entries", entries98, 1, {}},
      // Pieces of at most 99 characters.
      {"line of 99 characters then its LF alone",
       line99 + "\n" + kLineA + "\n",
       0,
       {{"A", longFile, 32768, 8192, "1.023"}, kA}},
      {"120 characters, # at 100",
       LongLine("#" + std::string(20, 'x')),
       0,
       {{"A", longFile, 32768, 8192, "1.023"}}},
      {"120 characters, letter at 100", LongLine("Bxxxxxxxxxxxxxxxxxxxx"), 1, {}},
      {"120 characters, entry at 100",
       LongLine("B=b.bin,32768,8192,22"),
       0,
       {{"A", longFile, 32768, 8192, "1.023"}, {"B", "b.bin", 32768, 8192, "22"}}},
      // 0x1A ends the file.
      {"0x1A between lines", kLineA + "\n\x1A" + "broken\n", 0, {kA}},
      {"0x1A inside a line", kLineA + "\x1A" + "9,broken\n", 0, {kA}},
      // A byte-order mark belongs to the first piece.
      {"byte-order mark before a comment", "\xEF\xBB\xBF# list\n" + kLineA + "\n", 1, {}},
      {"byte-order mark before an entry",
       "\xEF\xBB\xBF" + kLineA + "\n",
       0,
       {{"\xEF\xBB\xBF"
         "A",
         "a.bin", 32768, 8192, "1.00"}}},
      // Fields at and beyond their capacity: beyond it the catalogue is refused.
      {"key of 49 characters",
       std::string(49, 'K') + "=a.bin,32768,8192,1.00\n",
       0,
       {{std::string(49, 'K'), "a.bin", 32768, 8192, "1.00"}}},
      {"key of 50 characters", std::string(50, 'K') + "=a.bin,32768,8192,1.00\n", 1, {}},
      {"version of 11 characters",
       "A=a.bin,32768,8192,1.000000000\n",
       0,
       {{"A", "a.bin", 32768, 8192, "1.000000000"}}},
      {"version of 12 characters", "A=a.bin,32768,8192,1.0000000000\n", 1, {}},
      {"number fields of 11 characters", "A=a.bin,00000032768,    \t  8192,1.00\n", 0, {kA}},
      {"image size of 12 characters", "A=a.bin,000000032768,8192,1.00\n", 1, {}},
      {"block size of 12 characters", "A=a.bin,32768,000000008192,1.00\n", 1, {}},
      // A read error ends the reading; the piece it cut short is dropped.
      {"read error after two lines",
       kLineA + "\nB=b.bin,32768,8192,2.00\n",
       0,
       {kA, {"B", "b.bin", 32768, 8192, "2.00"}},
       Source::ErrorAfter},
      {"read error inside a line",
       kLineA + "\nB=b.bin,32768,8192,2.0",
       0,
       {kA},
       Source::ErrorAfter},
      {"read error with badbit exceptions", kLineA + "\nB=b.b", 0, {kA}, Source::ThrowingError},
      {"read error at the start", "", 0, {}, Source::ErrorAfter},
  };
}

TEST(CatalogueTest, ReadsTheTableFromStreamAndFile) {
  for (const CatalogueCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    {
      SCOPED_TRACE("stream");
      FirmwareTable table;
      int result = -1;
      if (c.source == Source::Text) {
        std::istringstream in(c.bytes);
        result = ParseCatalogue(in, table);
      } else {
        FailingBuffer buffer(c.bytes);
        std::istream in(&buffer);
        if (c.source == Source::ThrowingError) in.exceptions(std::ios::badbit);
        result = ParseCatalogue(in, table);
      }
      EXPECT_EQ(result, c.result);
      ExpectTable(table, c.entries);
    }
    if (c.source == Source::Text) {
      SCOPED_TRACE("file");
      TempDirectory directory;
      directory.WriteCatalogue(c.bytes);
      FirmwareTable table;
      EXPECT_EQ(LoadCatalogueFile(directory.path(), table), c.result);
      ExpectTable(table, c.entries);
    }
  }
}

TEST(CatalogueTest, MissingFileFailsWhereAnEmptyFileLoadsNothing) {
  TempDirectory directory;
  FirmwareTable table;
  EXPECT_EQ(LoadCatalogueFile(directory.path(), table), 1);
  EXPECT_EQ(table.FirmwareCount, 0);

  std::filesystem::create_directory(directory.path() / kCatalogueFileName);
  EXPECT_EQ(LoadCatalogueFile(directory.path(), table), 1) << "a directory is no catalogue";
  std::filesystem::remove(directory.path() / kCatalogueFileName);

  directory.WriteCatalogue("");
  EXPECT_EQ(LoadCatalogueFile(directory.path(), table), 0);
  EXPECT_EQ(table.FirmwareCount, 0);
}

TEST(CatalogueTest, ConvertSizeField) {
  const struct {
    std::string field;
    std::uint32_t value;
  } cases[] = {
      {"32768", 32768},
      {" \t\n\v\f\r32768", 32768},
      {"+8192", 8192},
      {"007", 7},
      {"8k", 8},
      {"12 34", 12},
      {"0x8000", 0},
      {"", 0},
      {"   ", 0},
      {"-", 0},
      {"+-5", 0},
      {"- 5", 0},
      {"\xA0"
       "5",
       0},
      {"-1", 0xFFFFFFFFu},
      {"-32768", 4294934528u},
      {"2147483647", 2147483647u},
      {"2147483648", 2147483647u},
      {"99999999999999999999999999", 2147483647u},
      {"-2147483648", 2147483648u},
      {"-2147483649", 2147483648u},
      {"-99999999999999999999999999", 2147483648u},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("field \"" + c.field + "\"");
    EXPECT_EQ(ConvertSizeField(c.field), c.value);
  }
}

TEST(CatalogueTest, SizesAcceptable) {
  const struct {
    std::uint32_t image;
    std::uint32_t block;
    bool acceptable;
  } cases[] = {
      {4100, 1025, true},         // smallest sizes that pass
      {4096, 1024, false},        // block size 1024
      {1024, 1025, false},        // image size 1024
      {3075, 1025, false},        // three blocks
      {4101, 1025, false},        // not a multiple
      {4294934528u, 8192, true},  // a wrapped negative size
      {2147483648u, 2147483648u, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.image) + " / " + std::to_string(c.block));
    EXPECT_EQ(SizesAcceptable(c.image, c.block), c.acceptable);
  }
}

}  // namespace
}  // namespace qfw
