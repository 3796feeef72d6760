// The demo: the real window over a simulated bus at a real pace. It takes the
// working directory's files and the bus from a scenario file (the user's steps
// in it are for the headless runner and are not used here: the user is you).
//
//   quorvel-fwupdate-demo demo/demo.toml
//
// The files are written into a scratch directory, which is the program's
// current directory for the run and is removed afterwards.
#include <QApplication>
#include <iostream>
#include <string>

#include "app/Application.h"
#include "platform/SystemWaits.h"
#include "qt/QtMainWindow.h"
#include "qt/QtMessageScreen.h"
#include "qt/QtUiThread.h"
#include "session/Scenario.h"
#include "session/WorkDir.h"
#include "simbus/RealTimeScheduler.h"
#include "simbus/SimManager.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::cerr << "usage: quorvel-fwupdate-demo SCENARIO.toml\n";
    return 2;
  }
  try {
    const qfw::session::Scenario scenario = qfw::session::LoadScenario(argv[1]);
    if (scenario.busKind != qfw::session::BusKind::Simulated) {
      throw qfw::session::ScenarioError(scenario.file, scenario.busLine,
                                        "the demo runs on a simulated bus only");
    }
    qfw::session::ScratchDir dir(scenario.file);
    qfw::session::WriteFiles(scenario, dir.Path());

    qfw::SystemWaits waits;
    qfw::simbus::RealTimeScheduler scheduler;
    qfw::simbus::SimManager manager(scenario.bus, scheduler);
    qfw::ThreadRegistry threads;
    qfw::qt::QtUiThread ui;
    qfw::qt::QtMainWindow window(ui);
    qfw::qt::QtMessageScreen messages(ui);
    ui.SetFailureReport(
        [&messages](const std::string& what) { qfw::Messages(messages).ShowException(what); });

    qfw::Platform platform{manager, waits, messages, window, ui, threads, dir.Path(), {}, {}};
    platform.formCreated = [&window](qfw::TMainForm& form) { window.Attach(form); };
    return qfw::ProgramMain(platform);
  } catch (const qfw::session::ScenarioError& error) {
    std::cerr << error.Message() << '\n';
    return 2;
  }
}
