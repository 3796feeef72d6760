#include "session/SessionRunner.h"

#include <memory>

#include "headless/HeadlessSession.h"
#include "platform/SystemWaits.h"
#include "session/ScriptedUser.h"
#include "session/WorkDir.h"
#include "simbus/RealTimeScheduler.h"
#include "simbus/SimManager.h"
#include "simbus/VirtualTime.h"

#ifdef QFW_HAVE_LINUX_SG
#include "linux_sg/LinuxSgManager.h"
#endif

namespace qfw::session {

SessionResult RunScenario(const Scenario& scenario,
                          const std::function<void(const std::string&)>& echo) {
  ScratchDir dir(scenario.file);
  WriteFiles(scenario, dir.Path());

  headless::HeadlessSession session(dir.Path());
  if (echo) session.transcript().SetEcho(echo);
  ScriptedUser user(scenario, session.transcript());
  user.Attach(session);
  headless::HeadlessSession::Options options;
  options.recordWaits = true;

  int status = 0;
  if (scenario.busKind == BusKind::Real) {
#ifdef QFW_HAVE_LINUX_SG
    SystemWaits waits;
    const std::unique_ptr<AspiManager> manager = MakeLinuxSgManager();
    status = session.RunProgram(*manager, waits, options);
#else
    throw ScenarioError(scenario.file, scenario.busLine,
                        "real bus not built in: this build has no Linux SCSI generic adapter");
#endif
  } else if (scenario.time == TimeKind::Real) {
    SystemWaits waits;
    simbus::RealTimeScheduler scheduler;
    simbus::SimManager manager(scenario.bus, scheduler);
    status = session.RunProgram(manager, waits, options);
  } else {
    simbus::VirtualTime time;
    simbus::SimManager manager(scenario.bus, time);
    status = session.RunProgram(manager, time, options);
  }

  SessionResult result;
  result.status = user.Finish(status);
  result.scriptError = user.Error();
  result.lines = session.transcript().Lines();
  const std::string exitLine = "exit " + std::to_string(result.status);
  if (echo) echo(exitLine);
  result.lines.push_back(exitLine);
  return result;
}

}  // namespace qfw::session
