#include "update/Waitwrite.h"

#include <cstring>
#include <memory>

#include "platform/ProcessEnd.h"
#include "ui/Mainunit.h"
#include "ui/Texts.h"
#include "update/Sledscsi.h"

namespace qfw {

namespace {
constexpr int kProbes = 5;
}  // namespace

OutcomeBoxSpec OutcomeFor(std::int32_t updateResult) {
  switch (updateResult) {
    case kUpdateSuccess:
      return {text::kOutcomeSuccess, MB_SYSTEMMODAL | MB_ICONINFORMATION, false};
    case kUpdateInquiryFailed:
      return {text::kOutcomeInquiryFail, MB_SYSTEMMODAL | MB_ICONEXCLAMATION, true};
    case kUpdateTimeout:
      return {text::kOutcomeTimeout, MB_SYSTEMMODAL | MB_ICONEXCLAMATION, true};
    case kUpdateVersionMismatch:
      return {text::kOutcomeVersion, MB_SYSTEMMODAL | MB_ICONQUESTION, false};
    default:
      return {text::kOutcomeFailed, MB_SYSTEMMODAL | MB_ICONHAND, false};
  }
}

TWaitWrite::TWaitWrite(TMainForm& form, bool createSuspended)
    : TThread(form.threadServices, createSuspended), form_(form) {}

void TWaitWrite::Execute() {
  {
    // Owned here and released only after the wait has returned, so it stays
    // awaitable for as long as this thread waits on it.
    auto transfer = std::make_unique<TSledSCSI>(form_, true);
    transfer->Start();
    transfer->WaitFor();
  }

  if (form_.UpdateResult == kUpdateSuccess) {
    Synchronize([this] { ShowResetWaiting(); });
    Synchronize([this] { RepaintMainForm(); });
    form_.requests.WaitOneSecond();
    for (int i = 0; i < kProbes; ++i) Synchronize([this] { ProbeUnitReady(); });
    Synchronize([this] { VerifyFirmware(); });
  }

  const OutcomeBoxSpec outcome = OutcomeFor(form_.UpdateResult);
  form_.messages.OutcomeBox(outcome.text, outcome.flags);
  if (outcome.endsProgram) EndProcess(1);

  Synchronize([this] { ReturnToIdle(); });
  Synchronize([this] { RepaintMainForm(); });
  Synchronize([this] { ClearProgress(); });
  Synchronize([this] { RepaintMainForm(); });
}

void TWaitWrite::ShowResetWaiting() {
  form_.SetStatusText(text::kStatusResetWaiting);
}

void TWaitWrite::RepaintMainForm() {
  form_.Repaint();
}

void TWaitWrite::ProbeUnitReady() {
  const TDriveEntry& drive = form_.SelectedEntry();
  if (form_.requests.TestUnitReady(drive.HostAdapter, drive.Target) == 2) {
    form_.UpdateResult = kUpdateTimeout;
  }
}

void TWaitWrite::VerifyFirmware() {
  const TDriveEntry& drive = form_.SelectedEntry();
  form_.requests.FillInquiryBuffer();
  const int result = form_.requests.InquiryDevice(drive.HostAdapter, drive.Target, kInquiryLength);
  if (result == 1) {
    form_.UpdateResult = kUpdateInquiryFailed;
    return;
  }
  if (result == 2) {
    form_.UpdateResult = kUpdateTimeout;
    return;
  }
  const std::string text = form_.requests.InquiryText();

  const TFirmwareEntry& row = form_.SelectedRow();
  const std::string version(row.Version, ::strnlen(row.Version, sizeof row.Version));
  if (version != kNoVersionCheck) {
    // The revision is characters 24 to 27 of the text; past the text's end
    // stand zero bytes, so a version longer than four characters never matches.
    for (std::size_t i = 0; i < version.size(); ++i) {
      const std::size_t at = 24 + i;
      const char reported = at < text.size() ? text[at] : '\0';
      if (reported != version[i]) {
        form_.UpdateResult = kUpdateVersionMismatch;
        break;
      }
    }
  }
  form_.SetStatusText(text::kStatusVersionPrefix + version);
  form_.ReplaceDriveItem(form_.DriveIndex(), DriveListLine(drive.HostAdapter, drive.Target, text));
  form_.SetItemIndex(ControlId::ComboBoxDrive, form_.SelectedDrive);
}

void TWaitWrite::ClearProgress() {
  form_.SetProgressPosition(0);
}

void TWaitWrite::ReturnToIdle() {
  form_.EnableControls();
  form_.SetStatusText(text::kStatusIdle);
}

}  // namespace qfw
