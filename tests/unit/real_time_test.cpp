// One whole update in real time on the headless screen: real events and
// waits, a simulated drive answering from a timer thread. Every other update
// test runs in virtual time; this one shows that the threads, the hand-off and
// the waits also hold together when time really passes.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "headless/HeadlessSession.h"
#include "platform/SystemWaits.h"
#include "simbus/RealTimeScheduler.h"
#include "simbus/SimManager.h"
#include "support/ProgramHarness.h"
#include "ui/Texts.h"

namespace qfw {
namespace {

TEST(RealTime, WholeUpdateWithDelayedBlocksEndsInSuccess) {
  testing::ProgramHarness files;  // only for its scratch directory and image writer
  files.WriteCatalogue("QUORVEL =fw.bin,65536,16384,1.04\n");
  const auto image = files.WriteImage("fw.bin", 65536);

  simbus::BusConfig bus;
  simbus::DeviceConfig drive;
  drive.target = 1;
  drive.inquiryData = simbus::MakeInquiryData("QUORVEL", "CDR-4420", "1.03");
  drive.firmware.newRevision = "1.04";
  drive.rules.push_back(
      {simbus::CommandKind::WriteBuffer, 0, {simbus::Timing::Delayed, Millis(20), {}, false}});
  bus.devices = {drive};

  SystemWaits waits;
  simbus::RealTimeScheduler scheduler;
  simbus::SimManager manager(bus, scheduler);
  headless::HeadlessSession session(files.Dir());
  session.Step([](TMainForm& form) { form.UserClick(ControlId::ButtonSelect); });
  session.Step([](TMainForm& form) { form.UserClick(ControlId::ButtonExit); });

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(session.RunProgram(manager, waits), 0);
  const auto elapsed = std::chrono::steady_clock::now() - start;

  // The one-second rest after the transfer and the 100 ms pause really pass.
  EXPECT_GE(elapsed, std::chrono::milliseconds(1100));
  const auto boxes = session.transcript().LinesStartingWith("box ");
  EXPECT_EQ(boxes, (std::vector<std::string>{testing::BoxLine(PresentationKind::OutcomeBox,
                                                              text::kOutcomeSuccess, 0x1040)}));
  const auto firmware = manager.Firmware(0, 1);
  ASSERT_TRUE(firmware);
  EXPECT_EQ(firmware->savedImage, image);
  EXPECT_FALSE(firmware->bricked);
}

}  // namespace
}  // namespace qfw
