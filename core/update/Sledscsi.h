// The transfer thread: has the firmware image sent to the selected drive block
// by block, every block but the last with WRITE BUFFER mode 4 (download
// microcode), the last after a pause of 100 ms with mode 5 (download and
// save). Each progress step and each block's exchange runs on the UI thread
// through the hand-off; this thread only sequences.
//
// After a failed block nothing more is sent to the drive: no further block and
// never the saving mode-5 block, since saving a broken download can leave the
// drive without working firmware.
#pragma once

#include <cstdint>

#include "platform/Thread.h"
#include "scsi/Cdb.h"

namespace qfw {

class TMainForm;

class TSledSCSI final : public TThread {
 public:
  TSledSCSI(TMainForm& form, bool createSuspended);

  // Number of mode-4 blocks handed off so far.
  std::uint32_t BlockIndex = 0;

 protected:
  void Execute() override;

 private:
  // UI thread: the progress bar shows the number of blocks already sent.
  void ShowBlockProgress();
  // UI thread: sends the block at TransferOffset with TransferMode; on
  // failure sets the outcome to 1 and raises this thread's stop request.
  void SendBlock();

  TMainForm& form_;
};

}  // namespace qfw
