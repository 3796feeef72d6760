// The window's creation handler: the start-up scan decides whether the window
// is shown or the program ends.
#include "platform/ProcessEnd.h"
#include "ui/Mainunit.h"
#include "ui/Texts.h"

namespace qfw {

void TMainForm::FormCreate() {
  if (ScanDrives() == 0) {
    Show();
    return;
  }
  messages.ShowErrorBox(text::kNoDrive);
  EndProcess(0);
}

}  // namespace qfw
