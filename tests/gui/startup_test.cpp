// The program over the Qt screen when start-up fails: every box comes up and
// is answered before any message loop runs, the window is never shown, and
// the program ends with 0.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <optional>
#include <utility>

#include "GuiSupport.h"
#include "app/Application.h"
#include "catalogue/Catalogue.h"
#include "platform/SystemWaits.h"
#include "qt/QtMainWindow.h"
#include "qt/QtMessageScreen.h"
#include "qt/QtUiThread.h"

namespace qfw::qt {
namespace {

using testing::BoxAnswerer;
using testing::NoBusManager;

TEST(QtProgramTest, StartUpFailureShowsItsBoxesWithTheWindowHiddenAndEndsWith0) {
  using Box = std::pair<QString, QString>;  // title, text
  const QString appTitle = QStringLiteral("Quorvel DRIVE firmware upgrade");
  const QString boxTitle = QStringLiteral("Quorvel Drive firmware upgrade");
  struct Case {
    const char* name;
    std::optional<std::string> catalogue;
    std::vector<Box> boxes;
  } cases[] = {
      {"no catalogue", std::nullopt, {{appTitle, "File not found or (Tavrin.ini) value error."}}},
      {"empty catalogue, no host adapter",
       "",
       {{boxTitle, "Scsi host adapter not found."}, {boxTitle, "   No Drive found.    "}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    if (c.catalogue) {
      std::ofstream(dir.filePath(kCatalogueFileName).toStdString(), std::ios::binary)
          << *c.catalogue;
    }
    QtUiThread ui;
    QtMessageScreen messages(ui);
    QtMainWindow window(ui);
    NoBusManager manager;
    SystemWaits waits;
    ThreadRegistry threads;
    Platform platform{.manager = manager,
                      .waits = waits,
                      .messageScreen = messages,
                      .screen = window,
                      .ui = ui,
                      .threads = threads,
                      .workDir = dir.path().toStdString(),
                      .allocate = {},
                      .formCreated = [&](TMainForm& form) { window.Attach(form); }};

    bool windowEverShown = false;
    BoxAnswerer answerer(
        [&](const testing::SeenBox&) { windowEverShown |= window.Window()->isVisible(); });
    EXPECT_EQ(ProgramMain(platform), 0);
    std::vector<Box> shown;
    for (const auto& box : answerer.seen) shown.emplace_back(box.title, box.text);
    EXPECT_EQ(shown, c.boxes);
    EXPECT_FALSE(windowEverShown || window.Window()->isVisible());
  }
}

}  // namespace
}  // namespace qfw::qt
