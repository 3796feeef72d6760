// The four presentations as real message boxes: title, text, icon, buttons,
// whether they block the program, and the hand-off of a box shown from a
// worker thread.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "GuiSupport.h"
#include "qt/QtMainWindow.h"
#include "qt/QtMessageScreen.h"
#include "qt/QtUiThread.h"
#include "ui/Presentations.h"
#include "ui/Texts.h"

namespace qfw::qt {
namespace {

using testing::BoxAnswerer;
using testing::SeenBox;

const QString kAppTitle = QStringLiteral("Quorvel DRIVE firmware upgrade");
const QString kBoxTitle = QStringLiteral("Quorvel Drive firmware upgrade");

struct BoxCase {
  const char* name;
  std::function<void(Messages&)> show;
  QString title;
  QString text;
  QMessageBox::Icon icon;
  bool blocksProgram;
};

TEST(MessageScreenTest, EachPresentationHasItsTitleIconAndModality) {
  const BoxCase cases[] = {
      {"error box", [](Messages& m) { m.ShowErrorBox(text::kNoDrive); }, kBoxTitle,
       "   No Drive found.    ", QMessageBox::Critical, false},
      {"notice", [](Messages& m) { m.ShowMessage(text::kCatalogueError); }, kAppTitle,
       "File not found or (Tavrin.ini) value error.", QMessageBox::NoIcon, true},
      {"outcome: success",
       [](Messages& m) {
         m.OutcomeBox(text::kOutcomeSuccess, MB_SYSTEMMODAL | MB_ICONINFORMATION);
       },
       kBoxTitle, "Firmware update success.", QMessageBox::Information, false},
      {"outcome: reboot",
       [](Messages& m) {
         m.OutcomeBox(text::kOutcomeTimeout, MB_SYSTEMMODAL | MB_ICONEXCLAMATION);
       },
       kBoxTitle, "Firmware update complete. ASPI Timeout. Please reboot PC.", QMessageBox::Warning,
       false},
      {"outcome: version",
       [](Messages& m) { m.OutcomeBox(text::kOutcomeVersion, MB_SYSTEMMODAL | MB_ICONQUESTION); },
       kBoxTitle, "Firmware update complete. Firmware version compare error.",
       QMessageBox::Question, false},
      {"outcome: failed",
       [](Messages& m) { m.OutcomeBox(text::kOutcomeFailed, MB_SYSTEMMODAL | MB_ICONHAND); },
       kBoxTitle, "Firmware update failed.", QMessageBox::Critical, false},
      {"exception box", [](Messages& m) { m.ShowException("Stream read error"); }, kAppTitle,
       "Stream read error.", QMessageBox::Critical, true},
  };
  QtUiThread ui;
  QtMessageScreen screen(ui);
  QtMainWindow window(ui);
  window.Show();
  Messages messages(screen);
  for (const BoxCase& c : cases) {
    SCOPED_TRACE(c.name);
    BoxAnswerer answerer;
    c.show(messages);
    ASSERT_EQ(answerer.seen.size(), 1u);
    const SeenBox& box = answerer.seen[0];
    EXPECT_EQ(box.title, c.title);
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.icon, c.icon);
    EXPECT_TRUE(box.okIsDefaultAndEscape);
    // The notice and the exception box block the main window; the error and
    // outcome boxes leave it usable but stay above every window.
    EXPECT_EQ(box.blocksProgram, c.blocksProgram);
    EXPECT_EQ(box.modality, c.blocksProgram ? Qt::ApplicationModal : Qt::NonModal);
    EXPECT_EQ(box.staysOnTop, !c.blocksProgram);
  }
}

TEST(MessageScreenTest, BoxFromAWorkerRunsOnTheUiThreadAndHoldsTheWorker) {
  QtUiThread ui;
  QtMessageScreen screen(ui);
  std::atomic<bool> returned{false};
  BoxAnswerer answerer([&](const SeenBox&) { EXPECT_FALSE(returned.load()); });
  std::thread worker([&] {
    Messages(screen).OutcomeBox(text::kOutcomeSuccess, MB_SYSTEMMODAL | MB_ICONINFORMATION);
    returned = true;
    ui.Quit(0);
  });
  EXPECT_EQ(ui.Run(), 0);
  worker.join();
  EXPECT_TRUE(returned.load());
  ASSERT_EQ(answerer.seen.size(), 1u);
  EXPECT_TRUE(answerer.seen[0].onUiThread);
  EXPECT_EQ(answerer.seen[0].text, "Firmware update success.");

  // Once the loop has ended, a worker's box returns at once.
  std::thread late([&] { Messages(screen).OutcomeBox(text::kOutcomeFailed, MB_ICONHAND); });
  late.join();
  EXPECT_EQ(answerer.seen.size(), 1u);
}

}  // namespace
}  // namespace qfw::qt
