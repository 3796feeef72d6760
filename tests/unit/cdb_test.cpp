#include "scsi/Cdb.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>

namespace qfw {
namespace {

TEST(Cdb, SixByteCommands) {
  struct Case {
    const char* name;
    Cdb6 actual;
    Cdb6 expected;
  };
  const Case cases[] = {
      {"TEST UNIT READY", TestUnitReadyCdb(), {0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
      {"INQUIRY 36", InquiryCdb(36), {0x12, 0x00, 0x00, 0x00, 0x24, 0x00}},
      {"INQUIRY 255", InquiryCdb(255), {0x12, 0x00, 0x00, 0x00, 0xFF, 0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.actual, c.expected);
  }
}

TEST(Cdb, WriteBufferFieldsAreBigEndianAndNeverTruncated) {
  struct Case {
    std::uint8_t mode;
    std::uint32_t offset;
    std::uint32_t length;
    std::optional<Cdb10> expected;
  };
  const Case cases[] = {
      {4, 65536, 32768, Cdb10{0x3B, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00}},
      {5, 49152, 16384, Cdb10{0x3B, 0x05, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x40, 0x00, 0x00}},
      // Distinct bytes in every position expose swapped or shifted fields.
      {4, 0x123456, 0xABCDEF, Cdb10{0x3B, 0x04, 0x00, 0x12, 0x34, 0x56, 0xAB, 0xCD, 0xEF, 0x00}},
      // The mode byte is passed through whole.
      {0xFF, 0, 0, Cdb10{0x3B, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
      // The largest values that 24 bits carry.
      {5, 0xFFFFFF, 0xFFFFFF, Cdb10{0x3B, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}},
      // One past the limit would wrap to 0 if truncated: refused instead.
      {4, 0x1000000, 32768, std::nullopt},
      {4, 0, 0x1000000, std::nullopt},
      {4, 0xFFFFFFFF, 0xFFFFFFFF, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "mode " << int{c.mode} << " offset " << c.offset << " length " << c.length);
    EXPECT_EQ(WriteBufferCdb(c.mode, c.offset, c.length), c.expected);
  }
}

}  // namespace
}  // namespace qfw
