// Worker threads: created suspended, started, awaited, asked to stop, and
// handing steps to the UI thread. A thread marked FreeOnTerminate deletes
// itself when its body has ended; nothing may wait for it then. Its system
// thread is kept by the ThreadRegistry and joined before the process ends.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/UiThread.h"

namespace qfw {

// Keeps the system threads of self-releasing workers until the process ends,
// and tells whether any worker is still running.
class ThreadRegistry {
 public:
  ~ThreadRegistry();

  void Adopt(std::thread thread);
  void WorkerStarted();
  void WorkerEnded();
  // Number of worker bodies that have started and not yet ended.
  int Running() const;
  // Blocks until no worker body is running, then joins every adopted thread.
  void JoinAll();
  // Called (from the ending worker's thread) whenever a worker body ends.
  void SetOnWorkerEnded(std::function<void()> callback);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> threads_;
  int running_ = 0;
  std::function<void()> onEnded_;
};

struct ThreadServices {
  UiThread& ui;
  ThreadRegistry& registry;
};

class TThread {
 public:
  TThread(ThreadServices& services, bool createSuspended);
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  virtual ~TThread();

  // Starts a thread created suspended. With FreeOnTerminate set, the object
  // must not be touched by anyone else once Start has been called.
  void Start();
  // Blocks until the body has ended. Not for FreeOnTerminate threads.
  void WaitFor();
  // Raises the stop request; the body may read it through Terminated.
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }

  bool FreeOnTerminate = false;

 protected:
  virtual void Execute() = 0;
  // Runs the step on the UI thread; returns once it has run there.
  void Synchronize(const std::function<void()>& step) { services_.ui.Synchronize(step); }

 private:
  void Body();

  ThreadServices& services_;
  std::thread thread_;
  std::atomic<bool> terminated_{false};
  bool started_ = false;
};

}  // namespace qfw
