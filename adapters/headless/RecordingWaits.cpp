#include "headless/RecordingWaits.h"

#include <string>
#include <utility>

namespace qfw::headless {
namespace {

// The event handed to the program (and through SRB_PostProc to the manager,
// which keeps it alive with shared_from_this); every call goes to the inner
// event.
class RecordingEvent final : public Event {
 public:
  RecordingEvent(std::shared_ptr<Event> inner, Transcript& transcript)
      : inner_(std::move(inner)), transcript_(transcript) {}

  void Set() override { inner_->Set(); }
  void Reset() override { inner_->Reset(); }
  WaitResult Wait(Millis timeout) override {
    const WaitResult result = inner_->Wait(timeout);
    if (result == WaitResult::TimedOut) {
      transcript_.Add("wait " + std::to_string(timeout.count()) + "ms timed out");
    } else if (result == WaitResult::Failed) {
      transcript_.Add("wait " + std::to_string(timeout.count()) + "ms failed");
    }
    return result;
  }

 private:
  std::shared_ptr<Event> inner_;
  Transcript& transcript_;
};

}  // namespace

std::shared_ptr<Event> RecordingWaits::CreateEvent() {
  std::shared_ptr<Event> inner = inner_.CreateEvent();
  if (!inner) {
    transcript_.Add("event refused");
    return nullptr;
  }
  return std::make_shared<RecordingEvent>(std::move(inner), transcript_);
}

}  // namespace qfw::headless
