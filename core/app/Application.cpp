#include "app/Application.h"

#include <exception>

#include "platform/ProcessEnd.h"
#include "ui/Texts.h"

namespace qfw {

void TApplication::CreateForm() {
  form_ = std::make_unique<TMainForm>(platform_);
  MainForm = form_.get();
  if (platform_.formCreated) platform_.formCreated(*MainForm);
  try {
    MainForm->FormCreate();
  } catch (const ProcessEnd&) {
    throw;
  } catch (const std::exception& failure) {
    ShowException(failure.what());
    EndProcess(0);
  }
}

int TApplication::Run() {
  if (ShowMainForm && MainForm != nullptr) MainForm->Show();
  return platform_.ui.Run();
}

void TApplication::ShowException(const std::string& message) {
  Messages(platform_.messageScreen).ShowException(message);
}

int ProgramMain(Platform& platform) {
  int status = 0;
  {
    TApplication application(platform);
    try {
      application.Initialize();
      application.ShowMainForm = false;
      application.Title = text::kApplicationTitle;
      application.CreateForm();
      status = application.Run();
    } catch (const ProcessEnd& end) {
      status = end.status;
    } catch (const std::exception& failure) {
      application.ShowException(failure.what());
      status = 0;
    }
    // The window and the program data outlive every worker thread.
    platform.threads.JoinAll();
  }
  return status;
}

}  // namespace qfw
