#include "qt/QtMainWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "qt/QtText.h"
#include "qt/QtUiThread.h"
#include "ui/Mainunit.h"

namespace qfw::qt {

// The top-level widget. Only QtMainWindow::Close closes it; a close request
// from the window system (Alt+F4, a task bar menu) is refused, as the window
// has no close box.
class FormWindow final : public QWidget {
 public:
  void CloseNow() {
    closing_ = true;
    close();
    closing_ = false;
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (closing_) {
      event->accept();
    } else {
      event->ignore();
    }
  }

 private:
  bool closing_ = false;
};

namespace {

// Rows of a combo box's drop-down list at the description's item height.
class RowHeightDelegate final : public QStyledItemDelegate {
 public:
  RowHeightDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(height_);
    return size;
  }

 private:
  int height_;
};

Qt::WindowFlags FrameFlags(const FormSpec& form) {
  // CustomizeWindowHint: only the hints given here, not the platform's defaults.
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
  if (form.captionBar) flags |= Qt::WindowTitleHint;
  if (!form.captionBar && !form.thinBorder) flags |= Qt::FramelessWindowHint;
  if (form.systemMenu) flags |= Qt::WindowSystemMenuHint;
  if (form.closeBox) flags |= Qt::WindowCloseButtonHint;
  if (form.minimiseBox) flags |= Qt::WindowMinimizeButtonHint;
  if (form.maximiseBox) flags |= Qt::WindowMaximizeButtonHint;
  return flags;
}

QWidget* CreateWidget(const ControlSpec& control, QWidget* parent) {
  switch (control.kind) {
    case ControlKind::GroupBox:
      return new QGroupBox(parent);
    case ControlKind::Label: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      return label;
    }
    case ControlKind::CheckBox:
      return new QCheckBox(parent);
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox(parent);
      combo->setEditable(false);  // pick-only: no typing
      if (control.itemHeight > 0)
        combo->setItemDelegate(new RowHeightDelegate(control.itemHeight, combo));
      return combo;
    }
    case ControlKind::Edit:
      return new QLineEdit(parent);
    case ControlKind::Button: {
      auto* button = new QPushButton(parent);
      button->setAutoDefault(false);  // no default button
      return button;
    }
    case ControlKind::ProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::StatusBar: {
      auto* bar = new QStatusBar(parent);
      bar->setSizeGripEnabled(false);
      return bar;
    }
  }
  return new QWidget(parent);
}

void SetText(QWidget& widget, ControlKind kind, const QString& text) {
  switch (kind) {
    case ControlKind::GroupBox:
      static_cast<QGroupBox&>(widget).setTitle(text);
      return;
    case ControlKind::Label:
      static_cast<QLabel&>(widget).setText(text);
      return;
    case ControlKind::CheckBox:
    case ControlKind::Button:
      static_cast<QAbstractButton&>(widget).setText(text);
      return;
    case ControlKind::Edit:
      static_cast<QLineEdit&>(widget).setText(text);
      return;
    case ControlKind::StatusBar:
      // The one simple panel. The window is not a QMainWindow, so no status
      // tip ever replaces this message.
      static_cast<QStatusBar&>(widget).showMessage(text);
      return;
    case ControlKind::ComboBox:
    case ControlKind::ProgressBar:
      return;
  }
}

// Changes only the rows that differ, so the list keeps its place.
void SetItems(QComboBox& combo, const std::vector<std::string>& items) {
  const int wanted = static_cast<int>(items.size());
  for (int i = 0; i < wanted; ++i) {
    const QString text = ToQString(items[static_cast<std::size_t>(i)]);
    if (i >= combo.count()) {
      combo.addItem(text);
    } else if (combo.itemText(i) != text) {
      combo.setItemText(i, text);
    }
  }
  while (combo.count() > wanted) combo.removeItem(combo.count() - 1);
}

void SetProgress(QProgressBar& bar, const ControlState& state) {
  const int max = std::max(state.progressMax, 0);
  // A range of 0..0 would turn the bar into a busy indicator; an empty bar
  // is what a zero maximum shows.
  bar.setRange(0, std::max(max, 1));
  // A position outside the range is shown at the nearer end (QProgressBar
  // would ignore it).
  bar.setValue(std::clamp(state.progressPosition, 0, max));
}

void Apply(QWidget& widget, ControlKind kind, ControlChange change, const ControlState& state) {
  // Changes made in code raise no user events.
  const QSignalBlocker block(&widget);
  switch (change) {
    case ControlChange::Enabled:
      widget.setEnabled(state.enabled);
      return;
    case ControlChange::Visible:
      widget.setVisible(state.visible);
      return;
    case ControlChange::Text:
      SetText(widget, kind, ToQString(state.text));
      return;
    case ControlChange::Items:
      if (auto* combo = qobject_cast<QComboBox*>(&widget)) {
        SetItems(*combo, state.items);
        // Adding to an empty list selects the first row on its own.
        combo->setCurrentIndex(state.itemIndex);
      }
      return;
    case ControlChange::ItemIndex:
      if (auto* combo = qobject_cast<QComboBox*>(&widget)) combo->setCurrentIndex(state.itemIndex);
      return;
    case ControlChange::Checked:
      if (auto* box = qobject_cast<QCheckBox*>(&widget)) box->setChecked(state.checked);
      return;
    case ControlChange::ProgressMax:
    case ControlChange::Position:
      if (auto* bar = qobject_cast<QProgressBar*>(&widget)) SetProgress(*bar, state);
      return;
  }
}

// The controls of one parent that are tab stops, in tab order.
std::vector<const ControlSpec*> TabStops(std::optional<ControlId> parent) {
  std::vector<const ControlSpec*> stops;
  for (const auto& control : MainFormControls()) {
    if (control.parent == parent && control.tabOrder >= 0) stops.push_back(&control);
  }
  std::stable_sort(stops.begin(), stops.end(), [](const ControlSpec* a, const ControlSpec* b) {
    return a->tabOrder < b->tabOrder;
  });
  return stops;
}

}  // namespace

QtMainWindow::QtMainWindow(QtUiThread& ui) : ui_(ui) {
  Build();
}

QtMainWindow::~QtMainWindow() = default;

QWidget* QtMainWindow::Window() const {
  return window_.get();
}

void QtMainWindow::Build() {
  const FormSpec& form = MainFormSpec();
  window_ = std::make_unique<FormWindow>();
  window_->setObjectName(ToQString(form.name));
  window_->setWindowTitle(ToQString(form.caption));
  window_->setWindowFlags(FrameFlags(form));
  // No layouts: the size is the client area, the controls keep their places.
  window_->setFixedSize(form.clientWidth, form.clientHeight);
  QFont font(ToQString(form.fontFamily));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(form.fontPixelHeight);
  window_->setFont(font);  // every control inherits it

  // Made in the order of the description, so a later control is drawn above
  // an earlier sibling (ProgressBarUpdate over the lower part of GroupBox1).
  for (const auto& control : MainFormControls()) {
    QWidget* parent = control.parent ? Control(*control.parent) : window_.get();
    QWidget* widget = CreateWidget(control, parent);
    widget->setObjectName(ToQString(control.name));
    widget->setGeometry(control.bounds.left, control.bounds.top, control.bounds.width,
                        control.bounds.height);
    controls_[IndexOf(control.id)] = widget;
    ApplyAll(control.id, InitialControlState(control));
    Wire(control);
  }
  SetTabOrder();
}

void QtMainWindow::Wire(const ControlSpec& control) {
  if (control.event == ControlEvent::None) return;
  const ControlId id = control.id;
  QWidget* widget = Control(id);
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    // clicked: only the user's click (or a check box's toggle by the user).
    QObject::connect(button, &QAbstractButton::clicked, window_.get(),
                     [this, id] { Deliver(id, [id](TMainForm& form) { form.UserClick(id); }); });
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    // activated: only a choice made by the user.
    QObject::connect(combo, &QComboBox::activated, window_.get(), [this, id](int index) {
      Deliver(id, [id, index](TMainForm& form) { form.UserSelectItem(id, index); });
    });
  }
}

// Tab order counts within a parent; focus enters a container's controls when
// it reaches the container.
void QtMainWindow::SetTabOrder() {
  std::vector<QWidget*> chain;
  const auto append = [&](auto&& self, std::optional<ControlId> parent) -> void {
    for (const ControlSpec* control : TabStops(parent)) {
      chain.push_back(Control(control->id));
      self(self, control->id);
    }
  };
  append(append, std::nullopt);
  for (std::size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void QtMainWindow::Attach(TMainForm& form) {
  form_ = &form;
  for (const auto& control : MainFormControls()) ApplyAll(control.id, form.State(control.id));
}

void QtMainWindow::ApplyAll(ControlId id, const ControlState& state) {
  shown_[IndexOf(id)] = state;
  const ControlKind kind = ControlSpecOf(id).kind;
  for (ControlChange change :
       {ControlChange::Enabled, ControlChange::Visible, ControlChange::Text, ControlChange::Items,
        ControlChange::Checked, ControlChange::ProgressMax}) {
    Apply(*Control(id), kind, change, state);
  }
}

void QtMainWindow::ControlChanged(ControlId id, ControlChange change, const ControlState& state) {
  shown_[IndexOf(id)] = state;
  Apply(*Control(id), ControlSpecOf(id).kind, change, state);
}

void QtMainWindow::Deliver(ControlId id, const std::function<void(TMainForm&)>& input) {
  if (form_ != nullptr) {
    TMainForm& form = *form_;
    ui_.Guard([&] { input(form); });
  }
  // The widget changed itself before the signal (a check box's tick, a combo
  // box's row); it shows the logic's state again, whatever the handler did.
  ApplyAll(id, shown_[IndexOf(id)]);
}

void QtMainWindow::Show() {
  const bool centre = !shownBefore_ && MainFormSpec().centred;
  shownBefore_ = true;
  if (centre) {
    window_->winId();  // the window system's window, so that its frame is known where it can be
    Centre();
  }
  window_->show();
  // Some window systems tell the frame only once the window is up.
  if (centre) Centre();
  window_->raise();
  window_->activateWindow();
}

void QtMainWindow::Centre() {
  QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = window_->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window_->move(frame.topLeft());
}

void QtMainWindow::Close() {
  window_->CloseNow();
  ui_.Quit(0);
}

void QtMainWindow::Repaint() {
  window_->repaint();
}

std::optional<std::string> QtMainWindow::ChooseFile(const FileDialogSpec& settings) {
  QFileDialog dialog(window_.get());
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(settings.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  // Qt's dialog has no read-only box, so hideReadOnly asks for nothing here.
  dialog.setNameFilter(ToQString(settings.filterDescription) + QStringLiteral(" (") +
                       ToQString(settings.filterPattern) + QStringLiteral(")"));
  dialog.setDirectory(QDir(ToQString(settings.initialDirectory)).absolutePath());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return QFile::encodeName(QFileInfo(files.first()).absoluteFilePath()).toStdString();
}

}  // namespace qfw::qt
