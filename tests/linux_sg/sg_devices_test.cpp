// Device enumeration from a sysfs tree laid out as the kernel does it, and the
// dense adapter numbering over it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "linux_sg/SgDevices.h"

namespace qfw::linux_sg {
namespace {

namespace fs = std::filesystem;

class FakeSysfs : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = fs::temp_directory_path() /
            (std::string("qfw-sysfs-") + info->name() + "-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "class" / "scsi_generic");
  }
  void TearDown() override { fs::remove_all(root_); }

  // /sys/class/scsi_generic/<name>/device -> ../../../devices/.../<hctl>,
  // whose type file holds `type` (none when type is negative).
  void AddNode(const std::string& name, const std::string& hctl, int type) {
    const fs::path target = root_ / "devices" / ("target-" + name) / hctl;
    fs::create_directories(target);
    if (type >= 0) std::ofstream(target / "type") << type << "\n";
    const fs::path node = root_ / "class" / "scsi_generic" / name;
    fs::create_directories(node);
    fs::create_directory_symlink(fs::path("../../../devices") / ("target-" + name) / hctl,
                                 node / "device");
  }

  fs::path root_;
};

TEST_F(FakeSysfs, ReadsAddressAndTypeOfEveryNodeInAddressOrder) {
  AddNode("sg2", "7:0:3:0", 5);
  AddNode("sg0", "2:0:0:0", 0);
  AddNode("sg1", "2:0:1:0", 5);
  AddNode("sg3", "7:0:3:1", 5);
  AddNode("sg4", "9:0:0:0", -1);
  const std::vector<SgNode> expected = {
      {"sg0", {2, 0, 0, 0}, 0}, {"sg1", {2, 0, 1, 0}, 5},  {"sg2", {7, 0, 3, 0}, 5},
      {"sg3", {7, 0, 3, 1}, 5}, {"sg4", {9, 0, 0, 0}, -1},
  };
  EXPECT_EQ(ReadSgNodes(root_), expected);
}

TEST_F(FakeSysfs, SkipsEntriesWithoutAnAddress) {
  AddNode("sg0", "1:0:0:0", 5);
  fs::create_directories(root_ / "class" / "scsi_generic" / "sg1");  // no device link
  AddNode("sg2", "host3", 5);
  ASSERT_EQ(ReadSgNodes(root_).size(), 1u);
  EXPECT_EQ(ReadSgNodes(root_)[0].name, "sg0");
}

TEST(SgDevices, NoSysfsClassMeansNoDevices) {
  EXPECT_TRUE(ReadSgNodes("/nonexistent-sysfs-root").empty());
}

TEST(SgDevices, ParsesHostChannelTargetLun) {
  EXPECT_EQ(ParseHostChannelTargetLun("12:0:15:0"), (HostChannelTargetLun{12, 0, 15, 0}));
  for (const char* bad : {"", "1:0:0", "1:0:0:0:0", "a:0:0:0", "1:0:0:0x", "1::0:0", "-1:0:0:0"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(ParseHostChannelTargetLun(bad), std::nullopt);
  }
}

TEST(SgDevices, HostsWithDevicesAreNumberedDenselyInHostOrder) {
  // Hosts 0, 3 and 8 have devices; 3 only on channel 1 and at LUN 1.
  const SgAddressBook book({
      {"sg0", {0, 0, 0, 0}, 0},
      {"sg5", {3, 1, 2, 0}, 5},
      {"sg6", {3, 0, 4, 1}, 5},
      {"sg1", {8, 0, 6, 0}, 5},
      {"sg2", {8, 0, 15, 0}, 5},
  });
  EXPECT_EQ(book.AdapterCount(), 3u);
  EXPECT_EQ(book.HostOf(0), 0u);
  EXPECT_EQ(book.HostOf(1), 3u);
  EXPECT_EQ(book.HostOf(2), 8u);
  EXPECT_EQ(book.HostOf(3), std::nullopt);

  struct Lookup {
    std::uint8_t adapter, target;
    const char* found;  // nullptr: nothing there
  } lookups[] = {
      {0, 0, "sg0"},   {2, 6, "sg1"},   {2, 15, "sg2"},
      {2, 0, nullptr}, {1, 2, nullptr},  // channel 1
      {1, 4, nullptr},                   // LUN 1
      {3, 0, nullptr},                   // no such adapter
  };
  for (const Lookup& l : lookups) {
    SCOPED_TRACE(std::to_string(l.adapter) + "," + std::to_string(l.target));
    const SgNode* node = book.Find(l.adapter, l.target);
    if (l.found == nullptr) {
      EXPECT_EQ(node, nullptr);
    } else {
      ASSERT_NE(node, nullptr);
      EXPECT_EQ(node->name, l.found);
    }
  }
}

}  // namespace
}  // namespace qfw::linux_sg
