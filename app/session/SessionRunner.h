// Runs one scenario: prepares a scratch working directory with the scenario's
// files, sets up its bus and clock, runs the program with the scripted user,
// and reports the transcript and the exit status.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "session/Scenario.h"

namespace qfw::session {

struct SessionResult {
  // The session's exit status: the program's own (0 or 1), or kScriptError.
  int status = 0;
  // Every line of the transcript, "exit N" last.
  std::vector<std::string> lines;
  // "FILE:LINE: problem" when the run departed from the script.
  std::optional<std::string> scriptError;
};

// Runs the scenario to its end. Each transcript line is passed to echo as it
// happens (may be empty). Throws ScenarioError when the session cannot be set
// up (a file that cannot be written or copied, a bus this build lacks).
SessionResult RunScenario(const Scenario& scenario,
                          const std::function<void(const std::string&)>& echo);

}  // namespace qfw::session
