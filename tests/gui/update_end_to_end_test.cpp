// A whole firmware update in the live window, in real time: the program runs
// as the product does, over a simulated drive that answers at a drive's pace,
// and a user clicks UPDATE, watches the bar and the status line, closes the
// outcome box and leaves. Every outcome and timing rule is covered in virtual
// time elsewhere; these runs show that the pieces hold together on Qt's event
// loop with real threads and real waits.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "GuiSupport.h"
#include "app/Application.h"
#include "catalogue/Catalogue.h"
#include "platform/SystemWaits.h"
#include "platform/Thread.h"
#include "qt/QtMainWindow.h"
#include "qt/QtMessageScreen.h"
#include "qt/QtUiThread.h"
#include "simbus/RealTimeScheduler.h"
#include "simbus/SimConfig.h"
#include "simbus/SimManager.h"
#include "ui/Mainunit.h"
#include "ui/Texts.h"

namespace qfw::qt {
namespace {

using namespace std::chrono_literals;
using testing::BoxAnswerer;
using testing::Q;
using testing::SeenBox;
using enum ControlId;

constexpr std::uint8_t kHa = 0;
constexpr std::uint8_t kTarget = 1;
constexpr std::size_t kImageSize = 65536;  // four blocks of 16384
constexpr const char* kLineBefore = "(0,1) QUORVEL CDR-4420        1.03";
constexpr const char* kLineAfter = "(0,1) QUORVEL CDR-4420        1.04";

// What the window showed at one paint of the progress bar or the status line.
struct Frame {
  int progress;
  std::string status;
  bool busy;  // the drive list, UPDATE, Exit and the check box all disabled

  bool operator==(const Frame&) const = default;
};

// The user: each step acts once its condition holds, checked every few ms.
struct UserStep {
  std::function<bool()> ready;
  std::function<void()> act;
};

template <class T>
std::vector<T> Collapsed(const std::vector<Frame>& frames, T Frame::*field) {
  std::vector<T> values;
  for (const Frame& frame : frames) {
    if (values.empty() || values.back() != frame.*field) values.push_back(frame.*field);
  }
  return values;
}

class RealTimeUpdateTest : public ::testing::Test {
 protected:
  RealTimeUpdateTest() {
    EXPECT_TRUE(dir.isValid());
    WriteFile(kCatalogueFileName, "QUORVEL =fw.bin,65536,16384,1.04\n");
    image.resize(kImageSize);
    for (std::size_t i = 0; i < kImageSize; ++i) {
      image[i] = static_cast<std::uint8_t>((i * 7 + (i >> 14) * 13 + 1) & 0xFF);
    }
    WriteFile("fw.bin", std::string(image.begin(), image.end()));

    simbus::DeviceConfig drive;
    drive.ha = kHa;
    drive.target = kTarget;
    drive.inquiryData = simbus::MakeInquiryData("QUORVEL", "CDR-4420", "1.03");
    drive.firmware.newRevision = "1.04";
    bus.devices = {drive};
  }

  void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(dir.filePath(Q(name)).toStdString(), std::ios::binary) << bytes;
  }

  template <class W = QWidget>
  W* Find(ControlId id) const {
    W* widget = window.Window()->findChild<W*>(Q(ControlSpecOf(id).name));
    EXPECT_NE(widget, nullptr) << ControlSpecOf(id).name;
    return widget;
  }

  Frame Now() const {
    bool anyEnabled = false;
    for (ControlId id : {ComboBoxDrive, ButtonSelect, ButtonExit, CheckBox1}) {
      anyEnabled |= Find(id)->isEnabled();
    }
    return {Find<QProgressBar>(ProgressBarUpdate)->value(),
            Find<QStatusBar>(StatusBarInfo)->currentMessage().toStdString(), !anyEnabled};
  }

  // The window is up, has been drawn, and UPDATE can be pressed.
  bool UpdateButtonLive() const {
    return window.Window()->isVisible() && !frames.empty() && Find(ButtonSelect)->isEnabled();
  }

  void Click(ControlId id) { QTest::mouseClick(Find(id), Qt::LeftButton); }

  // Runs the program to its end as the product wires it, with the user's
  // steps, a user who closes every box with OK, and a record of what the
  // progress bar and the status line showed whenever they were painted.
  int RunProgram(std::vector<UserStep> steps) {
    simbus::RealTimeScheduler scheduler;
    simbus::SimManager manager(bus, scheduler);
    QtMessageScreen messages(ui);
    ui.SetFailureReport(
        [&messages](const std::string& what) { Messages(messages).ShowException(what); });
    Platform platform{manager, waits, messages, window, ui, threads, dir.path().toStdString(),
                      {},      {}};
    platform.formCreated = [this](TMainForm& form) { window.Attach(form); };

    PaintRecorder recorder(*this, frames);
    Find(ProgressBarUpdate)->installEventFilter(&recorder);
    Find(StatusBarInfo)->installEventFilter(&recorder);

    BoxAnswerer answerer([this](const SeenBox& box) {
      boxes.push_back(box);
      underBox.push_back(Now());
      linesUnderBox.push_back(Find<QComboBox>(ComboBoxDrive)->itemText(0).toStdString());
    });

    std::size_t next = 0;
    QTimer user;
    user.setInterval(2ms);
    QObject::connect(&user, &QTimer::timeout, [&] {
      if (next < steps.size() && steps[next].ready()) steps[next++].act();
    });
    user.start();

    // A run that hangs becomes a failure here, not a test killed by its timeout.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
      ADD_FAILURE() << "the run did not end; user steps taken: " << next;
      ui.Quit(-1);
    });
    watchdog.start(20s);

    const int status = ProgramMain(platform);
    ui.SetFailureReport({});  // the message screen goes with this scope
    EXPECT_EQ(next, steps.size()) << "user steps left undone";
    EXPECT_EQ(threads.Running(), 0);
    firmware = manager.Firmware(kHa, kTarget);
    return status;
  }

  class PaintRecorder final : public QObject {
   public:
    PaintRecorder(const RealTimeUpdateTest& test, std::vector<Frame>& frames)
        : test_(test), frames_(frames) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::Paint) {
        const Frame frame = test_.Now();
        if (frames_.empty() || frames_.back() != frame) frames_.push_back(frame);
      }
      return QObject::eventFilter(watched, event);
    }

   private:
    const RealTimeUpdateTest& test_;
    std::vector<Frame>& frames_;
  };

  QTemporaryDir dir;
  std::vector<std::uint8_t> image;
  simbus::BusConfig bus;

  QtUiThread ui;
  QtMainWindow window{ui};
  SystemWaits waits;
  ThreadRegistry threads;

  // What the run showed: the frames painted, in order, without repeats.
  std::vector<Frame> frames;
  std::vector<SeenBox> boxes;
  std::vector<Frame> underBox;
  std::vector<std::string> linesUnderBox;
  std::optional<simbus::FirmwareState> firmware;
};

TEST_F(RealTimeUpdateTest, SuccessfulUpdateMovesTheBarReportsAndReturnsToIdle) {
  // Each block takes a drive's time, so the bar has time to be seen moving.
  bus.devices[0].rules.push_back(
      {simbus::CommandKind::WriteBuffer, 0, {simbus::Timing::Delayed, 30ms, {}, false}});

  const int status = RunProgram({
      {[&] { return UpdateButtonLive(); }, [&] { Click(ButtonSelect); }},
      // Exit once the update thread has brought the window back and ended.
      {[&] { return !boxes.empty() && threads.Running() == 0 && UpdateButtonLive(); },
       [&] { Click(ButtonExit); }},
  });

  EXPECT_EQ(status, 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title.toStdString(), text::kBoxTitle);
  EXPECT_EQ(boxes[0].text.toStdString(), text::kOutcomeSuccess);
  EXPECT_EQ(boxes[0].icon, QMessageBox::Information);
  // Under the box the window is still busy, showing the checked version and
  // the drive's new line; the bar stays where the transfer left it.
  EXPECT_EQ(underBox[0], (Frame{2, "> 1.04", true}));
  EXPECT_EQ(linesUnderBox[0], kLineAfter);

  // Positions 0, 1 and 2 before the three mode-4 blocks, none before the
  // last block, and 0 again at the return to idle.
  EXPECT_EQ(Collapsed(frames, &Frame::progress), (std::vector<int>{0, 1, 2, 0}));
  EXPECT_EQ(Collapsed(frames, &Frame::status),
            (std::vector<std::string>{text::kStatusStart, text::kStatusUpdating,
                                      text::kStatusResetWaiting, "> 1.04", text::kStatusIdle}));
  bool sawBusy = false;
  for (const Frame& frame : frames) {
    if (frame.status == text::kStatusUpdating || frame.status == text::kStatusResetWaiting) {
      SCOPED_TRACE(frame.status + " at " + std::to_string(frame.progress));
      EXPECT_TRUE(frame.busy);
      sawBusy = true;
    }
  }
  EXPECT_TRUE(sawBusy);

  // The window as the user left it.
  EXPECT_EQ(Now(), (Frame{0, text::kStatusIdle, false}));
  auto* drives = Find<QComboBox>(ComboBoxDrive);
  EXPECT_EQ(drives->count(), 1);
  EXPECT_EQ(drives->itemText(0).toStdString(), kLineAfter);
  EXPECT_EQ(drives->currentIndex(), 0);
  EXPECT_TRUE(Find<QCheckBox>(CheckBox1)->isChecked());
  EXPECT_FALSE(window.Window()->isVisible());

  ASSERT_TRUE(firmware.has_value());
  EXPECT_FALSE(firmware->bricked) << firmware->brickReason;
  EXPECT_EQ(firmware->validSaves, 1u);
  EXPECT_TRUE(firmware->savedImage == image);
}

TEST_F(RealTimeUpdateTest, InquiryFailureAfterTheUpdateAsksForARebootAndEndsWith1) {
  // The scan's INQUIRY is the first; the post-update check's the second.
  bus.devices[0].rules.push_back(
      {simbus::CommandKind::Inquiry,
       2,
       {simbus::Timing::AtOnce, 0ms, simbus::Ending::Status(SS_ERR), false}});

  const int status = RunProgram({
      {[&] { return UpdateButtonLive(); }, [&] { Click(ButtonSelect); }},
  });

  EXPECT_EQ(status, 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title.toStdString(), text::kBoxTitle);
  EXPECT_EQ(boxes[0].text.toStdString(), text::kOutcomeInquiryFail);
  EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
  EXPECT_EQ(underBox[0], (Frame{2, text::kStatusResetWaiting, true}));
  // The program ended from the box without going back to idle: the window
  // is left busy, with the status line and the drive's old line unchanged.
  EXPECT_EQ(Now(), underBox[0]);
  EXPECT_EQ(Find<QComboBox>(ComboBoxDrive)->itemText(0).toStdString(), kLineBefore);
  EXPECT_EQ(Collapsed(frames, &Frame::status),
            (std::vector<std::string>{text::kStatusStart, text::kStatusUpdating,
                                      text::kStatusResetWaiting}));

  // The image went through; it is the check afterwards that failed.
  ASSERT_TRUE(firmware.has_value());
  EXPECT_EQ(firmware->validSaves, 1u);
}

}  // namespace
}  // namespace qfw::qt
