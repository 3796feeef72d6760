// The UI thread without a window system: a task queue that the thread running
// Run drains. When nothing is queued and no worker thread runs, the loop asks
// its idle handler for the user's next action (a scripted user).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/Thread.h"
#include "platform/UiThread.h"

namespace qfw::headless {

// The loop's status when the idle handler has no further input while the
// window is still open.
inline constexpr int kNoMoreInput = 70;

class HeadlessUiThread final : public UiThread {
 public:
  explicit HeadlessUiThread(ThreadRegistry& registry);
  ~HeadlessUiThread() override;

  int Run() override;
  void Quit(int status) override;
  void Synchronize(const std::function<void()>& step) override;
  void Post(std::function<void()> step) override;
  bool IsUiThread() const override;

  // Runs on the UI thread whenever the loop is idle; returns false when there
  // is no further input, which ends the loop with kNoMoreInput.
  void SetIdleHandler(std::function<bool()> handler);
  bool Quitting() const;

 private:
  void RunStep(const std::function<void()>& step);
  // Waits briefly without sleeping until the condition holds: a hand-off is
  // usually answered within microseconds, far sooner than a sleeping thread
  // can be woken. Returns whether it held.
  template <typename Condition>
  static bool SpinFor(Condition condition);

  ThreadRegistry& registry_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  std::atomic<std::size_t> queued_{0};
  std::atomic<bool> quitFlag_{false};
  std::function<bool()> idle_;
  std::thread::id uiThread_;
  bool quit_ = false;
  int status_ = 0;
};

}  // namespace qfw::headless
