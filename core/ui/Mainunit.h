// The main window: its controls' state, its handlers and state operations,
// and the program data that the scan and the update work on.
//
// Everything here runs on the UI thread, except where a comment says
// otherwise. The update threads reach the window through the reference they
// are given and hand every step that touches the window or the bus to the UI
// thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "catalogue/Catalogue.h"
#include "discovery/DriveTable.h"
#include "platform/AspiManager.h"
#include "platform/Events.h"
#include "platform/Thread.h"
#include "platform/UiThread.h"
#include "scsi/Requests.h"
#include "ui/FormDescription.h"
#include "ui/Presentations.h"
#include "ui/Screen.h"

namespace qfw {

class TMainForm;

// The platform services the program runs on.
struct Platform {
  AspiManager& manager;
  WaitServices& waits;
  MessageScreen& messageScreen;
  FormScreen& screen;
  UiThread& ui;
  ThreadRegistry& threads;
  // The current directory: where Tavrin.ini and relative image names are found.
  std::filesystem::path workDir = ".";
  // Allocates an image buffer; null when the memory cannot be had.
  std::function<std::unique_ptr<std::uint8_t[]>(std::size_t)> allocate;
  // Called once the main window object exists, before its creation handler
  // runs: where a screen layer connects the user's input to the window.
  std::function<void(TMainForm&)> formCreated;
};

// The one heap buffer holding the image of the current update.
struct FirmwareImageBuffer {
  std::unique_ptr<std::uint8_t[]> data;
  std::size_t size = 0;
  // How many buffers have been released so far (one per finished update).
  int releases = 0;

  bool Held() const { return data != nullptr; }
  void Release();
};

// Update outcome codes.
inline constexpr std::int32_t kUpdateSuccess = 0;
inline constexpr std::int32_t kUpdateTransferFailed = 1;
inline constexpr std::int32_t kUpdateInquiryFailed = 2;
inline constexpr std::int32_t kUpdateTimeout = 3;
inline constexpr std::int32_t kUpdateVersionMismatch = 4;

class TMainForm {
 public:
  // Builds every control from the form description; the window is hidden.
  explicit TMainForm(Platform& platform);
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // Creation handler: scans, then shows the window or ends the process.
  void FormCreate();

  // Event handlers.
  void ButtonSelectClick();
  void ButtonExitClick();
  void CheckBox1Click();
  void ComboBoxDriveChange();
  void ButtonAllClick();
  void ComboBoxBufferSizeChange();

  // The user's input, as a screen layer reports it. Input on a disabled or
  // hidden control is ignored. A failure that escapes the handler is shown in
  // the exception box and the loop goes on.
  void UserClick(ControlId id);
  void UserSelectItem(ControlId id, int index);

  // State operations.
  void EnterManualMode();
  void DisableControls();
  void EnableControls();

  // Start-up scan and the steps it is made of.
  int ScanDrives();
  int LoadCatalogue();

  // Update request steps.
  int LoadFirmwareFile(const std::string& path, std::uint32_t size);
  int LoadFirmwareByDialog(const std::string& fileName);
  int ValidateManualSizes();

  // Screen operations.
  const ControlState& State(ControlId id) const { return controls_[IndexOf(id)]; }
  void SetEnabled(ControlId id, bool enabled);
  void SetVisible(ControlId id, bool visible);
  void SetText(ControlId id, const std::string& text);
  void SetStatusText(const std::string& text) { SetText(ControlId::StatusBarInfo, text); }
  void SetProgressMax(int max);
  void SetProgressPosition(int position);
  void AddDriveItem(const std::string& line);
  void ReplaceDriveItem(int index, const std::string& line);
  void SetItemIndex(ControlId id, int index);
  int DriveIndex() const { return State(ControlId::ComboBoxDrive).itemIndex; }
  bool EnableBoxTicked() const { return State(ControlId::CheckBox1).checked; }
  void Repaint() { platform_.screen.Repaint(); }
  void Show();
  void Close();

  // The catalogue row of the drive being updated.
  TFirmwareEntry& SelectedRow();
  TDriveEntry& SelectedEntry();
  bool ManualMode() const { return catalogue.FirmwareCount == 0; }

  Platform& platform() { return platform_; }

  // Program data.
  FirmwareTable catalogue;
  DriveTableData drives;
  std::int32_t SelectedDrive = 0;
  FirmwareImageBuffer FirmwareImage;
  std::uint32_t TransferOffset = 0;
  std::uint8_t TransferMode = 0;
  // Outcome of the current update; written on the UI thread only.
  std::int32_t UpdateResult = 0;

  Messages messages;
  RequestLayer requests;
  ThreadServices threadServices;

 private:
  void Changed(ControlId id, ControlChange change);
  void Dispatch(const std::function<void()>& handler);

  Platform& platform_;
  std::array<ControlState, kControlCount> controls_;
};

}  // namespace qfw
