// Completion events, timed waits and the clock: the waiting services of the
// platform. Real time in the product, virtual time in the tests (a fake that
// advances instantly), so a whole update runs in milliseconds there.
#pragma once

#include <chrono>
#include <memory>

namespace qfw {

using Millis = std::chrono::milliseconds;

enum class WaitResult {
  Signalled,  // the event was set before the time ran out
  TimedOut,   // the time ran out
  Failed,     // the wait itself failed; counts as the end of the request
};

// An unnamed, auto-reset event, created unsignalled. Closing it is dropping
// the last reference; a manager that holds a pending request keeps its own
// reference (shared_from_this) so the event outlives a caller that stopped
// waiting.
class Event : public std::enable_shared_from_this<Event> {
 public:
  virtual ~Event() = default;
  virtual void Set() = 0;
  virtual void Reset() = 0;
  // Waits until the event is set or the time runs out; a successful wait
  // resets it.
  virtual WaitResult Wait(Millis timeout) = 0;
};

class WaitServices {
 public:
  virtual ~WaitServices() = default;
  // Null when no event can be made.
  virtual std::shared_ptr<Event> CreateEvent() = 0;
  // Monotonic time since an arbitrary start.
  virtual Millis Now() = 0;
  // Blocks the calling thread for the given time.
  virtual void SleepFor(Millis duration) = 0;
};

}  // namespace qfw
