#include "simbus/SimManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/SystemWaits.h"
#include "scsi/Cdb.h"
#include "scsi/Requests.h"
#include "simbus/RealTimeScheduler.h"
#include "simbus/VirtualTime.h"
#include "support/RecordingMessageScreen.h"
#include "support/SimBusFixture.h"
#include "ui/Texts.h"

namespace qfw::simbus {
namespace {

using namespace std::chrono_literals;
using qfw::testing::BusWith;
using qfw::testing::kDriveHa;
using qfw::testing::kDriveTarget;
using qfw::testing::PatternImage;
using qfw::testing::QuorvelDrive;
using qfw::testing::SimBus;

// An execute request built by hand, with its own event and data area.
struct RawRequest {
  RawRequest(WaitServices& waits, std::uint8_t ha, std::uint8_t target,
             std::vector<std::uint8_t> cdb, std::uint8_t* data, std::uint32_t length,
             std::uint8_t direction)
      : event(waits.CreateEvent()) {
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = ha;
    srb.SRB_Target = target;
    srb.SRB_Flags = static_cast<std::uint8_t>(SRB_EVENT_NOTIFY | direction);
    srb.SRB_BufLen = length;
    srb.SRB_BufPointer = data;
    srb.SRB_SenseLen = 16;
    srb.SRB_CDBLen = static_cast<std::uint8_t>(cdb.size());
    std::copy(cdb.begin(), cdb.end(), srb.CDBByte);
    srb.SRB_PostProc = event.get();
  }

  std::uint8_t Status() { return LoadSrbStatus(srb.SRB_Status); }
  bool Signalled() { return event->Wait(0ms) == WaitResult::Signalled; }

  SRB_ExecSCSICmd srb{};
  std::shared_ptr<Event> event;
};

std::vector<std::uint8_t> Bytes(const auto& array) {
  return std::vector<std::uint8_t>(array.begin(), array.end());
}

RawRequest TestUnitReady(WaitServices& waits) {
  return RawRequest(waits, kDriveHa, kDriveTarget, Bytes(TestUnitReadyCdb()), nullptr, 0, 0);
}

RawRequest Inquiry(WaitServices& waits, std::uint8_t* data, std::uint32_t length) {
  return RawRequest(waits, kDriveHa, kDriveTarget,
                    Bytes(InquiryCdb(static_cast<std::uint8_t>(length))), data, length, SRB_DIR_IN);
}

std::uint8_t Abort(SimManager& manager, SRB_ExecSCSICmd& srb) {
  SRB_Abort abort{};
  abort.SRB_Cmd = SC_ABORT_SRB;
  abort.SRB_HaId = srb.SRB_HaId;
  abort.SRB_ToAbort = &srb;
  return manager.SendASPI32Command(&abort);
}

Rule Always(CommandKind command, Behaviour behaviour) {
  return {command, 0, behaviour};
}

TEST(SimManager, AnswersAdapterAndDeviceTypeRequests) {
  DeviceConfig disk;
  disk.ha = 0;
  disk.target = 4;
  disk.peripheralType = 0x00;
  disk.inquiryData = MakeInquiryData("ACME", "DISK", "0001", 0x00);
  BusConfig config = BusWith({QuorvelDrive(0, 3), disk, QuorvelDrive(2, 15)}, {0, 2});
  config.supportInfo = 0x0000AA08;  // status bits above an adapter count of 8
  SimBus bus(config);
  EXPECT_EQ(bus.manager.GetASPI32SupportInfo(), 0x0000AA08u);

  const struct {
    std::uint8_t ha;
    std::uint8_t status;
  } adapters[] = {{0, SS_COMP}, {1, SS_INVALID_HA}, {2, SS_COMP}, {6, SS_INVALID_HA}};
  for (const auto& c : adapters) {
    SCOPED_TRACE(static_cast<int>(c.ha));
    SRB_HAInquiry srb{};
    srb.SRB_Cmd = SC_HA_INQUIRY;
    srb.SRB_HaId = c.ha;
    EXPECT_EQ(bus.manager.SendASPI32Command(&srb), c.status);
    EXPECT_EQ(srb.SRB_Status, c.status);
  }

  const struct {
    std::uint8_t ha, target, lun, status, type;
  } devices[] = {
      {0, 3, 0, SS_COMP, DTYPE_CDROM},  {0, 4, 0, SS_COMP, 0x00},
      {0, 5, 0, SS_NO_DEVICE, 0},       {0, 3, 1, SS_NO_DEVICE, 0},
      {2, 15, 0, SS_COMP, DTYPE_CDROM}, {1, 3, 0, SS_INVALID_HA, 0},
  };
  for (const auto& c : devices) {
    SCOPED_TRACE(std::to_string(c.ha) + "," + std::to_string(c.target) + "," +
                 std::to_string(c.lun));
    SRB_GDEVBlock srb{};
    srb.SRB_Cmd = SC_GET_DEV_TYPE;
    srb.SRB_HaId = c.ha;
    srb.SRB_Target = c.target;
    srb.SRB_Lun = c.lun;
    EXPECT_EQ(bus.manager.SendASPI32Command(&srb), c.status);
    if (c.status == SS_COMP) {
      EXPECT_EQ(srb.SRB_DeviceType, c.type);
    }
  }
}

TEST(SimManager, TimingAndEndingFollowTheRules) {
  struct Case {
    const char* name;
    Behaviour behaviour;
    std::uint8_t returned;        // by the submit
    std::uint8_t statusAtSubmit;  // SRB_Status right after the submit
    bool signalledAtSubmit;
    Millis endsAt;             // when SRB_Status leaves SS_PENDING (if it does)
    std::uint8_t finalStatus;  // SRB_Status at 10 s
    std::uint8_t targStat;
    std::array<std::uint8_t, 3> sense;  // bytes 2, 12, 13
  };
  const Case cases[] = {
      {"at once", {}, SS_PENDING, SS_COMP, true, 0ms, SS_COMP, 0, {0, 0, 0}},
      {"delayed",
       {Timing::Delayed, 500ms, {}, false},
       SS_PENDING,
       SS_PENDING,
       false,
       500ms,
       SS_COMP,
       0,
       {0, 0, 0}},
      {"never",
       {Timing::Never, 0ms, {}, false},
       SS_PENDING,
       SS_PENDING,
       false,
       0ms,
       SS_PENDING,
       0,
       {0, 0, 0}},
      {"final at once",
       {Timing::FinalAtOnce, 0ms, Ending::Status(SS_ASPI_IS_BUSY), false},
       SS_ASPI_IS_BUSY,
       SS_ASPI_IS_BUSY,
       false,
       0ms,
       SS_ASPI_IS_BUSY,
       0,
       {0, 0, 0}},
      {"final at once, signalled",
       {Timing::FinalAtOnce, 0ms, Ending::Status(SS_ASPI_IS_BUSY), true},
       SS_ASPI_IS_BUSY,
       SS_ASPI_IS_BUSY,
       true,
       0ms,
       SS_ASPI_IS_BUSY,
       0,
       {0, 0, 0}},
      {"check condition, delayed",
       {Timing::Delayed, 200ms, Ending::CheckCondition(kSenseNotReady), false},
       SS_PENDING,
       SS_PENDING,
       false,
       200ms,
       SS_COMP,
       STATUS_CHKCOND,
       {0x02, 0x04, 0x00}},
      {"manager error with sense",
       {Timing::AtOnce, 0ms, Ending::Error(kSenseFlashWriteError), false},
       SS_PENDING,
       SS_ERR,
       true,
       0ms,
       SS_ERR,
       STATUS_CHKCOND,
       {0x09, 0x85, 0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimBus bus;
    bus.manager.AddRule(kDriveHa, kDriveTarget, Always(CommandKind::TestUnitReady, c.behaviour));
    RawRequest tur = TestUnitReady(bus.time);
    EXPECT_EQ(bus.manager.SendASPI32Command(&tur.srb), c.returned);
    EXPECT_EQ(tur.Status(), c.statusAtSubmit);
    EXPECT_EQ(tur.Signalled(), c.signalledAtSubmit);
    if (c.statusAtSubmit == SS_PENDING && c.finalStatus != SS_PENDING) {
      EXPECT_EQ(tur.event->Wait(1000ms), WaitResult::Signalled);
      EXPECT_EQ(bus.time.Now(), c.endsAt);
    }
    bus.time.SleepFor(10s);
    EXPECT_EQ(tur.Status(), c.finalStatus);
    EXPECT_EQ(tur.srb.SRB_TargStat, c.targStat);
    EXPECT_EQ((std::array<std::uint8_t, 3>{tur.srb.SenseArea[2], tur.srb.SenseArea[12],
                                           tur.srb.SenseArea[13]}),
              c.sense);
    EXPECT_EQ(bus.manager.PendingCount(), c.finalStatus == SS_PENDING ? 1u : 0u);
    if (c.finalStatus == SS_PENDING) Abort(bus.manager, tur.srb);
  }
}

TEST(SimManager, AnOccurrenceRuleMatchesOnlyItsRequest) {
  SimBus bus;
  bus.manager.AddRule(kDriveHa, kDriveTarget,
                      {CommandKind::TestUnitReady, 2, {Timing::Never, 0ms, {}, false}});
  std::vector<std::uint8_t> statuses;
  for (int i = 0; i < 3; ++i) {
    RawRequest tur = TestUnitReady(bus.time);
    bus.manager.SendASPI32Command(&tur.srb);
    bus.time.SleepFor(1s);
    statuses.push_back(tur.Status());
    Abort(bus.manager, tur.srb);
  }
  EXPECT_EQ(statuses, (std::vector<std::uint8_t>{SS_COMP, SS_PENDING, SS_COMP}));
}

TEST(SimManager, InquiryWritesNoMoreThanTheDataOrTheBuffer) {
  DeviceConfig shortDrive = QuorvelDrive(kDriveHa, kDriveTarget);
  shortDrive.inquiryData.resize(20);
  const struct {
    const char* name;
    DeviceConfig drive;
    std::uint32_t bufLen;
    std::size_t written;
  } cases[] = {
      {"20 bytes of data", shortDrive, 36, 20},
      {"36 bytes of data, 8 asked", QuorvelDrive(kDriveHa, kDriveTarget), 8, 8},
      {"36 bytes of data, 36 asked", QuorvelDrive(kDriveHa, kDriveTarget), 36, 36},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimBus bus(BusWith({c.drive}));
    std::vector<std::uint8_t> area(48, '?');
    RawRequest inquiry = Inquiry(bus.time, area.data(), c.bufLen);
    bus.manager.SendASPI32Command(&inquiry.srb);
    ASSERT_EQ(inquiry.Status(), SS_COMP);
    const auto& data = c.drive.inquiryData;
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(c.written),
                           area.begin()));
    EXPECT_TRUE(std::all_of(area.begin() + static_cast<std::ptrdiff_t>(c.written), area.end(),
                            [](std::uint8_t b) { return b == '?'; }));
  }
}

TEST(SimManager, AbortEndsAPendingRequestAndALateCompletionWritesNothing) {
  SimBus bus;
  bus.manager.AddRule(kDriveHa, kDriveTarget,
                      {CommandKind::Inquiry, 1, {Timing::Never, 0ms, {}, false}});
  bus.manager.AddRule(kDriveHa, kDriveTarget,
                      {CommandKind::Inquiry, 2, {Timing::Delayed, 2000ms, {}, false}});

  for (const char* name : {"never answering", "answering late"}) {
    SCOPED_TRACE(name);
    std::vector<std::uint8_t> area(36, '?');
    RawRequest inquiry = Inquiry(bus.time, area.data(), 36);
    ASSERT_EQ(bus.manager.SendASPI32Command(&inquiry.srb), SS_PENDING);
    bus.time.SleepFor(1000ms);
    EXPECT_EQ(inquiry.Status(), SS_PENDING);
    EXPECT_EQ(bus.manager.PendingCount(), 1u);

    EXPECT_EQ(Abort(bus.manager, inquiry.srb), SS_COMP);
    EXPECT_EQ(inquiry.Status(), SS_ABORTED);
    EXPECT_EQ(bus.manager.PendingCount(), 0u);
    EXPECT_EQ(bus.time.ScheduledCount(), 0u);  // the completion was cancelled
    inquiry.event->Reset();

    bus.time.SleepFor(10s);
    EXPECT_EQ(inquiry.Status(), SS_ABORTED);
    EXPECT_FALSE(inquiry.Signalled());
    EXPECT_TRUE(std::all_of(area.begin(), area.end(), [](std::uint8_t b) { return b == '?'; }));
    // Nothing left to abort.
    EXPECT_EQ(Abort(bus.manager, inquiry.srb), SS_ABORT_FAIL);
  }
  const Counters counters = bus.manager.Count();
  EXPECT_EQ(counters.accepted, 2u);
  EXPECT_EQ(counters.aborted, 2u);
  EXPECT_EQ(counters.completed, 0u);
}

TEST(SimManager, KeepsTheEventOfAPendingRequestAlive) {
  SimBus bus;
  bus.manager.AddRule(kDriveHa, kDriveTarget,
                      Always(CommandKind::TestUnitReady, {Timing::Delayed, 500ms, {}, false}));
  RawRequest tur = TestUnitReady(bus.time);
  bus.manager.SendASPI32Command(&tur.srb);
  const std::weak_ptr<Event> event = tur.event;
  tur.event.reset();  // the caller closes its event while the request runs
  EXPECT_FALSE(event.expired());
  bus.time.SleepFor(1s);
  EXPECT_EQ(tur.Status(), SS_COMP);
  EXPECT_TRUE(event.expired());
}

TEST(SimManager, CopiesWriteBufferDataWhenTheRequestIsSubmitted) {
  DeviceConfig drive = QuorvelDrive(kDriveHa, kDriveTarget);
  drive.firmware.requireDownloadBeforeSave = false;
  drive.rules.push_back(Always(CommandKind::WriteBuffer, {Timing::Delayed, 300ms, {}, false}));
  SimBus bus(BusWith({drive}));
  const std::vector<std::uint8_t> image = PatternImage(4096);
  std::vector<std::uint8_t> data = image;
  RawRequest save(bus.time, kDriveHa, kDriveTarget, Bytes(*WriteBufferCdb(5, 0, 4096)), data.data(),
                  4096, SRB_DIR_OUT);
  ASSERT_EQ(bus.manager.SendASPI32Command(&save.srb), SS_PENDING);
  std::fill(data.begin(), data.end(), std::uint8_t{0xEE});
  bus.time.SleepFor(1s);
  ASSERT_EQ(save.Status(), SS_COMP);
  EXPECT_EQ(bus.manager.Firmware(kDriveHa, kDriveTarget)->savedImage, image);
}

// Downloads through the request layer, as the update does.
class FirmwareModelTest : public ::testing::Test {
 protected:
  static constexpr std::uint32_t B = 16384;

  struct Block {
    std::uint8_t mode;
    std::uint32_t offset;
    std::uint32_t length;
  };
  struct Case {
    const char* name;
    std::vector<Block> blocks;
    std::vector<Rule> rules;
    bool requireDownload = true;
    bool valid = true;
    const char* reason = "";  // part of the brick reason
  };

  static std::vector<Case> Cases() {
    const Rule failSecond = FailNthWriteBuffer(2, kSenseFlashWriteError);
    return {
        {"whole download", {{4, 0, B}, {4, B, B}, {4, 2 * B, B}, {5, 3 * B, B}}, {}},
        {"gap",
         {{4, 0, B}, {4, 2 * B, B}, {5, 3 * B, B}},
         {},
         true,
         false,
         "offset 32768, expected offset 16384"},
        {"wrong order",
         {{4, 0, B}, {4, 2 * B, B}, {4, B, B}, {5, 3 * B, B}},
         {},
         true,
         false,
         "expected offset 16384"},
        {"wrong length",
         {{4, 0, B}, {4, B, B / 2}, {4, B + B / 2, B / 2}, {4, 2 * B, B}, {5, 3 * B, B}},
         {},
         true,
         false,
         "expected 16384"},
        {"save at the wrong offset",
         {{4, 0, B}, {4, B, B}, {5, 3 * B, B}},
         {},
         true,
         false,
         "save"},
        {"save after a failed block",
         {{4, 0, B}, {4, B, B}, {4, 2 * B, B}, {5, 3 * B, B}},
         {failSecond},
         true,
         false,
         "offset 16384 failed"},
        {"failed save",
         {{4, 0, B}, {4, B, B}, {4, 2 * B, B}, {5, 3 * B, B}},
         {FailNthWriteBuffer(4, kSenseFlashWriteError)},
         true,
         false,
         "failed"},
        {"save without download", {{5, 0, 4 * B}}, {}, true, false, "no download"},
        {"save without download, allowed", {{5, 0, 4 * B}}, {}, false},
        {"a new download after a failed block",
         {{4, 0, B}, {4, B, B}, {4, 0, B}, {4, B, B}, {4, 2 * B, B}, {5, 3 * B, B}},
         {failSecond}},
    };
  }
};

TEST_F(FirmwareModelTest, SavesAWholeDownloadAndBricksOnABrokenOne) {
  const std::vector<std::uint8_t> image = PatternImage(4 * B);
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    DeviceConfig drive = QuorvelDrive(kDriveHa, kDriveTarget, "CDR-4420", "1.00", "1.10");
    drive.firmware.requireDownloadBeforeSave = c.requireDownload;
    drive.rules = c.rules;
    SimBus bus(BusWith({drive}));
    bus.requests.SetFirmwareImage(image.data(), image.size());
    for (const Block& block : c.blocks) {
      bus.requests.WriteBufferBlock(kDriveHa, kDriveTarget, block.length, block.offset, block.mode);
    }

    const FirmwareState state = *bus.manager.Firmware(kDriveHa, kDriveTarget);
    EXPECT_EQ(state.blocks.size(), c.blocks.size());
    EXPECT_EQ(state.bricked, !c.valid);
    EXPECT_EQ(bus.manager.IsBricked(kDriveHa, kDriveTarget), !c.valid);
    EXPECT_NE(state.brickReason.find(c.reason), std::string::npos) << state.brickReason;
    bus.screen.Clear();
    bus.requests.FillInquiryBuffer();
    const int inquiry = bus.requests.InquiryDevice(kDriveHa, kDriveTarget, 36);
    if (c.valid) {
      EXPECT_EQ(state.validSaves, 1u);
      EXPECT_TRUE(state.savedImage == image) << "saved image differs";
      EXPECT_EQ(inquiry, 0);
      EXPECT_EQ(bus.requests.InquiryText(), "QUORVEL CDR-4420        1.10");
    } else {
      EXPECT_EQ(state.validSaves, 0u);
      EXPECT_TRUE(state.savedImage.empty());
      // A bricked drive no longer answers on the bus.
      EXPECT_EQ(inquiry, 1);
      EXPECT_EQ(bus.screen.Texts(), std::vector<std::string>{"HA_Status: Selection Timeout."});
    }
  }
}

TEST_F(FirmwareModelTest, CanAnswerABrokenOrderWithSense) {
  DeviceConfig drive = QuorvelDrive(kDriveHa, kDriveTarget);
  drive.firmware.sequenceErrorSense = kSenseFirmwareDataError;
  SimBus bus(BusWith({drive}));
  const std::vector<std::uint8_t> image = PatternImage(4 * B);
  bus.requests.SetFirmwareImage(image.data(), image.size());
  EXPECT_EQ(bus.requests.WriteBufferBlock(kDriveHa, kDriveTarget, B, 0, 4), 0);
  EXPECT_EQ(bus.requests.WriteBufferBlock(kDriveHa, kDriveTarget, B, 2 * B, 4), 1);
  EXPECT_EQ(bus.screen.Texts(), std::vector<std::string>{"Firmware data error. (Code 09-87-00)"});
}

TEST(SimManager, LogsEveryRequest) {
  SimBus bus;
  const std::vector<std::uint8_t> image = PatternImage(131072);
  bus.requests.SetFirmwareImage(image.data(), image.size());
  bus.manager.AddRule(kDriveHa, kDriveTarget,
                      Always(CommandKind::TestUnitReady, {Timing::Never, 0ms, {}, false}));

  bus.requests.HostAdapterInquiry(1);
  bus.requests.IsCdRomDevice(0, 3);
  bus.requests.TestUnitReady(0, 3);  // times out and is aborted
  bus.requests.InquiryDevice(0, 3, 36);
  bus.requests.WriteBufferBlock(0, 3, 32768, 65536, 4);
  bus.requests.ResetDevice(0, 3);

  std::vector<std::string> lines;
  for (const LogEntry& entry : bus.manager.Log()) lines.push_back(Describe(entry));
  const std::vector<std::string> expected{
      "HA_INQUIRY ha=1 -> 81",
      "GET_DEV_TYPE ha=0 target=3 lun=0 -> 01",
      "EXEC ha=0 target=3 lun=0 flags=40 cdb=00 00 00 00 00 00 buflen=0 -> 00",
      "ABORT ha=0 -> 01",
      "EXEC ha=0 target=3 lun=0 flags=48 cdb=12 00 00 00 24 00 buflen=36 -> 00",
      "EXEC ha=0 target=3 lun=0 flags=50 cdb=3B 04 00 01 00 00 00 80 00 00 buflen=32768 "
      "mode=4 offset=65536 length=32768 -> 00",
      "RESET_DEV ha=0 target=3 lun=0 -> 00",
  };
  EXPECT_EQ(lines, expected);

  const std::vector<LogEntry> log = bus.manager.Log();
  EXPECT_EQ(log[3].abortTarget, log[2].srb);
  EXPECT_EQ(log[3].time, 1000ms);
  EXPECT_EQ(log[5].writeBuffer, (WriteBufferFields{4, 65536, 32768}));
}

// In real time the requests end on the scheduler's thread while the caller
// waits, polls or aborts on its own.
TEST(SimManagerRealTime, AbortRacesWithTheCompletionSafely) {
  RealTimeScheduler scheduler;
  SystemWaits waits;
  DeviceConfig drive = QuorvelDrive(kDriveHa, kDriveTarget);
  drive.rules.push_back(Always(CommandKind::Inquiry, {Timing::Delayed, 1ms, {}, false}));
  SimManager manager(BusWith({drive}), scheduler);
  int aborted = 0;
  int completed = 0;
  for (int i = 0; i < 200; ++i) {
    std::vector<std::uint8_t> area(36, '?');
    RawRequest inquiry = Inquiry(waits, area.data(), 36);
    ASSERT_EQ(manager.SendASPI32Command(&inquiry.srb), SS_PENDING);
    if (i % 2 == 0) inquiry.event->Wait(Millis{i % 3});
    if (Abort(manager, inquiry.srb) == SS_COMP) {
      ++aborted;
      EXPECT_EQ(inquiry.Status(), SS_ABORTED);
      EXPECT_TRUE(std::all_of(area.begin(), area.end(), [](std::uint8_t b) { return b == '?'; }));
    } else {
      ++completed;
      EXPECT_EQ(inquiry.Status(), SS_COMP);
      EXPECT_EQ(area, drive.inquiryData);
    }
  }
  EXPECT_EQ(manager.PendingCount(), 0u);
  EXPECT_EQ(aborted + completed, 200);
}

TEST(SimManagerRealTime, ADownloadThroughTheRequestLayer) {
  RealTimeScheduler scheduler;
  SystemWaits waits;
  DeviceConfig drive = QuorvelDrive(kDriveHa, kDriveTarget, "CDR-4420", "1.00", "2.00");
  drive.rules.push_back(Always(CommandKind::WriteBuffer, {Timing::Delayed, 2ms, {}, false}));
  drive.rules.push_back(Always(CommandKind::Inquiry, {Timing::Delayed, 1ms, {}, false}));
  SimManager manager(BusWith({drive}), scheduler);
  qfw::testing::RecordingMessageScreen screen;
  Messages messages(screen);
  RequestLayer requests(manager, waits, messages);
  const std::vector<std::uint8_t> image = PatternImage(4 * 8192);
  requests.SetFirmwareImage(image.data(), image.size());
  for (std::uint32_t block = 0; block < 4; ++block) {
    const std::uint8_t mode = block < 3 ? 4 : 5;
    ASSERT_EQ(requests.WriteBufferBlock(kDriveHa, kDriveTarget, 8192, block * 8192, mode), 0);
  }
  requests.FillInquiryBuffer();
  ASSERT_EQ(requests.InquiryDevice(kDriveHa, kDriveTarget, 36), 0);
  EXPECT_EQ(requests.InquiryText(), "QUORVEL CDR-4420        2.00");
  EXPECT_EQ(manager.Firmware(kDriveHa, kDriveTarget)->savedImage, image);
  EXPECT_TRUE(screen.Events().empty());
}

}  // namespace
}  // namespace qfw::simbus
