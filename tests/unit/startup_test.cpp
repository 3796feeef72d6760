// Every way the program can end at start-up or through Exit, with the boxes
// the user sees in order and the exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/Application.h"
#include "support/ProgramHarness.h"
#include "ui/Texts.h"

namespace qfw {
namespace {

using testing::BoxLine;

simbus::DeviceConfig Drive(std::uint8_t target) {
  simbus::DeviceConfig d;
  d.target = target;
  d.inquiryData = simbus::MakeInquiryData("QUORVEL", "CDR-4420", "1.03");
  return d;
}

std::vector<std::string> BeepsAndBoxes(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) {
    if (l == "beep" || l.rfind("box ", 0) == 0) out.push_back(l);
  }
  return out;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(StartUp, EveryEndShowsItsBoxesInOrderAndItsStatus) {
  const std::string error = BoxLine(PresentationKind::ErrorBox, text::kNoDrive, 0x1010);
  struct Case {
    const char* name;
    std::optional<std::string> catalogue;  // nothing: no file
    std::uint32_t supportInfo;
    std::vector<simbus::DeviceConfig> devices;
    std::vector<std::string> expected;  // beeps and boxes
    bool shown;
    int supportInfoCalls;
  } cases[] = {
      {"no catalogue file",
       std::nullopt,
       1,
       {Drive(0)},
       {BoxLine(PresentationKind::Notice, text::kCatalogueError, 0)},
       false,
       0},
      {"malformed catalogue",
       std::string("[section]\n"),
       1,
       {Drive(0)},
       {BoxLine(PresentationKind::Notice, text::kCatalogueError, 0)},
       false,
       0},
      {"no host adapter",
       std::string("QUORVEL=a.bin,32768,8192,1.04\n"),
       0x0100,  // status bits set, count 0
       {Drive(0)},
       {"beep", BoxLine(PresentationKind::ErrorBox, text::kNoHostAdapter, 0x1010), "beep", error},
       false,
       1},
      {"adapters but no listed drive",
       std::string("OTHER=a.bin,32768,8192,1.04\n"),
       1,
       {Drive(0)},
       {"beep", error},
       false,
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ProgramHarness run;
    if (c.catalogue) run.WriteCatalogue(*c.catalogue);
    run.bus.supportInfo = c.supportInfo;
    run.bus.devices = c.devices;
    EXPECT_EQ(run.Run(), 0);
    const auto lines = run.Lines();
    EXPECT_EQ(BeepsAndBoxes(lines), c.expected);
    EXPECT_EQ(Contains(lines, "window show"), c.shown);
    EXPECT_EQ(run.SupportInfoCalls(), c.supportInfoCalls);
    if (c.supportInfoCalls == 0) {
      EXPECT_TRUE(run.Manager().Log().empty());
    }
  }
}

TEST(StartUp, OneDriveShowsTheWindowWithItSelectedAndExitEndsWithZero) {
  testing::ProgramHarness run;
  run.WriteCatalogue("QUORVEL=a.bin,32768,8192,1.04\n");
  run.bus.devices = {Drive(3)};
  run.Click(ControlId::ButtonExit);
  EXPECT_EQ(run.Run(), 0);
  const auto lines = run.Lines();
  const auto show = std::find(lines.begin(), lines.end(), "window show");
  const auto added = std::find(lines.begin(), lines.end(),
                               "drive-list add \"(0,3) QUORVEL CDR-4420        1.03\"");
  const auto selected = std::find(lines.begin(), lines.end(), "drive-list select 0");
  ASSERT_NE(show, lines.end());
  // Nothing is visible before the scan has finished.
  EXPECT_LT(added, show);
  EXPECT_LT(selected, show);
  EXPECT_TRUE(Contains(lines, "window close"));
  EXPECT_TRUE(run.Boxes().empty());
  EXPECT_EQ(lines.back(), "exit 0");
}

TEST(StartUp, EmptyCatalogueSwitchesToManualModeBeforeTheWindowShows) {
  testing::ProgramHarness run;
  run.WriteCatalogue("");
  run.bus.devices = {Drive(0)};
  std::vector<std::pair<bool, bool>> states;  // enabled, visible
  run.Step([&](TMainForm& form) {
    for (auto id : {ControlId::LabelBS, ControlId::ComboBoxBufferSize, ControlId::LabelFS,
                    ControlId::EditFS, ControlId::EditBS, ControlId::ButtonAll}) {
      states.emplace_back(form.State(id).enabled, form.State(id).visible);
    }
    EXPECT_EQ(form.State(ControlId::ComboBoxBufferSize).itemIndex, 0);
    EXPECT_EQ(form.State(ControlId::EditBS).text, "8192");
  });
  run.Click(ControlId::ButtonExit);
  EXPECT_EQ(run.Run(), 0);
  const std::vector<std::pair<bool, bool>> expected = {{true, true},  {true, true},  {false, false},
                                                       {true, false}, {true, false}, {false, true}};
  EXPECT_EQ(states, expected);
}

TEST(StartUp, FailureEscapingTheCreationHandlerIsShownAndEndsTheProgram) {
  testing::ProgramHarness run;
  run.WriteCatalogue("QUORVEL=a.bin,32768,8192,1.04\n");
  run.bus.devices = {Drive(0)};
  ThreadRegistry registry;
  // An allocation failure while the list is filled is the platform's; model
  // it with a manager that throws.
  struct Throwing final : AspiManager {
    std::uint32_t GetASPI32SupportInfo() override { throw std::bad_alloc(); }
    std::uint8_t SendASPI32Command(void*) override { return SS_NO_DEVICE; }
  } manager;
  headless::Transcript transcript;
  headless::HeadlessUiThread ui(registry);
  headless::HeadlessScreen screen(transcript, ui);
  simbus::VirtualTime time;
  Platform platform{manager, time, screen, screen, ui, registry, run.Dir(), {}, {}};
  EXPECT_EQ(ProgramMain(platform), 0);
  const auto boxes = transcript.LinesStartingWith("box ");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], BoxLine(PresentationKind::ExceptionBox, "std::bad_alloc.", 0x0010));
}

}  // namespace
}  // namespace qfw
