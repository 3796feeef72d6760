#include "simbus/RealTimeScheduler.h"

#include <algorithm>

namespace qfw::simbus {

RealTimeScheduler::RealTimeScheduler()
    : thread_([this](std::stop_token stop) { Run(std::move(stop)); }) {}

RealTimeScheduler::~RealTimeScheduler() {
  thread_.request_stop();
  thread_.join();
}

Millis RealTimeScheduler::Now() {
  return std::chrono::duration_cast<Millis>(Clock::now() - start_);
}

Scheduler::TaskId RealTimeScheduler::After(Millis delay, std::function<void()> action) {
  std::lock_guard lock(mutex_);
  const TaskId id = ++lastId_;
  const Clock::time_point due = Clock::now() + std::max(delay, Millis{0});
  queue_.emplace(Key{due, id}, std::move(action));
  dueOf_.emplace(id, due);
  changed_.notify_all();
  return id;
}

bool RealTimeScheduler::Cancel(TaskId id) {
  std::function<void()> dropped;  // destroyed after the lock is released
  std::lock_guard lock(mutex_);
  const auto due = dueOf_.find(id);
  if (due == dueOf_.end()) return false;
  auto node = queue_.extract(Key{due->second, id});
  dueOf_.erase(due);
  dropped = std::move(node.mapped());
  changed_.notify_all();
  return true;
}

void RealTimeScheduler::Run(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  while (!stop.stop_requested()) {
    if (queue_.empty()) {
      changed_.wait(lock, stop, [this] { return !queue_.empty(); });
      continue;
    }
    const Clock::time_point due = queue_.begin()->first.first;
    if (Clock::now() < due) {
      // Wakes early when an earlier action is scheduled or the first is cancelled.
      changed_.wait_until(lock, stop, due, [this, due] {
        return queue_.empty() || queue_.begin()->first.first != due;
      });
      continue;
    }
    auto node = queue_.extract(queue_.begin());
    dueOf_.erase(node.key().second);
    lock.unlock();
    node.mapped()();
    node = {};  // the action's captures go outside the lock too
    lock.lock();
  }
}

}  // namespace qfw::simbus
