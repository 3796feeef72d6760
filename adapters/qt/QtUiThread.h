// The UI thread on Qt's event loop.
//
// Run is QApplication::exec and returns the status given to Quit. Steps handed
// over with Post and Synchronize go through one queue that the UI thread
// drains one step at a time, in the order handed: a step that runs a nested
// event loop (a message box, the file dialog) holds the steps behind it until
// it has returned.
//
// Synchronize from a worker blocks on a condition that both the end of the
// step and Quit release, so a worker never waits on a loop that has gone (as
// Qt::BlockingQueuedConnection would). A step that the UI thread has started
// is always waited for to its end, so the step may use the worker's stack.
//
// Nothing thrown by a step, or by the program's code behind a widget's signal
// (see Guard), reaches Qt's event dispatch: ProcessEnd ends the loop with its
// status; any other failure goes to the failure report.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/UiThread.h"

class QEvent;

namespace qfw::qt {

class QtUiThread final : public UiThread {
 public:
  // To be made on the thread that owns the QApplication, after it; that
  // thread is the UI thread. The loop ends only through Quit: closing the last
  // window does not end it.
  QtUiThread();
  ~QtUiThread() override;
  QtUiThread(const QtUiThread&) = delete;
  QtUiThread& operator=(const QtUiThread&) = delete;

  // Returns at once, with the status, when Quit came first.
  int Run() override;
  // From any thread; the first call decides the status. Steps not yet started
  // are dropped, and every waiting Synchronize returns.
  void Quit(int status) override;
  void Synchronize(const std::function<void()>& step) override;
  void Post(std::function<void()> step) override;
  bool IsUiThread() const override;

  // Runs code that Qt calls on the UI thread: ProcessEnd becomes Quit with its
  // status, any other failure goes to the failure report.
  void Guard(const std::function<void()>& code);

  // Where a failure that escapes a step or a handler is reported (the
  // exception box); UI thread only. Without one it is logged.
  void SetFailureReport(std::function<void(const std::string& message)> report);

 private:
  class Dispatcher;
  struct Handed;
  struct Item {
    std::function<void()> posted;
    std::shared_ptr<Handed> handed;
  };

  // Posts an event to the dispatcher; called with mutex_ held, so that the
  // UI thread, which takes mutex_ before it looks at the event, sees all that
  // the poster did before (this also lets ThreadSanitizer see the hand-over,
  // which Qt's own locks hide from it).
  void PostEvent(int type);
  bool OnEvent(const QEvent& event);
  void Drain();
  void Report(const std::string& message);

  std::unique_ptr<Dispatcher> dispatcher_;  // lives on the UI thread; receives the posted events
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> queue_;
  bool quit_ = false;
  int status_ = 0;
  bool draining_ = false;  // UI thread only
  std::function<void(const std::string&)> report_;
};

}  // namespace qfw::qt
