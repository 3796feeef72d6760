// Passes the waiting services on and writes into a transcript every wait that
// ran out of time and every event that could not be made:
//   wait 1000ms timed out
//   event refused
// The program's pauses are waits on an event that nobody sets, so they show
// here too; waits that end because the request ended are not written.
#pragma once

#include <memory>

#include "headless/Transcript.h"
#include "platform/Events.h"

namespace qfw::headless {

class RecordingWaits final : public WaitServices {
 public:
  RecordingWaits(WaitServices& inner, Transcript& transcript)
      : inner_(inner), transcript_(transcript) {}

  std::shared_ptr<Event> CreateEvent() override;
  Millis Now() override { return inner_.Now(); }
  void SleepFor(Millis duration) override { inner_.SleepFor(duration); }

 private:
  WaitServices& inner_;
  Transcript& transcript_;
};

}  // namespace qfw::headless
