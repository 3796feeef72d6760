#include "scsi/Requests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "support/SimBusFixture.h"
#include "ui/Texts.h"

namespace qfw {
namespace {

using namespace std::chrono_literals;
using simbus::Behaviour;
using simbus::CommandKind;
using simbus::Ending;
using simbus::Timing;
using testing::kDriveHa;
using testing::kDriveTarget;
using testing::SimBus;

constexpr auto kHa = kDriveHa;
constexpr auto kTarget = kDriveTarget;

Behaviour Delayed(Millis delay, std::optional<Ending> ending = std::nullopt) {
  return {Timing::Delayed, delay, ending, false};
}
Behaviour Never() {
  return {Timing::Never, 0ms, std::nullopt, false};
}
Behaviour AtOnce(Ending ending) {
  return {Timing::AtOnce, 0ms, ending, false};
}
Behaviour FinalAtOnce(Ending ending, bool signal = false) {
  return {Timing::FinalAtOnce, 0ms, ending, signal};
}

void SetRule(SimBus& bus, CommandKind command, Behaviour behaviour) {
  ASSERT_TRUE(bus.manager.AddRule(kHa, kTarget, {command, 0, behaviour}));
}

std::vector<std::string> Texts(std::initializer_list<const char*> texts) {
  return {texts.begin(), texts.end()};
}

// After any request, the program and the manager have let go of every event
// and nothing is left in the manager's hands.
void ExpectNothingLeft(SimBus& bus) {
  EXPECT_EQ(bus.time.LiveEventCount(), 0);
  EXPECT_EQ(bus.manager.PendingCount(), 0u);
}

TEST(Requests, IsCdRomDeviceWantsACdRomAnsweringAtLunZero) {
  simbus::DeviceConfig disk = testing::QuorvelDrive(0, 4);
  disk.peripheralType = 0x00;
  SimBus bus(testing::BusWith({testing::QuorvelDrive(0, 3), disk}));
  const struct {
    std::uint8_t ha, target;
    int expected;
  } cases[] = {{0, 3, 0}, {0, 4, 1}, {0, 5, 1}, {1, 3, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.ha) + "," + std::to_string(c.target));
    EXPECT_EQ(bus.requests.IsCdRomDevice(c.ha, c.target), c.expected);
  }
  EXPECT_EQ(bus.requests.HostAdapterInquiry(0), SS_COMP);
  EXPECT_EQ(bus.requests.HostAdapterInquiry(1), SS_INVALID_HA);
}

TEST(Requests, TestUnitReadyTellsOnlyWhetherTheManagerAnsweredInTime) {
  struct Case {
    const char* name;
    Behaviour behaviour;
    int expected;
    Millis elapsed;
    int waits;
  };
  const Case cases[] = {
      {"good at once", {}, 0, 0ms, 1},
      {"check condition within the second",
       Delayed(300ms, Ending::CheckCondition(simbus::kSenseNotReady)), 0, 300ms, 1},
      {"adapter error within the second", Delayed(999ms, Ending::Adapter(HASTAT_SEL_TO)), 0, 999ms,
       1},
      {"final status at once", FinalAtOnce(Ending::Status(SS_ERR)), 0, 0ms, 0},
      {"no answer within the second", Delayed(1001ms), 2, 1000ms, 1},
      {"never answered", Never(), 2, 1000ms, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimBus bus;
    SetRule(bus, CommandKind::TestUnitReady, c.behaviour);
    EXPECT_EQ(bus.requests.TestUnitReady(kHa, kTarget), c.expected);
    EXPECT_EQ(bus.time.Now(), c.elapsed);
    EXPECT_EQ(bus.time.WaitCount(), c.waits);
    EXPECT_TRUE(bus.screen.Events().empty());
    ExpectNothingLeft(bus);
  }
}

TEST(Requests, InquiryDeviceWaitsThreeSecondsInEitherCase) {
  struct Case {
    const char* name;
    Behaviour behaviour;
    int expected;
    Millis elapsed;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {"good at once", {}, 0, 0ms, {}},
      {"good just in time", Delayed(2999ms), 0, 2999ms, {}},
      {"no answer within three seconds", Delayed(3001ms), 2, 3000ms, {}},
      {"never answered", Never(), 2, 3000ms, {}},
      {"final status at once, not signalled",
       FinalAtOnce(Ending::CheckCondition(simbus::kSenseFlashWriteError)),
       2,
       3000ms,
       {}},
      {"final status at once, signalled", FinalAtOnce(Ending::Status(SS_NO_DEVICE), true), 1, 0ms,
       Texts({"SCSI device not installed."})},
      {"silent failure", AtOnce(Ending::CheckCondition({0x09, 0x83, 0x00})), 1, 0ms, {}},
      {"failure with a message", Delayed(10ms, Ending::Adapter(HASTAT_BUS_RESET)), 1, 10ms,
       Texts({"HA_Status: A bus reset was detected."})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimBus bus;
    SetRule(bus, CommandKind::Inquiry, c.behaviour);
    bus.requests.FillInquiryBuffer();
    EXPECT_EQ(bus.requests.InquiryDevice(kHa, kTarget, kInquiryLength), c.expected);
    EXPECT_EQ(bus.time.Now(), c.elapsed);
    EXPECT_EQ(bus.screen.Texts(), c.boxes);
    if (c.expected == 0) {
      EXPECT_EQ(bus.requests.InquiryText(), "QUORVEL CDR-4420        1.00");
    }
    ExpectNothingLeft(bus);
  }
}

TEST(Requests, WriteBufferBlockWaitsUntilTheRequestHasEnded) {
  struct Case {
    const char* name;
    Behaviour behaviour;
    int expected;
    Millis elapsed;
    int waits;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {"good at once", {}, 0, 0ms, 1, {}},
      {"good within the first wait", Delayed(300ms), 0, 300ms, 1, {}},
      {"good long after the first wait", Delayed(5000ms), 0, 5000ms, 1, {}},
      {"failure long after the first wait",
       Delayed(4321ms, Ending::CheckCondition(simbus::kSenseFlashChecksumError)), 1, 4325ms, 1,
       Texts({"Flash rom check sum error. (Code 09-86-00)"})},
      {"final failure at once", FinalAtOnce(Ending::Error(simbus::kSenseFlashWriteError)), 1, 0ms,
       0, Texts({"Flash rom write error. (Code 09-85-00)"})},
      {"final success at once", FinalAtOnce(Ending::Good()), 0, 0ms, 0, {}},
      {"final at once, signalled anyway", FinalAtOnce(Ending::Status(SS_ASPI_IS_BUSY), true), 1,
       0ms, 0, Texts({"No resources available to execute cmd."})},
  };
  const std::vector<std::uint8_t> image = testing::PatternImage(4 * 32768);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimBus bus;
    SetRule(bus, CommandKind::WriteBuffer, c.behaviour);
    bus.requests.SetFirmwareImage(image.data(), image.size());
    EXPECT_EQ(bus.requests.WriteBufferBlock(kHa, kTarget, 32768, 0, 4), c.expected);
    EXPECT_EQ(bus.time.Now(), c.elapsed);
    EXPECT_EQ(bus.time.WaitCount(), c.waits);
    EXPECT_EQ(bus.screen.Texts(), c.boxes);
    ExpectNothingLeft(bus);
  }
}

TEST(Requests, WriteBufferBlockRefusesWhatTheCommandCannotCarry) {
  const std::vector<std::uint8_t> image = testing::PatternImage(65536);
  const struct {
    const char* name;
    bool withImage;
    std::uint32_t length, offset;
  } cases[] = {
      {"offset beyond 24 bits", true, 16384, 0x1000000},
      {"length beyond 24 bits", true, 0x1000000, 0},
      {"block past the end of the image", true, 16384, 65536 - 8192},
      {"offset past the end of the image", true, 16384, 0xFFFFF0},
      {"no image", false, 16384, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimBus bus;
    if (c.withImage) bus.requests.SetFirmwareImage(image.data(), image.size());
    EXPECT_EQ(bus.requests.WriteBufferBlock(kHa, kTarget, c.length, c.offset, 4), 1);
    EXPECT_TRUE(bus.manager.Log().empty());
    EXPECT_TRUE(bus.screen.Events().empty());
    EXPECT_EQ(bus.time.CreatedEventCount(), 0);
  }
}

// Sees each execute block as it is submitted.
class CapturingManager final : public AspiManager {
 public:
  explicit CapturingManager(AspiManager& inner) : inner_(inner) {}
  std::uint32_t GetASPI32SupportInfo() override { return inner_.GetASPI32SupportInfo(); }
  std::uint8_t SendASPI32Command(void* srb) override {
    if (SrbCommandOf(srb) == SC_EXEC_SCSI_CMD) {
      blocks.push_back(*static_cast<SRB_ExecSCSICmd*>(srb));
    }
    return inner_.SendASPI32Command(srb);
  }
  std::vector<SRB_ExecSCSICmd> blocks;

 private:
  AspiManager& inner_;
};

TEST(Requests, FillTheExecuteBlockFieldByField) {
  SimBus bus;
  CapturingManager capture(bus.manager);
  RequestLayer requests(capture, bus.time, bus.messages);
  const std::vector<std::uint8_t> image = testing::PatternImage(4 * 32768);
  requests.SetFirmwareImage(image.data(), image.size());

  ASSERT_EQ(requests.TestUnitReady(kHa, kTarget), 0);
  ASSERT_EQ(requests.InquiryDevice(kHa, kTarget, 36), 0);
  ASSERT_EQ(requests.WriteBufferBlock(kHa, kTarget, 32768, 65536, 4), 0);
  ASSERT_EQ(capture.blocks.size(), 3u);

  struct Expected {
    const char* name;
    std::uint8_t flags;
    std::uint32_t bufLen;
    const std::uint8_t* bufPointer;
    std::vector<std::uint8_t> cdb;
  };
  const Expected expected[] = {
      {"TEST UNIT READY", 0x40, 0, nullptr, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
      {"INQUIRY", 0x48, 36, requests.InquiryBuffer.data(), {0x12, 0x00, 0x00, 0x00, 0x24, 0x00}},
      {"WRITE BUFFER",
       0x50,
       32768,
       image.data() + 65536,
       {0x3B, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00}},
  };
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(expected[i].name);
    const SRB_ExecSCSICmd& srb = capture.blocks[i];
    // Every field the table does not name is zero.
    SRB_ExecSCSICmd want{};
    want.SRB_Cmd = SC_EXEC_SCSI_CMD;
    want.SRB_HaId = kHa;
    want.SRB_Flags = expected[i].flags;
    want.SRB_Target = kTarget;
    want.SRB_Lun = 0;
    want.SRB_BufLen = expected[i].bufLen;
    want.SRB_BufPointer = const_cast<std::uint8_t*>(expected[i].bufPointer);
    want.SRB_SenseLen = 0x10;
    want.SRB_CDBLen = static_cast<std::uint8_t>(expected[i].cdb.size());
    want.SRB_PostProc = srb.SRB_PostProc;
    std::copy(expected[i].cdb.begin(), expected[i].cdb.end(), want.CDBByte);
    EXPECT_NE(srb.SRB_PostProc, nullptr);
    EXPECT_EQ(std::memcmp(&srb, &want, sizeof srb), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(srb.CDBByte, srb.CDBByte + sizeof srb.CDBByte), [&] {
      std::vector<std::uint8_t> cdb = expected[i].cdb;
      cdb.resize(16, 0);
      return cdb;
    }());
  }
  // The data the drive received are the image's bytes at the offset.
  const auto state = bus.manager.Firmware(kHa, kTarget);
  ASSERT_TRUE(state);
  EXPECT_EQ(state->blocks.back().fields, (simbus::WriteBufferFields{4, 65536, 32768}));
}

TEST(Requests, WithoutAnEventNothingIsSubmitted) {
  const std::vector<std::uint8_t> image = testing::PatternImage(65536);
  const struct {
    const char* name;
    int (*request)(RequestLayer&);
  } cases[] = {
      {"TEST UNIT READY", [](RequestLayer& r) { return r.TestUnitReady(kHa, kTarget); }},
      {"INQUIRY", [](RequestLayer& r) { return r.InquiryDevice(kHa, kTarget, 36); }},
      {"WRITE BUFFER",
       [](RequestLayer& r) { return r.WriteBufferBlock(kHa, kTarget, 16384, 0, 4); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimBus bus;
    bus.requests.SetFirmwareImage(image.data(), image.size());
    bus.time.FailEventCreations(1);
    EXPECT_EQ(c.request(bus.requests), 1);
    EXPECT_EQ(bus.screen.Events(),
              (std::vector<std::string>{
                  "beep", std::string("error-box [") + text::kBoxTitle + "] " + text::kNoEvent}));
    EXPECT_TRUE(bus.manager.Log().empty());
    EXPECT_EQ(bus.time.Now(), 0ms);
  }
}

TEST(Requests, PausesWaitTheirTimeOrNothingWithoutAnEvent) {
  SimBus bus;
  bus.requests.WaitOneSecond();
  EXPECT_EQ(bus.time.Now(), 1000ms);
  bus.requests.WaitTenthSecond();
  EXPECT_EQ(bus.time.Now(), 1100ms);
  bus.time.FailEventCreations(simbus::VirtualTime::kEveryCreation);
  bus.requests.WaitOneSecond();
  bus.requests.WaitTenthSecond();
  EXPECT_EQ(bus.time.Now(), 1100ms);
  EXPECT_TRUE(bus.screen.Events().empty());
  EXPECT_EQ(bus.time.LiveEventCount(), 0);
}

TEST(Requests, ARequestThatEndsAfterItsCallerTimedOutWritesNothing) {
  SimBus bus;
  SetRule(bus, CommandKind::Inquiry, Delayed(5000ms));
  bus.requests.FillInquiryBuffer();
  EXPECT_EQ(bus.requests.InquiryDevice(kHa, kTarget, 36), 2);
  const auto before = bus.requests.InquiryBuffer;
  bus.time.SleepFor(10s);
  EXPECT_TRUE(bus.requests.InquiryBuffer == before);
  EXPECT_EQ(bus.requests.InquiryText(), std::string(28, '?'));

  // The static TEST UNIT READY block: the late request is ended before the
  // call returns, and the next call's request is the only one that completes.
  bus.manager.AddRule(kHa, kTarget, {CommandKind::TestUnitReady, 1, Delayed(2000ms)});
  EXPECT_EQ(bus.requests.TestUnitReady(kHa, kTarget), 2);
  bus.time.SleepFor(10s);
  EXPECT_EQ(bus.requests.TestUnitReady(kHa, kTarget), 0);

  const simbus::Counters counters = bus.manager.Count();
  EXPECT_EQ(counters.aborted, 2u);
  EXPECT_EQ(counters.completed, 1u);
  const auto log = bus.manager.Log();
  std::vector<const void*> aborted;
  for (const auto& entry : log) {
    if (entry.command == SC_ABORT_SRB) aborted.push_back(entry.abortTarget);
  }
  ASSERT_EQ(aborted.size(), 2u);
  EXPECT_EQ(aborted[0], log[0].srb);  // the INQUIRY
  EXPECT_EQ(aborted[1], log[2].srb);  // the first TEST UNIT READY
  ExpectNothingLeft(bus);
}

TEST(Requests, InquiryTextStopsAtTwentyEightCharactersAndShowsTheFill) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> data;
    bool scribbleAfterData;  // bytes 36 to 43 of the buffer are not zero
    std::string expected;
  };
  const auto full = simbus::MakeInquiryData("QUORVEL", "CDR-4420", "1.00");
  auto shortData = full;
  shortData.resize(20);
  auto withNul = full;
  withNul[20] = 0;
  const Case cases[] = {
      {"full answer", full, false, "QUORVEL CDR-4420        1.00"},
      {"full answer, bytes after it written", full, true, "QUORVEL CDR-4420        1.00"},
      {"short answer", shortData, false, "QUORVEL CDR-????????????????"},
      {"NUL in the product", withNul, false, "QUORVEL CDR-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    simbus::DeviceConfig drive = testing::QuorvelDrive(kHa, kTarget);
    drive.inquiryData = c.data;
    SimBus bus(testing::BusWith({drive}));
    if (c.scribbleAfterData) std::fill_n(bus.requests.InquiryBuffer.begin() + 36, 8, 'X');
    bus.requests.FillInquiryBuffer();
    ASSERT_EQ(bus.requests.InquiryDevice(kHa, kTarget, 36), 0);
    EXPECT_EQ(bus.requests.InquiryText(), c.expected);
    EXPECT_LE(bus.requests.InquiryText().size(), 28u);
  }
}

}  // namespace
}  // namespace qfw
