// A discrete-event clock for tests: waits and sleeps take no real time.
//
// Now() starts at 0 and moves only when the thread that waits advances it:
// SleepFor(d) moves it by d, and an event's Wait(timeout) moves it at most by
// timeout. On the way every scheduled action that falls due runs, in time
// order (actions due at the same time in the order they were scheduled), on
// the advancing thread and outside the clock's lock, so an action may set
// events, schedule more actions or take other locks.
//
// Event::Wait returns Signalled at once when the event is set. Otherwise it
// runs the next action due no later than its deadline, rechecks the event, and
// so on; when nothing more is due within the deadline, time moves to the
// deadline and the wait returns TimedOut. An action due exactly at the
// deadline still runs before the wait gives up.
//
// Thread safety: every member may be called from any thread. Only one thread
// at a time is expected to advance time (wait or sleep); other threads may set
// events and schedule actions meanwhile. A Set from another thread during a
// virtual wait is seen only at the wait's next recheck: virtual time does not
// stand still for real threads.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "platform/Events.h"
#include "simbus/Scheduler.h"

namespace qfw::simbus {

class VirtualTime final : public WaitServices, public Scheduler {
 public:
  // FailEventCreations(kEveryCreation): no event can be made from then on.
  static constexpr int kEveryCreation = -1;

  VirtualTime();
  ~VirtualTime() override;
  VirtualTime(const VirtualTime&) = delete;
  VirtualTime& operator=(const VirtualTime&) = delete;

  // WaitServices. CreateEvent returns null while creations are made to fail.
  std::shared_ptr<Event> CreateEvent() override;
  Millis Now() override;
  void SleepFor(Millis duration) override;

  // Scheduler.
  TaskId After(Millis delay, std::function<void()> action) override;
  bool Cancel(TaskId id) override;

  // The next count calls of CreateEvent fail (kEveryCreation: all of them
  // until the next call of this; 0: none).
  void FailEventCreations(int count);

  // What has happened so far.
  Millis TotalSleep() const;           // sum of the SleepFor durations
  int SleepCount() const;              // calls of SleepFor
  int WaitCount() const;               // calls of Event::Wait
  int CreatedEventCount() const;       // events handed out
  int RefusedEventCount() const;       // CreateEvent calls that returned null
  int LiveEventCount() const;          // events not yet destroyed (closed)
  std::size_t ScheduledCount() const;  // actions not yet run or cancelled

 private:
  struct Core;
  class VirtualEvent;
  std::shared_ptr<Core> core_;
};

}  // namespace qfw::simbus
