// Helpers for the GUI tests: a bus without adapters, and a user who answers
// message boxes.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/AspiManager.h"
#include "platform/Srb.h"

namespace qfw::qt::testing {

inline QString Q(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A manager that reports no host adapter and refuses every request.
class NoBusManager final : public AspiManager {
 public:
  std::uint32_t GetASPI32SupportInfo() override { return 0; }
  std::uint8_t SendASPI32Command(void*) override { return SS_INVALID_HA; }
};

// What a message box showed when it came up.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon;
  Qt::WindowModality modality;
  bool staysOnTop;
  bool okIsDefaultAndEscape;
  bool blocksProgram;  // it is the application's active modal widget
  bool onUiThread;
};

// Answers every message box that comes up while the UI thread runs an event
// loop: notes what the box shows, lets the test look around (onBox), then
// presses the box's default button.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(std::function<void(const SeenBox&)> onBox = {}) : onBox_(std::move(onBox)) {
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

  std::vector<SeenBox> seen;

 private:
  void Poll() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (box == nullptr || !box->isVisible()) continue;
      QAbstractButton* ok = box->button(QMessageBox::Ok);
      SeenBox s{box->windowTitle(),
                box->text(),
                box->icon(),
                box->windowModality(),
                box->windowFlags().testFlag(Qt::WindowStaysOnTopHint),
                ok != nullptr && static_cast<QAbstractButton*>(box->defaultButton()) == ok &&
                    box->escapeButton() == ok,
                QApplication::activeModalWidget() == box,
                QThread::currentThread() == box->thread()};
      seen.push_back(s);
      if (onBox_) onBox_(s);
      if (ok != nullptr) {
        ok->click();
      } else {
        box->close();
      }
    }
  }

  std::function<void(const SeenBox&)> onBox_;
  QTimer timer_;
};

}  // namespace qfw::qt::testing
