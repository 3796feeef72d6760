#include "qt/QtUiThread.h"

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QtGlobal>
#include <exception>
#include <utility>

#include "platform/ProcessEnd.h"

namespace qfw::qt {

// A step handed over with Synchronize; its state is guarded by the loop's mutex.
struct QtUiThread::Handed {
  enum class State { Queued, Running, Done };
  const std::function<void()>* step;
  State state = State::Queued;
};

namespace {

QEvent::Type DrainEvent() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

QEvent::Type ExitEvent() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

}  // namespace

class QtUiThread::Dispatcher final : public QObject {
 public:
  explicit Dispatcher(QtUiThread& owner) : owner_(owner) {}

  bool event(QEvent* event) override { return owner_.OnEvent(*event) || QObject::event(event); }

 private:
  QtUiThread& owner_;
};

QtUiThread::QtUiThread() : dispatcher_(std::make_unique<Dispatcher>(*this)) {
  // Both event types exist before any worker can post one.
  DrainEvent();
  ExitEvent();
  QApplication::setQuitOnLastWindowClosed(false);
}

QtUiThread::~QtUiThread() = default;

int QtUiThread::Run() {
  {
    std::lock_guard lock(mutex_);
    if (quit_) return status_;
  }
  const int loopStatus = QApplication::exec();
  {
    std::lock_guard lock(mutex_);
    if (!quit_) {
      // Ended by someone else's QCoreApplication::exit: that is the end too.
      quit_ = true;
      status_ = loopStatus;
      queue_.clear();
    }
  }
  changed_.notify_all();
  std::lock_guard lock(mutex_);
  return status_;
}

void QtUiThread::Quit(int status) {
  std::deque<Item> dropped;
  {
    std::lock_guard lock(mutex_);
    if (quit_) return;
    quit_ = true;
    status_ = status;
    dropped.swap(queue_);
    // Posted even on the UI thread: a QCoreApplication::exit made before exec
    // has started would be forgotten by exec.
    PostEvent(ExitEvent());
  }
  changed_.notify_all();
}

void QtUiThread::Synchronize(const std::function<void()>& step) {
  if (IsUiThread()) {
    step();
    return;
  }
  auto handed = std::make_shared<Handed>(Handed{&step});
  std::unique_lock lock(mutex_);
  if (quit_) return;
  queue_.push_back(Item{{}, handed});
  PostEvent(DrainEvent());
  // A step that the UI thread has started is waited for to its end.
  changed_.wait(lock, [&] {
    return handed->state == Handed::State::Done ||
           (quit_ && handed->state == Handed::State::Queued);
  });
}

void QtUiThread::Post(std::function<void()> step) {
  std::lock_guard lock(mutex_);
  if (quit_) return;
  queue_.push_back(Item{std::move(step), nullptr});
  PostEvent(DrainEvent());
}

bool QtUiThread::IsUiThread() const {
  return QThread::currentThread() == dispatcher_->thread();
}

void QtUiThread::PostEvent(int type) {
  QCoreApplication::postEvent(dispatcher_.get(), new QEvent(static_cast<QEvent::Type>(type)));
}

bool QtUiThread::OnEvent(const QEvent& event) {
  std::unique_lock lock(mutex_);
  const QEvent::Type type = event.type();
  if (type == ExitEvent()) {
    const int status = status_;
    lock.unlock();
    QCoreApplication::exit(status);
    return true;
  }
  if (type == DrainEvent()) {
    lock.unlock();
    Drain();
    return true;
  }
  return false;
}

void QtUiThread::Drain() {
  // A step further up this stack runs a nested loop; it drains the rest when
  // it has returned.
  if (draining_) return;
  draining_ = true;
  for (;;) {
    Item item;
    {
      std::lock_guard lock(mutex_);
      if (quit_ || queue_.empty()) break;
      item = std::move(queue_.front());
      queue_.pop_front();
      if (item.handed) item.handed->state = Handed::State::Running;
    }
    if (!item.handed) {
      Guard(item.posted);
      continue;
    }
    Guard(*item.handed->step);
    {
      std::lock_guard lock(mutex_);
      item.handed->state = Handed::State::Done;
    }
    changed_.notify_all();
  }
  draining_ = false;
}

void QtUiThread::Guard(const std::function<void()>& code) {
  try {
    code();
  } catch (const ProcessEnd& end) {
    Quit(end.status);
  } catch (const std::exception& failure) {
    Report(failure.what());
  } catch (...) {
    qCritical("qfw: a step failed with an exception of unknown type");
  }
}

void QtUiThread::SetFailureReport(std::function<void(const std::string&)> report) {
  report_ = std::move(report);
}

void QtUiThread::Report(const std::string& message) {
  if (!report_) {
    qCritical("qfw: unhandled failure: %s", message.c_str());
    return;
  }
  try {
    report_(message);
  } catch (const ProcessEnd& end) {
    Quit(end.status);
  } catch (...) {
    qCritical("qfw: the failure report itself failed: %s", message.c_str());
  }
}

}  // namespace qfw::qt
