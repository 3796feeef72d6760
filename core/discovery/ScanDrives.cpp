// The start-up scan: loads the catalogue, walks host adapters 0 to 5 and
// targets 0 to 15 (LUN 0), and lists the CD-ROM class drives that answer an
// INQUIRY and that the catalogue (or, in manual mode, the vendor) admits.
#include "platform/ProcessEnd.h"
#include "ui/Mainunit.h"
#include "ui/Texts.h"

namespace qfw {

int TMainForm::ScanDrives() {
  if (LoadCatalogue() != 0) {
    messages.ShowMessage(text::kCatalogueError);
    EndProcess(0);
  }
  if (catalogue.FirmwareCount == 0) EnterManualMode();

  const std::uint32_t adapters = platform_.manager.GetASPI32SupportInfo() & 0xFFu;
  if (adapters == 0) {
    messages.ShowErrorBox(text::kNoHostAdapter);
    return -1;
  }

  int result = 1;
  for (std::uint8_t ha = 0; ha < kScannedAdapters; ++ha) {
    if (requests.HostAdapterInquiry(ha) != SS_COMP) continue;
    for (std::uint8_t t = 0; t < kScannedTargets; ++t) {
      if (requests.IsCdRomDevice(ha, t) != 0) continue;
      requests.FillInquiryBuffer();
      if (requests.InquiryDevice(ha, t, kInquiryLength) != 0) continue;
      const std::string text = requests.InquiryText();
      const int c = ClassifyDrive(text, catalogue);
      if (c == 1) continue;
      if (drives.DriveCount >= kDriveRows) continue;
      AddDriveItem(DriveListLine(ha, t, text));
      TDriveEntry& row = drives.DriveTable[static_cast<std::size_t>(drives.DriveCount)];
      row.HostAdapter = ha;
      row.Target = t;
      row.CatalogueIndex = (c == 2) ? -1 : LastMatchingRow(text, catalogue);
      ++drives.DriveCount;
      result = 0;
    }
  }
  SetItemIndex(ControlId::ComboBoxDrive, 0);
  return result;
}

}  // namespace qfw
