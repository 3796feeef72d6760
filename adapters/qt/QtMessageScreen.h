// The four presentations as Qt message boxes, each with one OK button that is
// both the default and the escape button, the text as plain text, and the
// icon that the flags name (MB_ICONHAND: critical, MB_ICONQUESTION: question,
// MB_ICONEXCLAMATION: warning, MB_ICONINFORMATION: information, none: none):
//
//   error box, outcome box   no owner, stay above every window, and leave the
//                            main window usable (not modal);
//   notice, exception box    application modal: every other window of the
//                            program is blocked while the box is up.
//
// Present blocks its caller until the user has closed the box. Called from a
// worker thread (the outcome box), it hands the box to the UI thread and
// waits there; once the message loop has ended it returns at once.
#pragma once

#include "platform/UiThread.h"
#include "ui/Presentations.h"

namespace qfw::qt {

class QtMessageScreen final : public MessageScreen {
 public:
  explicit QtMessageScreen(UiThread& ui) : ui_(ui) {}

  void Beep() override;
  void Present(const Presentation& presentation) override;

 private:
  UiThread& ui_;
};

}  // namespace qfw::qt
