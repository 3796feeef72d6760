#include "headless/HeadlessUiThread.h"

#include <memory>

#include "platform/ProcessEnd.h"

namespace qfw::headless {

namespace {
constexpr auto kSpin = std::chrono::microseconds(50);
}  // namespace

template <typename Condition>
bool HeadlessUiThread::SpinFor(Condition condition) {
  const auto until = std::chrono::steady_clock::now() + kSpin;
  do {
    if (condition()) return true;
    std::this_thread::yield();
  } while (std::chrono::steady_clock::now() < until);
  return condition();
}

HeadlessUiThread::HeadlessUiThread(ThreadRegistry& registry)
    : registry_(registry), uiThread_(std::this_thread::get_id()) {
  registry_.SetOnWorkerEnded([this] {
    { std::lock_guard lock(mutex_); }
    wake_.notify_all();
  });
}

HeadlessUiThread::~HeadlessUiThread() {
  registry_.SetOnWorkerEnded(nullptr);
}

void HeadlessUiThread::RunStep(const std::function<void()>& step) {
  try {
    step();
  } catch (const ProcessEnd& end) {
    Quit(end.status);
  }
}

int HeadlessUiThread::Run() {
  std::unique_lock lock(mutex_);
  uiThread_ = std::this_thread::get_id();
  bool spun = false;
  for (;;) {
    if (quit_) return status_;
    if (!queue_.empty()) {
      spun = false;
      auto step = std::move(queue_.front());
      queue_.pop_front();
      queued_.fetch_sub(1);
      lock.unlock();
      RunStep(step);
      lock.lock();
      continue;
    }
    if (idle_ && registry_.Running() == 0) {
      auto idle = idle_;
      lock.unlock();
      bool more = true;
      RunStep([&] { more = idle(); });
      lock.lock();
      if (!more && !quit_ && queue_.empty()) {
        quit_ = true;
        quitFlag_.store(true);
        status_ = kNoMoreInput;
      }
      continue;
    }
    if (!spun) {
      // Nothing to do right now: spin a moment before sleeping, then look at
      // everything again under the lock, so that no wake-up is lost.
      lock.unlock();
      SpinFor([this] { return queued_.load() > 0 || quitFlag_.load(); });
      lock.lock();
      spun = true;
      continue;
    }
    spun = false;
    wake_.wait(lock);
  }
}

void HeadlessUiThread::Quit(int status) {
  {
    std::lock_guard lock(mutex_);
    if (quit_) return;
    quit_ = true;
    quitFlag_.store(true);
    status_ = status;
  }
  wake_.notify_all();
}

void HeadlessUiThread::Synchronize(const std::function<void()>& step) {
  if (IsUiThread()) {
    step();
    return;
  }
  // Set under mutex_ once the step has run (or failed) on the UI thread.
  auto finished = std::make_shared<std::atomic<bool>>(false);
  {
    std::lock_guard lock(mutex_);
    if (quit_) return;
    queue_.push_back([this, &step, finished] {
      struct MarkFinished {
        HeadlessUiThread* loop;
        std::shared_ptr<std::atomic<bool>> flag;
        ~MarkFinished() {
          {
            std::lock_guard lock(loop->mutex_);
            flag->store(true);
          }
          loop->wake_.notify_all();
        }
      } mark{this, finished};
      step();
    });
    queued_.fetch_add(1);
  }
  wake_.notify_all();
  if (SpinFor([&] { return finished->load() || quitFlag_.load(); })) return;
  std::unique_lock lock(mutex_);
  wake_.wait(lock, [&] { return finished->load() || quit_; });
}

void HeadlessUiThread::Post(std::function<void()> step) {
  {
    std::lock_guard lock(mutex_);
    if (quit_) return;
    queue_.push_back(std::move(step));
    queued_.fetch_add(1);
  }
  wake_.notify_all();
}

bool HeadlessUiThread::IsUiThread() const {
  std::lock_guard lock(mutex_);
  return std::this_thread::get_id() == uiThread_;
}

void HeadlessUiThread::SetIdleHandler(std::function<bool()> handler) {
  std::lock_guard lock(mutex_);
  idle_ = std::move(handler);
}

bool HeadlessUiThread::Quitting() const {
  std::lock_guard lock(mutex_);
  return quit_;
}

}  // namespace qfw::headless
