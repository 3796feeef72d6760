// Ending the process with an exit status from any point of the program.
//
// EndProcess does not return: it unwinds the calling thread to the place that
// runs it (the application's start-up, the message loop's dispatch, or a
// worker thread's body). There the status is handed to the message loop,
// which ends; the entry waits for every worker thread to finish and returns
// the status. So the process ends by the normal exit path, with nothing
// destroyed while another thread still uses it.
#pragma once

namespace qfw {

// Not derived from std::exception, so that no failure report catches it.
struct ProcessEnd {
  int status;
};

[[noreturn]] inline void EndProcess(int status) {
  throw ProcessEnd{status};
}

}  // namespace qfw
