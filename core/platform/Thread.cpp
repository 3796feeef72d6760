#include "platform/Thread.h"

#include <utility>

#include "platform/ProcessEnd.h"

namespace qfw {

ThreadRegistry::~ThreadRegistry() {
  JoinAll();
}

void ThreadRegistry::Adopt(std::thread thread) {
  std::lock_guard lock(mutex_);
  threads_.push_back(std::move(thread));
}

void ThreadRegistry::WorkerStarted() {
  std::lock_guard lock(mutex_);
  ++running_;
}

void ThreadRegistry::WorkerEnded() {
  std::function<void()> callback;
  {
    std::lock_guard lock(mutex_);
    --running_;
    callback = onEnded_;
  }
  changed_.notify_all();
  if (callback) callback();
}

int ThreadRegistry::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

void ThreadRegistry::JoinAll() {
  std::vector<std::thread> threads;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return running_ == 0; });
    threads.swap(threads_);
  }
  for (auto& t : threads) {
    if (t.joinable()) t.join();
  }
}

void ThreadRegistry::SetOnWorkerEnded(std::function<void()> callback) {
  std::lock_guard lock(mutex_);
  onEnded_ = std::move(callback);
}

TThread::TThread(ThreadServices& services, bool createSuspended) : services_(services) {
  if (!createSuspended) Start();
}

TThread::~TThread() {
  if (thread_.joinable()) thread_.join();
}

void TThread::Start() {
  if (started_) return;
  started_ = true;
  ThreadRegistry& registry = services_.registry;
  registry.WorkerStarted();
  if (FreeOnTerminate) {
    // The object deletes itself at the end of Body, possibly before Adopt
    // returns; the registry keeps the system thread so that it is joined
    // before the process ends.
    registry.Adopt(std::thread([this] { Body(); }));
  } else {
    thread_ = std::thread([this] { Body(); });
  }
}

void TThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TThread::Body() {
  ThreadServices& services = services_;
  int endStatus = -1;
  try {
    Execute();
  } catch (const ProcessEnd& end) {
    endStatus = end.status;
  }
  if (FreeOnTerminate) delete this;
  if (endStatus >= 0) services.ui.Quit(endStatus);
  services.registry.WorkerEnded();
}

}  // namespace qfw
