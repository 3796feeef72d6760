// Runs scheduled actions in real time on a timer thread of its own: the
// simulated bus at the pace of real drives, for the demo (with SystemWaits as
// the program's waiting services).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <stop_token>
#include <thread>
#include <unordered_map>
#include <utility>

#include "simbus/Scheduler.h"

namespace qfw::simbus {

class RealTimeScheduler final : public Scheduler {
 public:
  RealTimeScheduler();
  // Stops the timer thread; actions not yet started are dropped, one that is
  // running is finished first.
  ~RealTimeScheduler() override;
  RealTimeScheduler(const RealTimeScheduler&) = delete;
  RealTimeScheduler& operator=(const RealTimeScheduler&) = delete;

  // Time since the scheduler was made.
  Millis Now() override;
  // The action runs on the timer thread, outside the scheduler's lock.
  TaskId After(Millis delay, std::function<void()> action) override;
  bool Cancel(TaskId id) override;

 private:
  using Clock = std::chrono::steady_clock;
  using Key = std::pair<Clock::time_point, TaskId>;

  void Run(std::stop_token stop);

  const Clock::time_point start_ = Clock::now();
  std::mutex mutex_;
  std::condition_variable_any changed_;
  TaskId lastId_ = 0;
  std::map<Key, std::function<void()>> queue_;
  std::unordered_map<TaskId, Clock::time_point> dueOf_;
  std::jthread thread_;  // last: stopped and joined before the queue goes
};

}  // namespace qfw::simbus
