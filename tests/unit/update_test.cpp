// A whole update from the UPDATE button to the outcome, on the simulated bus
// in virtual time: the commands the drive receives, the window's states, the
// outcome of each code, and the refusals that keep a drive safe.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "support/ProgramHarness.h"
#include "ui/Texts.h"
#include "update/Waitwrite.h"

namespace qfw {
namespace {

using simbus::CommandKind;
using simbus::Ending;
using simbus::Rule;
using simbus::Timing;
using testing::BoxLine;

constexpr std::uint8_t kWriteBuffer = 0x3B;
constexpr std::uint8_t kTestUnitReady = 0x00;
constexpr std::uint8_t kInquiry = 0x12;

std::size_t IndexOf(const std::vector<std::string>& lines, const std::string& line,
                    std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i] == line) return i;
  }
  return lines.size();
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return IndexOf(lines, line) != lines.size();
}

class UpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run.WriteCatalogue("QUORVEL =fw.bin,65536,16384,1.04\n");
    image = run.WriteImage("fw.bin", 65536);
    drive.target = 1;
    drive.inquiryData = simbus::MakeInquiryData("QUORVEL", "CDR-4420", "1.03");
    drive.firmware.newRevision = "1.04";
  }
  // Presses UPDATE once, then Exit when the window is idle again.
  int UpdateOnce() {
    run.bus.devices = {drive};
    run.Click(ControlId::ButtonSelect);
    run.Click(ControlId::ButtonExit);
    return run.Run();
  }
  std::vector<std::vector<std::uint8_t>> WriteBufferCdbs() const {
    std::vector<std::vector<std::uint8_t>> cdbs;
    for (const auto& e : run.Commands(kWriteBuffer)) cdbs.push_back(e.cdb);
    return cdbs;
  }

  testing::ProgramHarness run;
  std::vector<std::uint8_t> image;
  simbus::DeviceConfig drive;
};

TEST_F(UpdateTest, SendsThreeDownloadBlocksThenTheSaveAfterAPause) {
  ASSERT_EQ(UpdateOnce(), 0);

  const std::vector<std::vector<std::uint8_t>> expected = {
      {0x3B, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00},
      {0x3B, 0x04, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00},
      {0x3B, 0x04, 0x00, 0x00, 0x80, 0x00, 0x00, 0x40, 0x00, 0x00},
      {0x3B, 0x05, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x40, 0x00, 0x00},
  };
  EXPECT_EQ(WriteBufferCdbs(), expected);
  const auto blocks = run.Commands(kWriteBuffer);
  for (const auto& b : blocks) EXPECT_EQ(b.bufLen, 16384u);
  EXPECT_GE(blocks[3].time - blocks[2].time, Millis(100));

  // The drive got the image byte for byte and reports its new revision.
  const auto firmware = run.Manager().Firmware(0, 1);
  ASSERT_TRUE(firmware);
  EXPECT_EQ(firmware->validSaves, 1u);
  EXPECT_EQ(firmware->savedImage, image);

  // Progress k of 4 is shown right before block k; the last block gets no
  // progress step, so the bar never reaches 3 or 4 during the transfer.
  std::vector<std::string> sequence;
  for (const auto& line : run.Lines()) {
    if (line.rfind("progress position=", 0) == 0 || line.find("cdb=3B") != std::string::npos) {
      sequence.push_back(line);
    }
  }
  const std::string block = "bus exec ha=0 target=1 cdb=3B 0";
  const std::vector<std::string> expectedSequence = {
      "progress position=0",
      block + "4 00 00 00 00 00 40 00 00 len=16384 -> 00",
      "progress position=1",
      block + "4 00 00 40 00 00 40 00 00 len=16384 -> 00",
      "progress position=2",
      block + "4 00 00 80 00 00 40 00 00 len=16384 -> 00",
      block + "5 00 00 C0 00 00 40 00 00 len=16384 -> 00",
      "progress position=0",  // back to idle
      "progress position=0",
  };
  // The first position=0 is the one set when the update starts.
  ASSERT_FALSE(sequence.empty());
  EXPECT_EQ(std::vector<std::string>(sequence.begin() + 1, sequence.end()), expectedSequence);
}

TEST_F(UpdateTest, WindowGoesBusyThenChecksTheDriveAndReturnsToIdle) {
  std::vector<bool> idleEnabled;
  run.bus.devices = {drive};
  run.Click(ControlId::ButtonSelect);
  run.Step([&](TMainForm& form) {
    for (auto id : {ControlId::ComboBoxDrive, ControlId::ButtonSelect, ControlId::ButtonExit,
                    ControlId::CheckBox1}) {
      idleEnabled.push_back(form.State(id).enabled);
    }
    EXPECT_EQ(form.State(ControlId::ProgressBarUpdate).progressPosition, 0);
    EXPECT_EQ(form.DriveIndex(), 0);
    EXPECT_FALSE(form.FirmwareImage.Held());
    EXPECT_EQ(form.FirmwareImage.releases, 1);
  });
  run.Click(ControlId::ButtonExit);
  ASSERT_EQ(run.Run(), 0);
  EXPECT_EQ(idleEnabled, std::vector<bool>(4, true));

  const auto lines = run.ScreenLines();
  const std::vector<std::string> sequence = {
      "progress max=4",
      "enabled ComboBoxDrive=false",
      "enabled ButtonSelect=false",
      "enabled ButtonExit=false",
      "enabled CheckBox1=false",
      "progress position=0",
      "status \"Updating......\"",
      "repaint",
      "status \"Reset waiting......\"",
      "repaint",
      "status \"> 1.04\"",
      "drive-list replace 0 \"(0,1) QUORVEL CDR-4420        1.04\"",
      "drive-list select 0",
      BoxLine(PresentationKind::OutcomeBox, text::kOutcomeSuccess, 0x1040),
      "enabled ComboBoxDrive=true",
      "enabled ButtonSelect=true",
      "enabled ButtonExit=true",
      "enabled CheckBox1=true",
      "progress position=0",
      "status \"Please Select Drive and UPDATE\"",
      "repaint",
      "progress position=0",
      "repaint",
  };
  std::size_t at = 0;
  for (const auto& expected : sequence) {
    const std::size_t found = IndexOf(lines, expected, at);
    ASSERT_LT(found, lines.size()) << "missing in order: " << expected;
    at = found + 1;
  }
  // Five probes before the transfer, five after it, then one INQUIRY.
  EXPECT_EQ(run.Commands(kTestUnitReady).size(), 10u);
  EXPECT_EQ(run.Commands(kInquiry).size(), 2u);
}

TEST_F(UpdateTest, OutcomeOfEachVersionAndCheckResult) {
  struct Case {
    const char* name;
    const char* version;
    const char* newRevision;
    std::vector<Rule> rules;
    const char* outcome;
    std::uint32_t flags;
    int exitStatus;
    const char* status;  // last status line
  } cases[] = {
      {"version equals the revision",
       "1.04",
       "1.04",
       {},
       text::kOutcomeSuccess,
       0x1040,
       0,
       text::kStatusIdle},
      {"three characters compared",
       "1.0",
       "1.04",
       {},
       text::kOutcomeSuccess,
       0x1040,
       0,
       text::kStatusIdle},
      {"five characters never match",
       "1.04a",
       "1.04",
       {},
       text::kOutcomeVersion,
       0x1020,
       0,
       text::kStatusIdle},
      {"revision differs", "1.04", "1.05", {}, text::kOutcomeVersion, 0x1020, 0, text::kStatusIdle},
      {"upper and lower case differ",
       "1.0A",
       "1.0a",
       {},
       text::kOutcomeVersion,
       0x1020,
       0,
       text::kStatusIdle},
      {"a probe times out, the rest matches",
       "1.04",
       "1.04",
       {{CommandKind::TestUnitReady, 8, {Timing::Never, {}, {}, false}}},
       text::kOutcomeTimeout,
       0x1030,
       1,
       "> 1.04"},
      {"a probe times out and the inquiry fails",
       "1.04",
       "1.04",
       {{CommandKind::TestUnitReady, 8, {Timing::Never, {}, {}, false}},
        {CommandKind::Inquiry, 2, {Timing::AtOnce, {}, Ending::Status(SS_ERR), false}}},
       text::kOutcomeInquiryFail,
       0x1030,
       1,
       text::kStatusResetWaiting},
      {"a probe times out and the revision differs",
       "1.04",
       "1.05",
       {{CommandKind::TestUnitReady, 8, {Timing::Never, {}, {}, false}}},
       text::kOutcomeVersion,
       0x1020,
       0,
       text::kStatusIdle},
      {"the inquiry times out",
       "1.04",
       "1.04",
       {{CommandKind::Inquiry, 2, {Timing::Never, {}, {}, false}}},
       text::kOutcomeTimeout,
       0x1030,
       1,
       text::kStatusResetWaiting},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ProgramHarness one;
    one.WriteCatalogue(std::string("QUORVEL =fw.bin,65536,16384,") + c.version + "\n");
    one.WriteImage("fw.bin", 65536);
    auto device = drive;
    device.firmware.newRevision = c.newRevision;
    device.rules = c.rules;
    one.bus.devices = {device};
    one.Click(ControlId::ButtonSelect);
    one.Click(ControlId::ButtonExit);
    EXPECT_EQ(one.Run(), c.exitStatus);
    EXPECT_EQ(
        one.Boxes(),
        (std::vector<std::string>{BoxLine(PresentationKind::OutcomeBox, c.outcome, c.flags)}));
    const auto status = one.StatusLines();
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status.back(), "status " + headless::Quote(c.status));
    // Codes 2 and 3 end the program before the window returns to idle.
    EXPECT_EQ(Contains(one.Lines(), "window close"), c.exitStatus == 0);
  }
}

TEST(Outcome, EveryCodeHasItsBox) {
  struct Case {
    std::int32_t code;
    const char* text;
    std::uint32_t flags;
    bool ends;
  } cases[] = {
      {0, text::kOutcomeSuccess, 0x1040, false},    {1, text::kOutcomeFailed, 0x1010, false},
      {2, text::kOutcomeInquiryFail, 0x1030, true}, {3, text::kOutcomeTimeout, 0x1030, true},
      {4, text::kOutcomeVersion, 0x1020, false},    {5, text::kOutcomeFailed, 0x1010, false},
      {-1, text::kOutcomeFailed, 0x1010, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    const OutcomeBoxSpec outcome = OutcomeFor(c.code);
    EXPECT_STREQ(outcome.text, c.text);
    EXPECT_EQ(outcome.flags, c.flags);
    EXPECT_EQ(outcome.endsProgram, c.ends);
  }
}

TEST_F(UpdateTest, FailedBlockStopsTheTransferAndNeverSaves) {
  drive.rules.push_back(simbus::FailNthWriteBuffer(2, simbus::kSenseFlashWriteError));
  ASSERT_EQ(UpdateOnce(), 0);
  const auto cdbs = WriteBufferCdbs();
  ASSERT_EQ(cdbs.size(), 2u);
  for (const auto& cdb : cdbs) EXPECT_EQ(cdb[1], 4);
  EXPECT_FALSE(run.Manager().IsBricked(0, 1));
  EXPECT_EQ(
      run.Boxes(),
      (std::vector<std::string>{
          BoxLine(PresentationKind::ErrorBox, "Flash rom write error. (Code 09-85-00)", 0x1010),
          BoxLine(PresentationKind::OutcomeBox, text::kOutcomeFailed, 0x1010)}));
  const auto lines = run.Lines();
  EXPECT_FALSE(Contains(lines, "status \"Reset waiting......\""));
  // No probe and no INQUIRY after the transfer: five probes before it only.
  EXPECT_EQ(run.Commands(kTestUnitReady).size(), 5u);
  EXPECT_EQ(run.Commands(kInquiry).size(), 1u);
  // "Updating......" stays up under the outcome box.
  const auto status = run.StatusLines();
  ASSERT_GE(status.size(), 2u);
  EXPECT_EQ(status[status.size() - 2], "status \"Updating......\"");
  EXPECT_EQ(status.back(), "status \"Please Select Drive and UPDATE\"");
}

TEST_F(UpdateTest, RefusedRequestsLeaveTheWindowIdleAndSendNothing) {
  struct Case {
    const char* name;
    std::function<void(testing::ProgramHarness&)> prepare;
    std::string notice;
  } cases[] = {
      {"update enable not ticked",
       [](testing::ProgramHarness& r) { r.Click(ControlId::CheckBox1); }, text::kEnableNotTicked},
      {"image file missing",
       [](testing::ProgramHarness& r) { std::filesystem::remove(r.Dir() / "fw.bin"); },
       text::kNoFirmwareFile},
      {"image file shorter than the image size",
       [](testing::ProgramHarness& r) { r.WriteImage("fw.bin", 65535); }, text::kFirmwareTooShort},
      {"no memory for the image", [](testing::ProgramHarness& r) { r.FailAllocations(); },
       text::kNoMemory},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ProgramHarness one;
    one.WriteCatalogue("QUORVEL =fw.bin,65536,16384,1.04\n");
    one.WriteImage("fw.bin", 65536);
    one.bus.devices = {drive};
    c.prepare(one);
    std::int32_t result = -1;
    one.Click(ControlId::ButtonSelect);
    one.Step([&](TMainForm& form) {
      result = form.UpdateResult;
      EXPECT_TRUE(form.State(ControlId::ButtonSelect).enabled);
      EXPECT_FALSE(form.FirmwareImage.Held());
    });
    one.Click(ControlId::ButtonExit);
    EXPECT_EQ(one.Run(), 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(one.Boxes(),
              (std::vector<std::string>{BoxLine(PresentationKind::Notice, c.notice, 0)}));
    EXPECT_TRUE(one.Commands(kTestUnitReady).empty());
    EXPECT_TRUE(one.Commands(kWriteBuffer).empty());
    EXPECT_TRUE(one.StatusLines().empty());
  }
}

TEST_F(UpdateTest, OnlyTheImageSizeIsReadFromALongerFile) {
  run.WriteCatalogue("QUORVEL =fw.bin,65536,16384,1.04\n");
  const auto longer = run.WriteImage("fw.bin", 70000);
  ASSERT_EQ(UpdateOnce(), 0);
  const auto firmware = run.Manager().Firmware(0, 1);
  ASSERT_TRUE(firmware);
  EXPECT_EQ(firmware->savedImage,
            std::vector<std::uint8_t>(longer.begin(), longer.begin() + 65536));
}

TEST_F(UpdateTest, ImagesBeyondTheWriteBufferFieldsAreRefusedBeforeAnythingIsSent) {
  struct Case {
    const char* name;
    const char* catalogue;
  } cases[] = {
      {"a block of 16 MiB", "QUORVEL =fw.bin,67108864,16777216,1.04\n"},
      {"the last block starts at 16 MiB", "QUORVEL =fw.bin,16785408,8192,1.04\n"},
      {"a negative size wraps to nearly 4 GiB", "QUORVEL =fw.bin,-32768,8192,1.04\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ProgramHarness one;
    one.WriteCatalogue(c.catalogue);
    one.bus.devices = {drive};
    one.Click(ControlId::ButtonSelect);
    one.Click(ControlId::ButtonExit);
    EXPECT_EQ(one.Run(), 0);
    EXPECT_EQ(
        one.Boxes(),
        (std::vector<std::string>{BoxLine(PresentationKind::Notice, text::kFirmwareTooLarge, 0)}));
    EXPECT_TRUE(one.Commands(kTestUnitReady).empty());
    EXPECT_TRUE(one.Commands(kWriteBuffer).empty());
  }
}

TEST_F(UpdateTest, TwoUpdatesInARowEachReleaseTheirImage) {
  run.bus.devices = {drive};
  run.Click(ControlId::ButtonSelect);
  run.Click(ControlId::ButtonSelect);
  int releases = 0;
  run.Step([&](TMainForm& form) { releases = form.FirmwareImage.releases; });
  run.Click(ControlId::ButtonExit);
  ASSERT_EQ(run.Run(), 0);
  EXPECT_EQ(releases, 2);
  EXPECT_EQ(WriteBufferCdbs().size(), 8u);
  EXPECT_EQ(run.Manager().Firmware(0, 1)->validSaves, 2u);
  EXPECT_EQ(run.Boxes().size(), 2u);
}

class ManualUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run.WriteCatalogue("");
    drive.target = 2;
    drive.inquiryData = simbus::MakeInquiryData("QUORVEL", "CDR-4420", "1.03");
    drive.firmware.newRevision = "2.00";
    run.bus.devices = {drive};
  }
  testing::ProgramHarness run;
  simbus::DeviceConfig drive;
};

TEST_F(ManualUpdateTest, FileSizesAgainstTheChosenBlockSize) {
  struct Case {
    const char* name;
    std::size_t fileSize;
    int sizeIndex;  // 0: 8192, 1: 16384, 2: 32768
    bool accepted;
    int blocks;
  } cases[] = {
      {"four blocks of 8192", 32768, 0, true, 4},
      {"three blocks", 24576, 0, false, 0},
      {"not a multiple", 32769, 0, false, 0},
      {"1024 bytes", 1024, 0, false, 0},
      {"empty file", 0, 0, false, 0},
      {"four blocks of 16384", 65536, 1, true, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ProgramHarness one;
    one.WriteCatalogue("");
    one.bus.devices = {drive};
    one.WriteImage("fw.bin", c.fileSize);
    one.SelectItem(ControlId::ComboBoxBufferSize, c.sizeIndex);
    one.AnswerFileDialog((one.Dir() / "fw.bin").string());
    one.Click(ControlId::ButtonSelect);
    std::int32_t index = 99;
    std::uint32_t rowImage = 0;
    one.Step([&](TMainForm& form) {
      index = form.drives.DriveTable[0].CatalogueIndex;
      rowImage = form.catalogue.FirmwareCatalogue[0].ImageSize;
    });
    one.Click(ControlId::ButtonExit);
    EXPECT_EQ(one.Run(), 0);
    // Row 0 holds the sizes given, also when they were refused.
    EXPECT_EQ(rowImage, c.fileSize);
    if (c.accepted) {
      EXPECT_EQ(index, 0);
      EXPECT_TRUE(Contains(one.Lines(), "progress max=" + std::to_string(c.blocks)));
      EXPECT_EQ(one.Boxes(), (std::vector<std::string>{BoxLine(PresentationKind::OutcomeBox,
                                                               text::kOutcomeSuccess, 0x1040)}));
      EXPECT_TRUE(Contains(one.Lines(), "status \"> NON\""));
      // Through a whole manual-mode update the hidden value holders stay
      // hidden and UPDATE All stays disabled.
      for (const char* never : {"visible LabelFS=true", "visible EditFS=true",
                                "visible EditBS=true", "enabled ButtonAll=true"}) {
        EXPECT_FALSE(Contains(one.Lines(), never)) << never;
      }
    } else {
      EXPECT_EQ(index, -1);
      EXPECT_EQ(
          one.Boxes(),
          (std::vector<std::string>{BoxLine(PresentationKind::Notice, text::kManualSizeError, 0)}));
      EXPECT_TRUE(one.Commands(kWriteBuffer).empty());
    }
  }
}

TEST_F(ManualUpdateTest, CancelledDialogChangesNothing) {
  run.AnswerFileDialog(std::nullopt);
  run.Click(ControlId::ButtonSelect);
  std::int32_t index = 99;
  run.Step([&](TMainForm& form) { index = form.drives.DriveTable[0].CatalogueIndex; });
  run.Click(ControlId::ButtonExit);
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(run.Boxes(),
            (std::vector<std::string>{BoxLine(PresentationKind::Notice, text::kCancel, 0)}));
  EXPECT_TRUE(run.Commands(kTestUnitReady).empty());
}

TEST_F(ManualUpdateTest, UnopenableFileIsShownInTheExceptionBox) {
  run.AnswerFileDialog((run.Dir() / "missing.bin").string());
  run.Click(ControlId::ButtonSelect);
  run.Click(ControlId::ButtonExit);
  EXPECT_EQ(run.Run(), 0);
  const auto boxes = run.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("box exception-box \"Quorvel DRIVE firmware upgrade\"", 0), 0u);
  EXPECT_NE(boxes[0].find("missing.bin"), std::string::npos);
  EXPECT_TRUE(run.Commands(kTestUnitReady).empty());
}

TEST_F(ManualUpdateTest, FileBeyondTheWriteBufferFieldsIsRefused) {
  run.WriteImage("big.bin", 0x1000000 + 8192);
  run.AnswerFileDialog((run.Dir() / "big.bin").string());
  run.Click(ControlId::ButtonSelect);
  run.Click(ControlId::ButtonExit);
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(
      run.Boxes(),
      (std::vector<std::string>{BoxLine(PresentationKind::Notice, text::kFirmwareTooLarge, 0)}));
  EXPECT_TRUE(run.Commands(kWriteBuffer).empty());
}

}  // namespace
}  // namespace qfw
