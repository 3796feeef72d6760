// Runs actions after a delay: the clock that drives the simulated bus. Two
// implementations: VirtualTime (tests; actions fire on the thread that waits or
// sleeps in virtual time) and RealTimeScheduler (demo; actions fire on a timer
// thread in real time).
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Events.h"

namespace qfw::simbus {

class Scheduler {
 public:
  using TaskId = std::uint64_t;

  virtual ~Scheduler() = default;

  // The scheduler's own time, monotonic, from an arbitrary start.
  virtual Millis Now() = 0;

  // Runs action once, delay after now. Actions due at the same time run in the
  // order they were scheduled. An action may schedule further actions. Returns
  // an id for Cancel; ids are never 0.
  virtual TaskId After(Millis delay, std::function<void()> action) = 0;

  // Drops a scheduled action. True when it had not started yet and never will;
  // false when it has already run, is running right now, or is unknown. A
  // caller that must not race with a running action keeps its own guard.
  virtual bool Cancel(TaskId id) = 0;
};

}  // namespace qfw::simbus
