// The application object and the program's entry sequence.
#pragma once

#include <memory>
#include <string>

#include "ui/Mainunit.h"

namespace qfw {

class TApplication {
 public:
  explicit TApplication(Platform& platform) : platform_(platform) {}

  void Initialize() {}
  // Creates the main window hidden: builds its controls, sets MainForm, then
  // runs its creation handler. A failure escaping the handler is shown in the
  // exception box; the window has not been shown then, and the program ends
  // with status 0.
  void CreateForm();
  // Shows the main window if ShowMainForm is set, then runs the message loop
  // until it ends; returns the loop's status.
  int Run();
  void ShowException(const std::string& message);

  bool ShowMainForm = true;
  std::string Title;
  TMainForm* MainForm = nullptr;

 private:
  Platform& platform_;
  std::unique_ptr<TMainForm> form_;
};

// The program: start-up, message loop and every end. Returns the exit status
// once every worker thread has finished.
int ProgramMain(Platform& platform);

}  // namespace qfw
