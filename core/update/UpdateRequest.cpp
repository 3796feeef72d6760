// The UPDATE button: loads and checks the image, primes the drive, enters the
// busy state and starts the update thread. A refused request shows one notice
// and leaves the window idle with nothing sent to the drive.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "ui/Mainunit.h"
#include "ui/Texts.h"
#include "update/ImageLimits.h"
#include "update/Waitwrite.h"

namespace qfw {

namespace {

constexpr int kPrimingProbes = 5;

std::filesystem::path Resolve(const std::filesystem::path& workDir, const std::string& name) {
  std::filesystem::path path(name);
  return path.is_absolute() ? path : workDir / path;
}

}  // namespace

void TMainForm::ButtonSelectClick() {
  UpdateResult = kUpdateSuccess;
  if (!EnableBoxTicked()) {
    messages.ShowMessage(text::kEnableNotTicked);
    return;
  }
  SelectedDrive = DriveIndex();
  if (SelectedDrive < 0 || SelectedDrive >= drives.DriveCount) return;

  if (!ManualMode()) {
    const TFirmwareEntry& row = SelectedRow();
    if (!FitsWriteBuffer(row.ImageSize, row.BlockSize)) {
      messages.ShowMessage(text::kFirmwareTooLarge);
      return;
    }
    const std::string fileName(row.FileName, ::strnlen(row.FileName, sizeof row.FileName));
    if (LoadFirmwareFile(fileName, row.ImageSize) != 0) return;
  } else {
    const auto chosen = platform_.screen.ChooseFile(OpenDialogSpec());
    if (!chosen) {
      messages.ShowMessage(text::kCancel);
      return;
    }
    if (LoadFirmwareByDialog(*chosen) != 0) return;
    if (ValidateManualSizes() != 0) {
      FirmwareImage.Release();
      messages.ShowMessage(text::kManualSizeError);
      return;
    }
    const TFirmwareEntry& row = SelectedRow();
    if (!FitsWriteBuffer(row.ImageSize, row.BlockSize)) {
      FirmwareImage.Release();
      messages.ShowMessage(text::kFirmwareTooLarge);
      return;
    }
  }
  requests.SetFirmwareImage(FirmwareImage.data.get(), FirmwareImage.size);

  const TDriveEntry& drive = SelectedEntry();
  for (int i = 0; i < kPrimingProbes; ++i) requests.TestUnitReady(drive.HostAdapter, drive.Target);

  const TFirmwareEntry& row = SelectedRow();
  SetProgressMax(static_cast<int>(row.ImageSize / row.BlockSize));
  DisableControls();
  SetProgressPosition(0);
  SetStatusText(text::kStatusUpdating);
  Repaint();

  auto* update = new TWaitWrite(*this, true);
  update->FreeOnTerminate = true;
  update->Start();
}

int TMainForm::LoadFirmwareFile(const std::string& path, std::uint32_t size) {
  FirmwareImage.data = platform_.allocate(size);
  if (!FirmwareImage.data) {
    messages.ShowMessage(text::kNoMemory);
    return 1;
  }
  FirmwareImage.size = size;

  std::ifstream file(Resolve(platform_.workDir, path), std::ios::binary);
  if (!file.is_open()) {
    FirmwareImage.Release();
    messages.ShowMessage(text::kNoFirmwareFile);
    return 1;
  }
  file.read(reinterpret_cast<char*>(FirmwareImage.data.get()), static_cast<std::streamsize>(size));
  if (file.bad()) {
    FirmwareImage.Release();
    messages.ShowMessage(text::kFirmwareReadError);
    return 1;
  }
  // A file shorter than the catalogue's image size would leave part of the
  // buffer unwritten, and those bytes would go to the drive's flash.
  if (file.gcount() != static_cast<std::streamsize>(size)) {
    FirmwareImage.Release();
    messages.ShowMessage(text::kFirmwareTooShort);
    return 1;
  }
  return 0;
}

int TMainForm::LoadFirmwareByDialog(const std::string& fileName) {
  const std::filesystem::path path = Resolve(platform_.workDir, fileName);
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) {
    const int error = errno;
    throw std::runtime_error("Cannot open file \"" + fileName + "\". " +
                             std::generic_category().message(error ? error : ENOENT));
  }
  std::error_code sizeError;
  const auto length = std::filesystem::file_size(path, sizeError);
  if (sizeError) {
    throw std::runtime_error("Cannot read file \"" + fileName + "\". " + sizeError.message());
  }
  if (length > kLargestManualImage) {
    messages.ShowMessage(text::kFirmwareTooLarge);
    return 1;
  }
  SetText(ControlId::EditFS, std::to_string(length));

  const auto size = static_cast<std::size_t>(length);
  FirmwareImage.data = platform_.allocate(size);
  if (!FirmwareImage.data) {
    messages.ShowMessage(text::kNoMemory);
    return 1;
  }
  FirmwareImage.size = size;
  file.read(reinterpret_cast<char*>(FirmwareImage.data.get()), static_cast<std::streamsize>(size));
  if (file.gcount() != static_cast<std::streamsize>(size)) {
    FirmwareImage.Release();
    throw std::runtime_error("Cannot read file \"" + fileName + "\".");
  }
  return 0;
}

int TMainForm::ValidateManualSizes() {
  const std::string& imageText = State(ControlId::EditFS).text;
  const std::string& blockText = State(ControlId::EditBS).text;
  if (imageText.empty() || blockText.empty()) return 1;
  TFirmwareEntry& row = catalogue.FirmwareCatalogue[0];
  row.ImageSize = ConvertSizeField(imageText);
  row.BlockSize = ConvertSizeField(blockText);
  if (!SizesAcceptable(row.ImageSize, row.BlockSize)) return 1;
  std::memset(row.Version, 0, sizeof row.Version);
  std::memcpy(row.Version, kNoVersionCheck, std::strlen(kNoVersionCheck));
  SelectedEntry().CatalogueIndex = 0;
  return 0;
}

void TMainForm::ButtonAllClick() {
  if (SelectedDrive < 0 || SelectedDrive >= drives.DriveCount) return;
  const TDriveEntry& drive = SelectedEntry();
  requests.ResetDevice(drive.HostAdapter, drive.Target);
}

}  // namespace qfw
