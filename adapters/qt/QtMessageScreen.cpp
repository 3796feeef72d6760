#include "qt/QtMessageScreen.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>

#include "qt/QtText.h"

namespace qfw::qt {

namespace {

QMessageBox::Icon IconFor(std::uint32_t flags) {
  switch (flags & MB_ICONMASK) {
    case MB_ICONHAND:
      return QMessageBox::Critical;
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
      return QMessageBox::Warning;
    case MB_ICONINFORMATION:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

// The boxes of the program's own (system-modal in their flags) stay on top and
// block nothing; the standard dialogs block the whole program.
bool BlocksProgram(PresentationKind kind) {
  return kind == PresentationKind::Notice || kind == PresentationKind::ExceptionBox;
}

// UI thread. Runs its own event loop until the box is closed, so that a box
// that blocks nothing still holds its caller (QDialog::exec would make it
// modal).
void ShowBox(const Presentation& p) {
  QMessageBox box(IconFor(p.flags), ToQString(p.title), ToQString(p.text), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  if (BlocksProgram(p.kind)) {
    box.setWindowModality(Qt::ApplicationModal);
  } else {
    box.setWindowModality(Qt::NonModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  }
  QEventLoop loop;
  QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
  box.show();
  box.raise();
  box.activateWindow();
  loop.exec(QEventLoop::DialogExec);
}

}  // namespace

void QtMessageScreen::Beep() {
  ui_.Synchronize([] { QApplication::beep(); });
}

void QtMessageScreen::Present(const Presentation& presentation) {
  ui_.Synchronize([&presentation] { ShowBox(presentation); });
}

}  // namespace qfw::qt
