#include "simbus/VirtualTime.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace qfw::simbus {

struct VirtualTime::Core {
  using Key = std::pair<Millis, TaskId>;  // due time, then scheduling order

  mutable std::mutex mutex;
  Millis now{0};
  TaskId lastId = 0;
  std::map<Key, std::function<void()>> queue;
  std::unordered_map<TaskId, Millis> dueOf;

  int failCreations = 0;
  Millis slept{0};
  int sleeps = 0;
  int waits = 0;
  int created = 0;
  int refused = 0;
  int live = 0;

  // Moves time towards deadline. Before each step, with the lock held,
  // done() is asked whether to stop; then the next action due by the deadline
  // runs without the lock. Returns true when done() stopped the advance, false
  // when time has reached the deadline.
  template <typename Done>
  bool AdvanceUntil(Millis deadline, Done done) {
    for (;;) {
      std::function<void()> action;
      {
        std::lock_guard lock(mutex);
        if (done()) return true;
        if (queue.empty() || queue.begin()->first.first > deadline) {
          now = std::max(now, deadline);
          return false;
        }
        auto node = queue.extract(queue.begin());
        now = std::max(now, node.key().first);
        dueOf.erase(node.key().second);
        action = std::move(node.mapped());
      }
      action();
    }
  }

  Millis DeadlineAfter(Millis duration) {
    std::lock_guard lock(mutex);
    return now + std::max(duration, Millis{0});
  }
};

class VirtualTime::VirtualEvent final : public Event {
 public:
  explicit VirtualEvent(std::shared_ptr<Core> core) : core_(std::move(core)) {
    std::lock_guard lock(core_->mutex);
    ++core_->live;
  }

  ~VirtualEvent() override {
    std::lock_guard lock(core_->mutex);
    --core_->live;
  }

  void Set() override {
    std::lock_guard lock(core_->mutex);
    signalled_ = true;
  }

  void Reset() override {
    std::lock_guard lock(core_->mutex);
    signalled_ = false;
  }

  WaitResult Wait(Millis timeout) override {
    {
      std::lock_guard lock(core_->mutex);
      ++core_->waits;
    }
    const Millis deadline = core_->DeadlineAfter(timeout);
    // done() runs with the core's lock held, which also guards signalled_.
    const bool signalled = core_->AdvanceUntil(deadline, [this] {
      if (!signalled_) return false;
      signalled_ = false;
      return true;
    });
    return signalled ? WaitResult::Signalled : WaitResult::TimedOut;
  }

 private:
  std::shared_ptr<Core> core_;
  bool signalled_ = false;  // guarded by core_->mutex
};

VirtualTime::VirtualTime() : core_(std::make_shared<Core>()) {}

VirtualTime::~VirtualTime() = default;

std::shared_ptr<Event> VirtualTime::CreateEvent() {
  {
    std::lock_guard lock(core_->mutex);
    if (core_->failCreations != 0) {
      if (core_->failCreations > 0) --core_->failCreations;
      ++core_->refused;
      return nullptr;
    }
    ++core_->created;
  }
  return std::make_shared<VirtualEvent>(core_);
}

Millis VirtualTime::Now() {
  std::lock_guard lock(core_->mutex);
  return core_->now;
}

void VirtualTime::SleepFor(Millis duration) {
  {
    std::lock_guard lock(core_->mutex);
    ++core_->sleeps;
    core_->slept += std::max(duration, Millis{0});
  }
  core_->AdvanceUntil(core_->DeadlineAfter(duration), [] { return false; });
}

Scheduler::TaskId VirtualTime::After(Millis delay, std::function<void()> action) {
  std::lock_guard lock(core_->mutex);
  const TaskId id = ++core_->lastId;
  const Millis due = core_->now + std::max(delay, Millis{0});
  core_->queue.emplace(Core::Key{due, id}, std::move(action));
  core_->dueOf.emplace(id, due);
  return id;
}

bool VirtualTime::Cancel(TaskId id) {
  std::function<void()> dropped;  // destroyed after the lock is released
  std::lock_guard lock(core_->mutex);
  const auto due = core_->dueOf.find(id);
  if (due == core_->dueOf.end()) return false;
  auto node = core_->queue.extract(Core::Key{due->second, id});
  core_->dueOf.erase(due);
  dropped = std::move(node.mapped());
  return true;
}

void VirtualTime::FailEventCreations(int count) {
  std::lock_guard lock(core_->mutex);
  core_->failCreations = count;
}

Millis VirtualTime::TotalSleep() const {
  std::lock_guard lock(core_->mutex);
  return core_->slept;
}

int VirtualTime::SleepCount() const {
  std::lock_guard lock(core_->mutex);
  return core_->sleeps;
}

int VirtualTime::WaitCount() const {
  std::lock_guard lock(core_->mutex);
  return core_->waits;
}

int VirtualTime::CreatedEventCount() const {
  std::lock_guard lock(core_->mutex);
  return core_->created;
}

int VirtualTime::RefusedEventCount() const {
  std::lock_guard lock(core_->mutex);
  return core_->refused;
}

int VirtualTime::LiveEventCount() const {
  std::lock_guard lock(core_->mutex);
  return core_->live;
}

std::size_t VirtualTime::ScheduledCount() const {
  std::lock_guard lock(core_->mutex);
  return core_->queue.size();
}

}  // namespace qfw::simbus
