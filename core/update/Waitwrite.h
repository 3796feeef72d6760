// The update thread: runs the transfer thread and waits for it, then checks
// the drive (one second's rest, five TEST UNIT READY probes, a new INQUIRY and
// the revision comparison), reports the outcome, and either returns the window
// to its idle state or ends the program with status 1 for the outcomes that
// ask for a reboot. It releases itself when it ends; nothing waits for it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Thread.h"

namespace qfw {

class TMainForm;

struct OutcomeBoxSpec {
  const char* text;
  std::uint32_t flags;
  bool endsProgram;  // exit status 1 once the box is closed
};

// The outcome box of an update result; any code but 0, 2, 3 and 4 reads as a
// failed update.
OutcomeBoxSpec OutcomeFor(std::int32_t updateResult);

class TWaitWrite final : public TThread {
 public:
  TWaitWrite(TMainForm& form, bool createSuspended);

 protected:
  void Execute() override;

 private:
  // UI-thread steps.
  void ShowResetWaiting();
  void RepaintMainForm();
  void ProbeUnitReady();
  void VerifyFirmware();
  void ClearProgress();
  void ReturnToIdle();

  TMainForm& form_;
};

}  // namespace qfw
