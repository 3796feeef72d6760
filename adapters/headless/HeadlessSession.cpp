#include "headless/HeadlessSession.h"

#include <optional>
#include <utility>

#include "app/Application.h"
#include "headless/RecordingWaits.h"
#include "platform/ProcessEnd.h"

namespace qfw::headless {

HeadlessSession::HeadlessSession(std::filesystem::path workDir) : workDir_(std::move(workDir)) {}

void HeadlessSession::Step(std::function<void(TMainForm&)> step) {
  steps_.push_back(std::move(step));
}

void HeadlessSession::SetUser(std::function<bool(TMainForm&)> act) {
  user_ = std::move(act);
}

int HeadlessSession::RunProgram(AspiManager& manager, WaitServices& waits, const Options& options) {
  recording_ = std::make_unique<RecordingManager>(manager, transcript_);
  std::optional<RecordingWaits> recordingWaits;
  if (options.recordWaits) recordingWaits.emplace(waits, transcript_);
  WaitServices& programWaits = recordingWaits ? static_cast<WaitServices&>(*recordingWaits) : waits;

  Platform platform{*recording_, programWaits, screen_, screen_, ui_, registry_, workDir_, {}, {}};
  platform.allocate = options.allocate;
  platform.formCreated = [this](TMainForm& form) { form_ = &form; };
  ui_.SetIdleHandler([this] {
    if (form_ == nullptr) return false;
    if (user_) return user_(*form_);
    if (nextStep_ >= steps_.size()) return false;
    steps_[nextStep_++](*form_);
    return true;
  });

  int status = 0;
  try {
    status = ProgramMain(platform);
  } catch (const ProcessEnd& end) {
    // Only a box shown while the program reports a failure outside every
    // handler can end the run from there; no worker thread exists then.
    registry_.JoinAll();
    status = end.status;
  }
  ui_.SetIdleHandler(nullptr);
  form_ = nullptr;
  return status;
}

}  // namespace qfw::headless
