#include "platform/SystemWaits.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace qfw {
namespace {

class SystemEvent final : public Event {
 public:
  void Set() override {
    {
      std::lock_guard lock(mutex_);
      signalled_ = true;
    }
    changed_.notify_all();
  }

  void Reset() override {
    std::lock_guard lock(mutex_);
    signalled_ = false;
  }

  WaitResult Wait(Millis timeout) override {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return signalled_; })) {
      return WaitResult::TimedOut;
    }
    signalled_ = false;
    return WaitResult::Signalled;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_ = false;
};

}  // namespace

std::shared_ptr<Event> SystemWaits::CreateEvent() {
  return std::make_shared<SystemEvent>();
}

Millis SystemWaits::Now() {
  return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

void SystemWaits::SleepFor(Millis duration) {
  std::this_thread::sleep_for(duration);
}

}  // namespace qfw
