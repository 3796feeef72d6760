// The live window built from the form description, driven by a TMainForm:
// geometry, captions, window frame and font, the controls of each window
// state, tab order, and the user's input reaching the handlers.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <functional>
#include <map>
#include <set>

#include "GuiSupport.h"
#include "platform/SystemWaits.h"
#include "platform/Thread.h"
#include "qt/QtMainWindow.h"
#include "qt/QtUiThread.h"
#include "support/RecordingMessageScreen.h"
#include "ui/Mainunit.h"
#include "ui/Texts.h"

namespace qfw::qt {
namespace {

using testing::NoBusManager;
using testing::Q;
using enum ControlId;

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() { window.Attach(form); }

  template <class W = QWidget>
  W* Find(ControlId id) const {
    return window.Window()->findChild<W*>(Q(ControlSpecOf(id).name));
  }

  QtUiThread ui;
  QtMainWindow window{ui};
  NoBusManager manager;
  SystemWaits waits;
  qfw::testing::RecordingMessageScreen messages;
  ThreadRegistry threads;
  Platform platform{.manager = manager,
                    .waits = waits,
                    .messageScreen = messages,
                    .screen = window,
                    .ui = ui,
                    .threads = threads,
                    .workDir = ".",
                    .allocate = {},
                    .formCreated = {}};
  TMainForm form{platform};
};

const char* ClassOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::GroupBox:
      return "QGroupBox";
    case ControlKind::Label:
      return "QLabel";
    case ControlKind::CheckBox:
      return "QCheckBox";
    case ControlKind::ComboBox:
      return "QComboBox";
    case ControlKind::Edit:
      return "QLineEdit";
    case ControlKind::Button:
      return "QPushButton";
    case ControlKind::ProgressBar:
      return "QProgressBar";
    case ControlKind::StatusBar:
      return "QStatusBar";
  }
  return "?";
}

QString ShownText(QWidget& w) {
  if (auto* g = qobject_cast<QGroupBox*>(&w)) return g->title();
  if (auto* l = qobject_cast<QLabel*>(&w)) return l->text();
  if (auto* b = qobject_cast<QAbstractButton*>(&w)) return b->text();
  if (auto* e = qobject_cast<QLineEdit*>(&w)) return e->text();
  if (auto* s = qobject_cast<QStatusBar*>(&w)) return s->currentMessage();
  return {};
}

TEST_F(MainWindowTest, EveryControlStandsWhereTheDescriptionPutsIt) {
  for (const ControlSpec& control : MainFormControls()) {
    SCOPED_TRACE(std::string(control.name));
    QWidget* w = Find(control.id);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->inherits(ClassOf(control.kind)));
    EXPECT_EQ(w->parentWidget(), control.parent ? Find(*control.parent) : window.Window());
    EXPECT_EQ(w->geometry(), QRect(control.bounds.left, control.bounds.top, control.bounds.width,
                                   control.bounds.height));
    EXPECT_EQ(ShownText(*w), Q(control.text));
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
      EXPECT_FALSE(combo->isEditable());
      QStringList items;
      for (auto item : control.items) items << Q(item);
      QStringList shown;
      for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
      EXPECT_EQ(shown, items);
      EXPECT_EQ(combo->currentIndex(), -1);
      if (combo->count() > 0) {
        EXPECT_EQ(combo->view()->sizeHintForRow(0), control.itemHeight);
      }
    }
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
      EXPECT_EQ(box->isChecked(), control.checked);
    }
    if (auto* bar = qobject_cast<QProgressBar*>(w)) {
      EXPECT_EQ(bar->minimum(), 0);
      EXPECT_EQ(bar->maximum(), control.progressMax);
      EXPECT_EQ(bar->value(), control.progressPosition);
      EXPECT_FALSE(bar->isTextVisible());
    }
  }
}

TEST_F(MainWindowTest, WindowHasItsCaptionFrameSizeAndFont) {
  QWidget* w = window.Window();
  EXPECT_EQ(w->objectName(), "MainForm");
  EXPECT_EQ(w->windowTitle(), QStringLiteral("QuorvelDRIVE firmware upgrade  ver1.0.2.5"));
  EXPECT_FALSE(w->isVisible());  // created hidden

  EXPECT_EQ(w->size(), QSize(393, 101));
  EXPECT_EQ(w->minimumSize(), w->maximumSize());
  EXPECT_TRUE(w->layout() == nullptr);

  const Qt::WindowFlags flags = w->windowFlags();
  EXPECT_EQ(w->windowType(), Qt::Window);
  EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::FramelessWindowHint));

  std::vector<QWidget*> all{w};
  for (const ControlSpec& control : MainFormControls()) all.push_back(Find(control.id));
  for (QWidget* c : all) {
    SCOPED_TRACE(c->objectName().toStdString());
    const QFontInfo font(c->font());
    EXPECT_EQ(font.pixelSize(), 11);
    // Arial, or Liberation Sans, which has Arial's metrics.
    EXPECT_TRUE(font.family() == "Arial" || font.family() == "Liberation Sans")
        << font.family().toStdString();
  }

  EXPECT_FALSE(Find<QStatusBar>(StatusBarInfo)->isSizeGripEnabled());
  // The progress bar lies over the lower part of the group box and is drawn
  // above it.
  form.Show();
  const QRect bar = Find(ProgressBarUpdate)->geometry();
  ASSERT_TRUE(Find(GroupBox1)->geometry().contains(bar));
  EXPECT_EQ(w->childAt(bar.center()), Find(ProgressBarUpdate));
}

TEST_F(MainWindowTest, TabOrderCountsWithinEachParent) {
  const std::map<QString, std::vector<QString>> expected{
      {"MainForm", {"GroupBox1", "ButtonSelect", "ButtonAll", "ButtonExit", "ProgressBarUpdate"}},
      {"GroupBox1", {"ComboBoxDrive", "CheckBox1", "EditFS", "EditBS", "ComboBoxBufferSize"}},
  };
  std::map<QString, std::vector<QString>> chain;
  QWidget* start = window.Window();
  for (QWidget* w = start->nextInFocusChain(); w != start; w = w->nextInFocusChain()) {
    for (const auto& [parent, names] : expected) {
      if (w->parentWidget() != nullptr && w->parentWidget()->objectName() == parent &&
          std::find(names.begin(), names.end(), w->objectName()) != names.end()) {
        chain[parent].push_back(w->objectName());
      }
    }
  }
  EXPECT_EQ(chain, expected);
}

// The controls enabled and visible in each window state, as one run passes
// through the states.
struct StateStep {
  const char* name;
  std::function<void(TMainForm&)> enter;
  std::set<ControlId> enabled;
  std::set<ControlId> visible;
  int progress;
};

const std::set<ControlId> kIdleEnabled{GroupBox1,  CheckBox1,         ComboBoxDrive, ButtonSelect,
                                       ButtonExit, ProgressBarUpdate, StatusBarInfo};
const std::set<ControlId> kBusyEnabled{GroupBox1, ProgressBarUpdate, StatusBarInfo};
const std::set<ControlId> kVisible{GroupBox1, CheckBox1,  ComboBoxDrive,     ButtonSelect,
                                   ButtonAll, ButtonExit, ProgressBarUpdate, StatusBarInfo};

std::set<ControlId> With(std::set<ControlId> set, std::initializer_list<ControlId> more) {
  set.insert(more);
  return set;
}

void BusyAtFive(TMainForm& f) {
  f.SetProgressMax(8);
  f.DisableControls();
  f.SetProgressPosition(5);
}

class WindowStatesTest : public MainWindowTest {
 protected:
  void Walk(const std::vector<StateStep>& steps) {
    for (const StateStep& step : steps) {
      SCOPED_TRACE(step.name);
      step.enter(form);
      for (const ControlSpec& control : MainFormControls()) {
        SCOPED_TRACE(std::string(control.name));
        QWidget* w = Find(control.id);
        EXPECT_EQ(w->isEnabled(), step.enabled.count(control.id) == 1);
        EXPECT_EQ(w->isVisibleTo(window.Window()), step.visible.count(control.id) == 1);
      }
      EXPECT_EQ(Find<QProgressBar>(ProgressBarUpdate)->value(), step.progress);
    }
  }
};

TEST_F(WindowStatesTest, CatalogueModeLayout) {
  Walk({
      {"hidden", [](TMainForm&) {}, kIdleEnabled, kVisible, 0},
      {"busy", BusyAtFive, kBusyEnabled, kVisible, 5},
      {"idle", [](TMainForm& f) { f.EnableControls(); }, kIdleEnabled, kVisible, 0},
  });
}

TEST_F(WindowStatesTest, ManualModeLayoutKeepsTheBlockSizeListUsableWhileBusy) {
  // EditFS and EditBS are enabled by the manual-mode layout but never shown.
  const std::initializer_list<ControlId> manual{LabelBS, EditFS, EditBS, ComboBoxBufferSize};
  const std::set<ControlId> shown = With(kVisible, {LabelBS, ComboBoxBufferSize});
  Walk({
      {"manual", [](TMainForm& f) { f.EnterManualMode(); }, With(kIdleEnabled, manual), shown, 0},
      {"busy", BusyAtFive, With(kBusyEnabled, manual), shown, 5},
      {"idle", [](TMainForm& f) { f.EnableControls(); }, With(kIdleEnabled, manual), shown, 0},
  });
  EXPECT_EQ(Find<QComboBox>(ComboBoxBufferSize)->currentText(), "8192");
}

TEST_F(MainWindowTest, ChangesMadeInCodeReachTheWidgets) {
  struct ProgressCase {
    int max, position, shown;
  } cases[] = {{4, 2, 2}, {4, 7, 4}, {4, -3, 0}, {20, 20, 20}};
  auto* bar = Find<QProgressBar>(ProgressBarUpdate);
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "max " << c.max << " position " << c.position);
    form.SetProgressMax(c.max);
    form.SetProgressPosition(c.position);
    EXPECT_EQ(bar->maximum(), c.max);
    EXPECT_EQ(bar->value(), c.shown);
  }

  form.SetStatusText(text::kStatusUpdating);
  EXPECT_EQ(Find<QStatusBar>(StatusBarInfo)->currentMessage(), "Updating......");

  auto* drives = Find<QComboBox>(ComboBoxDrive);
  form.AddDriveItem("(0,3) QUORVEL CDROM 1.04");
  EXPECT_EQ(drives->currentIndex(), -1);  // nothing selected until the logic selects
  form.AddDriveItem("(1,5) QUORVEL CDROM 1.02");
  form.SetItemIndex(ComboBoxDrive, 1);
  form.ReplaceDriveItem(1, "(1,5) QUORVEL CDROM 1.05");
  EXPECT_EQ(drives->count(), 2);
  EXPECT_EQ(drives->itemText(0), "(0,3) QUORVEL CDROM 1.04");
  EXPECT_EQ(drives->itemText(1), "(1,5) QUORVEL CDROM 1.05");
  EXPECT_EQ(drives->currentIndex(), 1);
}

TEST_F(MainWindowTest, ShowCentresTheWindowAndOnlyExitClosesIt) {
  QWidget* w = window.Window();
  form.Show();
  ASSERT_TRUE(w->isVisible());
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((w->frameGeometry().center() - area.center()).manhattanLength(), 1);

  EXPECT_FALSE(w->close());  // a close request from the window system is refused
  EXPECT_TRUE(w->isVisible());

  QTest::mouseClick(Find(ButtonExit), Qt::LeftButton);
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(ui.Run(), 0);
}

TEST_F(MainWindowTest, ClicksReachTheHandlersOnlyOnEnabledControls) {
  form.Show();
  auto* tick = Find<QCheckBox>(CheckBox1);
  QWidget* update = Find(ButtonSelect);

  QTest::mouseClick(tick, Qt::LeftButton);
  EXPECT_FALSE(form.EnableBoxTicked());
  EXPECT_FALSE(tick->isChecked());
  QTest::mouseClick(update, Qt::LeftButton);  // refused: the box is not ticked
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{text::kEnableNotTicked});

  form.DisableControls();
  QTest::mouseClick(update, Qt::LeftButton);
  QTest::mouseClick(tick, Qt::LeftButton);
  QTest::mouseClick(Find(ButtonExit), Qt::LeftButton);
  EXPECT_EQ(messages.Texts().size(), 1u);
  EXPECT_FALSE(form.EnableBoxTicked());
  EXPECT_FALSE(tick->isChecked());
  EXPECT_TRUE(window.Window()->isVisible());

  form.EnableControls();
  QTest::mouseClick(tick, Qt::LeftButton);
  EXPECT_TRUE(form.EnableBoxTicked());
  EXPECT_TRUE(tick->isChecked());
}

TEST_F(MainWindowTest, ChoicesInTheListsReachTheLogic) {
  form.AddDriveItem("(0,3) QUORVEL CDROM 1.04");
  form.AddDriveItem("(1,5) QUORVEL CDROM 1.02");
  form.SetItemIndex(ComboBoxDrive, 0);
  form.EnterManualMode();
  form.Show();

  QTest::keyClick(Find(ComboBoxDrive), Qt::Key_Down);
  EXPECT_EQ(form.DriveIndex(), 1);

  auto* sizes = Find<QComboBox>(ComboBoxBufferSize);
  auto* blockSize = Find<QLineEdit>(EditBS);
  ASSERT_EQ(sizes->currentIndex(), 0);
  QTest::keyClick(sizes, Qt::Key_Down);
  EXPECT_EQ(form.State(ComboBoxBufferSize).itemIndex, 1);
  EXPECT_EQ(blockSize->text(), "16384");
  EXPECT_EQ(form.State(EditBS).text, "16384");

  form.SetItemIndex(ComboBoxBufferSize, 2);  // in code: the change handler does not run
  EXPECT_EQ(sizes->currentIndex(), 2);
  EXPECT_EQ(blockSize->text(), "16384");
}

TEST_F(MainWindowTest, FileDialogAcceptsATypedNameThatDoesNotExist) {
  struct DialogCase {
    const char* name;
    bool accept;
    std::optional<QString> result;
  } cases[] = {
      {"typed name", true, QDir::current().absoluteFilePath("no-such-image.bin")},
      {"cancel", false, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QStringList filters;
    QString directory;
    bool refused = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      filters = dialog->nameFilters();
      directory = dialog->directory().absolutePath();
      if (!c.accept) {
        dialog->reject();
        return;
      }
      dialog->selectFile("no-such-image.bin");
      static_cast<QDialog*>(dialog)->accept();  // as the Open button does
      refused = dialog->isVisible();
      if (refused) dialog->reject();
    });
    const std::optional<std::string> chosen = window.ChooseFile(OpenDialogSpec());
    EXPECT_EQ(filters, QStringList{"Firmware BIN (*.bin)"});
    EXPECT_EQ(directory, QDir::currentPath());
    EXPECT_FALSE(refused);
    ASSERT_EQ(chosen.has_value(), c.result.has_value());
    if (chosen) {
      EXPECT_EQ(QString::fromStdString(*chosen), *c.result);
    }
  }
}

}  // namespace
}  // namespace qfw::qt
