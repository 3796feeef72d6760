// Which drives the scan lists, which catalogue row each gets, and how the
// walk over adapters and targets behaves on the simulated bus.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "discovery/DriveTable.h"
#include "support/ProgramHarness.h"

namespace qfw {
namespace {

using simbus::MakeInquiryData;

FirmwareTable Catalogue(const std::vector<std::string>& keys) {
  FirmwareTable table;
  for (const auto& key : keys) {
    auto& row = table.FirmwareCatalogue[static_cast<std::size_t>(table.FirmwareCount++)];
    std::memcpy(row.ModelKey, key.data(), key.size());
  }
  return table;
}

// A drive's text: vendor (8), product (16), revision (4).
const std::string kText = "QUORVEL CDR-4420          1.03";

TEST(DriveClassification, KeysDecideListingAndTheLastMatchGivesTheRow) {
  const std::string text = std::string("QUORVEL ") + "CDR-4420        " + "1.03";
  ASSERT_EQ(text.size(), 28u);
  struct Case {
    const char* name;
    std::vector<std::string> keys;
    std::string text;
    int classify;
    int row;
  } cases[] = {
      {"key A then AB, text begins with AB", {"QUORVEL ", "QUORVEL CDR"}, text, 0, 1},
      {"key AB then A: still the last match", {"QUORVEL CDR", "QUORVEL "}, text, 0, 1},
      {"key equal to the whole 28-character text", {text}, text, 0, 0},
      {"key one character longer than the text", {text + "X"}, text, 1, -1},
      {"case differs", {"Quorvel CDR"}, text, 1, -1},
      {"fewer blanks between vendor and product", {"QUORVEL CDR-4420 1.03"}, text, 1, -1},
      {"vendor letters without trailing blanks", {"QUORVEL"}, text, 0, 0},
      {"no key matches", {"OTHER", "QUORVEL DVD"}, text, 1, -1},
      {"later rows past the match do not change it", {"QUORVEL", "OTHER"}, text, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const FirmwareTable table = Catalogue(c.keys);
    EXPECT_EQ(ClassifyDrive(c.text, table), c.classify);
    EXPECT_EQ(LastMatchingRow(c.text, table), c.row);
  }
}

TEST(DriveClassification, ManualModeListsOnlyTheUpperCaseVendor) {
  const FirmwareTable empty;
  EXPECT_EQ(ClassifyDrive("QUORVEL CDR-4420        1.03", empty), 2);
  EXPECT_EQ(ClassifyDrive("QUORVELX", empty), 2);  // the eighth character is not looked at
  EXPECT_EQ(ClassifyDrive("Quorvel CDR-4420        1.03", empty), 1);
  EXPECT_EQ(ClassifyDrive("QUORVE", empty), 1);
  EXPECT_EQ(ClassifyDrive("", empty), 1);
}

TEST(DriveClassification, ListLineFormat) {
  EXPECT_EQ(DriveListLine(1, 12, "ABC"), "(1,12) ABC");
  EXPECT_EQ(DriveListLine(0, 0, ""), "(0,0) ");
}

simbus::DeviceConfig Drive(std::uint8_t ha, std::uint8_t target, const std::string& vendor,
                           const std::string& product, const std::string& revision,
                           std::uint8_t type = DTYPE_CDROM) {
  simbus::DeviceConfig device;
  device.ha = ha;
  device.target = target;
  device.peripheralType = type;
  device.inquiryData = MakeInquiryData(vendor, product, revision, type);
  return device;
}

class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override { run.WriteCatalogue("QUORVEL =drive.bin,32768,8192,1.04\n"); }
  // Runs the program; the user leaves through Exit once the window is up.
  int RunToExit() {
    run.Click(ControlId::ButtonExit);
    return run.Run();
  }
  std::vector<std::string> DriveLines() const {
    std::vector<std::string> lines;
    for (const auto& line : run.Lines()) {
      if (line.rfind("drive-list add ", 0) == 0) lines.push_back(line.substr(15));
    }
    return lines;
  }
  testing::ProgramHarness run;
};

TEST_F(ScanTest, WalksOnlyAdaptersZeroToFiveWhateverTheCountSays) {
  run.bus.supportInfo = 8;
  run.bus.adapters = {0, 1, 2, 3, 4, 5, 6, 7};
  run.bus.devices = {Drive(5, 15, "QUORVEL", "CDR-4420", "1.03"),
                     Drive(6, 0, "QUORVEL", "CDR-4420", "1.03"),
                     Drive(0, 3, "QUORVEL", "CDR-4420", "1.03")};
  ASSERT_EQ(RunToExit(), 0);

  std::vector<int> adapters;
  for (const auto& e : run.Manager().Log()) {
    if (e.command == SC_HA_INQUIRY) adapters.push_back(e.ha);
  }
  EXPECT_EQ(adapters, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  const auto lines = DriveLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "\"(0,3) QUORVEL CDR-4420        1.03\"");
  EXPECT_EQ(lines[1], "\"(5,15) QUORVEL CDR-4420        1.03\"");
}

TEST_F(ScanTest, OneAdapterReportedStillTriesAllSixAndSkipsMissingOnesSilently) {
  run.bus.supportInfo = 0xAB01;  // the manager's status bits above the count are ignored
  run.bus.adapters = {2};
  run.bus.devices = {Drive(2, 1, "QUORVEL", "CDR-4420", "1.03")};
  ASSERT_EQ(RunToExit(), 0);
  int inquiries = 0;
  for (const auto& e : run.Manager().Log()) inquiries += e.command == SC_HA_INQUIRY;
  EXPECT_EQ(inquiries, 6);
  EXPECT_TRUE(run.Boxes().empty());
  EXPECT_EQ(DriveLines().size(), 1u);
}

TEST_F(ScanTest, OtherDeviceTypesNeverGetAnInquiry) {
  run.bus.devices = {Drive(0, 0, "QUORVEL", "DISK", "1.03", 0x00),
                     Drive(0, 1, "QUORVEL", "TAPE", "1.03", 0x01),
                     Drive(0, 2, "QUORVEL", "CDR-4420", "1.03")};
  ASSERT_EQ(RunToExit(), 0);
  const auto inquiries = run.Commands(0x12);
  ASSERT_EQ(inquiries.size(), 1u);
  EXPECT_EQ(inquiries[0].target, 2);
  EXPECT_EQ(DriveLines().size(), 1u);
}

TEST_F(ScanTest, InquiryTimeOutSkipsTheTargetSilentlyAndTheScanGoesOn) {
  auto slow = Drive(0, 1, "QUORVEL", "CDR-4420", "1.03");
  slow.rules.push_back({simbus::CommandKind::Inquiry, 0, {simbus::Timing::Never, {}, {}, false}});
  run.bus.devices = {slow, Drive(0, 4, "QUORVEL", "CDR-4420", "1.03")};
  ASSERT_EQ(RunToExit(), 0);
  EXPECT_TRUE(run.Boxes().empty());
  const auto lines = DriveLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "\"(0,4) QUORVEL CDR-4420        1.03\"");
  EXPECT_GE(run.Time().Now(), Millis(3000));
}

TEST_F(ScanTest, FailedInquiryShowsTheDecodersMessageAndSkipsTheTarget) {
  auto failing = Drive(0, 1, "QUORVEL", "CDR-4420", "1.03");
  failing.rules.push_back(
      {simbus::CommandKind::Inquiry,
       0,
       {simbus::Timing::AtOnce, {}, simbus::Ending::Adapter(HASTAT_SEL_TO), false}});
  run.bus.devices = {failing, Drive(0, 2, "QUORVEL", "CDR-4420", "1.03")};
  ASSERT_EQ(RunToExit(), 0);
  EXPECT_EQ(run.Boxes(),
            (std::vector<std::string>{testing::BoxLine(PresentationKind::ErrorBox,
                                                       "HA_Status: Selection Timeout.", 0x1010)}));
  EXPECT_EQ(DriveLines().size(), 1u);
}

TEST_F(ScanTest, DriveTableRowsFollowTheListAndTakeTheLastMatchingRow) {
  run.WriteCatalogue(
      "QUORVEL CDR=a.bin,32768,8192,1.04\n"
      "QUORVEL =b.bin,32768,8192,1.05\n"
      "OTHER=c.bin,32768,8192,2.00\n");
  run.bus.devices = {Drive(0, 1, "QUORVEL", "CDR-4420", "1.03"), Drive(1, 0, "OTHER", "X", "1.00"),
                     Drive(1, 2, "NOBODY", "X", "1.00")};
  run.bus.adapters = {0, 1};
  std::vector<TDriveEntry> rows;
  run.Step([&](TMainForm& form) {
    for (int i = 0; i < form.drives.DriveCount; ++i) {
      rows.push_back(form.drives.DriveTable[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(form.DriveIndex(), 0);
  });
  ASSERT_EQ(RunToExit(), 0);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].HostAdapter, 0);
  EXPECT_EQ(rows[0].Target, 1);
  EXPECT_EQ(rows[0].CatalogueIndex, 1);
  EXPECT_EQ(rows[1].HostAdapter, 1);
  EXPECT_EQ(rows[1].CatalogueIndex, 2);
}

TEST_F(ScanTest, ManualModeListsQuorvelDrivesWithoutARow) {
  run.WriteCatalogue("# no entries\n");
  run.bus.devices = {Drive(0, 1, "QUORVEL", "CDR-4420", "1.03"),
                     Drive(0, 2, "Quorvel", "CDR-4420", "1.03")};
  std::int32_t index = 99;
  run.Step([&](TMainForm& form) { index = form.drives.DriveTable[0].CatalogueIndex; });
  ASSERT_EQ(RunToExit(), 0);
  EXPECT_EQ(index, -1);
  const auto lines = DriveLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("(0,1) QUORVEL "), std::string::npos);
}

}  // namespace
}  // namespace qfw
