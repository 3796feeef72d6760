// The product: the window program for real drives, over Linux SCSI generic.
// It reads no argument, no environment variable and no file but Tavrin.ini
// and the images the catalogue names, in the current directory.
#include <QApplication>
#include <string>

#include "app/Application.h"
#include "linux_sg/LinuxSgManager.h"
#include "platform/SystemWaits.h"
#include "qt/QtMainWindow.h"
#include "qt/QtMessageScreen.h"
#include "qt/QtUiThread.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  qfw::qt::QtUiThread ui;
  qfw::qt::QtMainWindow window(ui);
  qfw::qt::QtMessageScreen messages(ui);
  qfw::SystemWaits waits;
  qfw::ThreadRegistry threads;
  const auto manager = qfw::MakeLinuxSgManager();
  // A failure escaping an event handler is shown and the loop goes on.
  ui.SetFailureReport(
      [&messages](const std::string& what) { qfw::Messages(messages).ShowException(what); });

  qfw::Platform platform{*manager, waits, messages, window, ui, threads, ".", {}, {}};
  platform.formCreated = [&window](qfw::TMainForm& form) { window.Attach(form); };
  return qfw::ProgramMain(platform);
}
