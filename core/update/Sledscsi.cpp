#include "update/Sledscsi.h"

#include "ui/Mainunit.h"

namespace qfw {

TSledSCSI::TSledSCSI(TMainForm& form, bool createSuspended)
    : TThread(form.threadServices, createSuspended), form_(form) {}

void TSledSCSI::Execute() {
  const TFirmwareEntry& row = form_.SelectedRow();
  const std::uint32_t blockSize = row.BlockSize;
  const std::uint32_t blocks = row.ImageSize / blockSize;

  form_.TransferMode = kModeDownload;
  form_.TransferOffset = 0;
  BlockIndex = 0;
  while (BlockIndex < blocks - 1) {
    if (Terminated()) return;
    Synchronize([this] { ShowBlockProgress(); });
    Synchronize([this] { SendBlock(); });
    form_.TransferOffset += blockSize;
    ++BlockIndex;
  }
  if (Terminated()) return;
  form_.requests.WaitTenthSecond();
  form_.TransferMode = kModeDownloadAndSave;
  Synchronize([this] { SendBlock(); });
}

void TSledSCSI::ShowBlockProgress() {
  form_.SetProgressPosition(static_cast<int>(BlockIndex));
}

void TSledSCSI::SendBlock() {
  const TDriveEntry& drive = form_.SelectedEntry();
  const int result = form_.requests.WriteBufferBlock(drive.HostAdapter, drive.Target,
                                                     form_.SelectedRow().BlockSize,
                                                     form_.TransferOffset, form_.TransferMode);
  if (result != 0) {
    form_.UpdateResult = kUpdateTransferFailed;
    Terminate();
  }
}

}  // namespace qfw
