// Waiting services in real time: events on a condition variable, the steady
// clock, and sleeping the calling thread.
#pragma once

#include "platform/Events.h"

namespace qfw {

class SystemWaits final : public WaitServices {
 public:
  std::shared_ptr<Event> CreateEvent() override;
  Millis Now() override;
  void SleepFor(Millis duration) override;
};

}  // namespace qfw
