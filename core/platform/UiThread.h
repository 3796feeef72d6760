// The UI thread's message loop and the hand-off to it. Every SCSI request and
// every change to the window runs on the UI thread; worker threads hand their
// steps over with Synchronize and wait until the step has run.
#pragma once

#include <functional>

namespace qfw {

class UiThread {
 public:
  virtual ~UiThread() = default;

  // Runs the message loop on the calling thread, which becomes the UI thread,
  // until Quit; returns the status given to Quit.
  virtual int Run() = 0;

  // Ends the message loop with the status; from any thread. Steps handed over
  // after this are not run.
  virtual void Quit(int status) = 0;

  // Runs the step on the UI thread and returns once it has run there, one step
  // at a time, in the order handed, between the loop's other messages. Called
  // on the UI thread itself, runs the step directly. Returns without running
  // it once the loop has been quit.
  virtual void Synchronize(const std::function<void()>& step) = 0;

  // Queues a step to run on the UI thread; from any thread.
  virtual void Post(std::function<void()> step) = 0;

  virtual bool IsUiThread() const = 0;
};

}  // namespace qfw
