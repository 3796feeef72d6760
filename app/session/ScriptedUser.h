// The scripted user of a session: performs the scenario's steps one by one
// whenever the program is idle, answers the file dialog, and closes boxes.
//
// Boxes are closed at once, unless some step is "close box": then every box
// must be expected by the next step, in order. Anything the script did not
// foresee ends the run as a script error: a "script-error" line, the
// transcript sealed (the run is over; nothing after it belongs to it), and
// exit status kScriptError.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>

#include "headless/HeadlessSession.h"
#include "session/Scenario.h"

namespace qfw::session {

// The session's exit status when the run departed from the script.
inline constexpr int kScriptError = 3;

class ScriptedUser {
 public:
  ScriptedUser(const Scenario& scenario, headless::Transcript& transcript)
      : scenario_(scenario), transcript_(transcript) {}

  // Connects the user to the session's idle loop and screen.
  void Attach(headless::HeadlessSession& session);

  // After the run: the session's exit status for the program's status. Steps
  // left over make a script error.
  int Finish(int programStatus);

  // The script error as "FILE:LINE: problem", if there was one.
  std::optional<std::string> Error() const;

 private:
  bool Act(TMainForm& form);
  void BoxShown(const Presentation& box);
  std::optional<std::string> AnswerFileDialog();

  // Records the script error (step: the step it concerns, or null) and, with
  // end set, ends the run.
  void Record(const Step* step, const std::string& problem);
  [[noreturn]] void Fail(const Step* step, const std::string& problem);
  const Step* Next() const;
  std::string NextDescription() const;

  const Scenario& scenario_;
  headless::Transcript& transcript_;
  mutable std::mutex mutex_;
  std::size_t next_ = 0;
  std::optional<std::string> error_;
};

}  // namespace qfw::session
