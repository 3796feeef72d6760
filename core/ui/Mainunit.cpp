#include "ui/Mainunit.h"

#include <exception>
#include <new>

#include "platform/ProcessEnd.h"
#include "ui/Texts.h"

namespace qfw {

void FirmwareImageBuffer::Release() {
  if (!data) return;
  data.reset();
  size = 0;
  ++releases;
}

TMainForm::TMainForm(Platform& platform)
    : messages(platform.messageScreen),
      requests(platform.manager, platform.waits, messages),
      threadServices{platform.ui, platform.threads},
      platform_(platform) {
  if (!platform_.allocate) {
    platform_.allocate = [](std::size_t size) {
      return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[size]);
    };
  }
  for (const auto& control : MainFormControls()) {
    controls_[IndexOf(control.id)] = InitialControlState(control);
  }
}

void TMainForm::Changed(ControlId id, ControlChange change) {
  platform_.screen.ControlChanged(id, change, controls_[IndexOf(id)]);
}

void TMainForm::SetEnabled(ControlId id, bool enabled) {
  controls_[IndexOf(id)].enabled = enabled;
  Changed(id, ControlChange::Enabled);
}

void TMainForm::SetVisible(ControlId id, bool visible) {
  controls_[IndexOf(id)].visible = visible;
  Changed(id, ControlChange::Visible);
}

void TMainForm::SetText(ControlId id, const std::string& text) {
  controls_[IndexOf(id)].text = text;
  Changed(id, ControlChange::Text);
}

void TMainForm::SetProgressMax(int max) {
  controls_[IndexOf(ControlId::ProgressBarUpdate)].progressMax = max;
  Changed(ControlId::ProgressBarUpdate, ControlChange::ProgressMax);
}

void TMainForm::SetProgressPosition(int position) {
  controls_[IndexOf(ControlId::ProgressBarUpdate)].progressPosition = position;
  Changed(ControlId::ProgressBarUpdate, ControlChange::Position);
}

void TMainForm::AddDriveItem(const std::string& line) {
  controls_[IndexOf(ControlId::ComboBoxDrive)].items.push_back(line);
  Changed(ControlId::ComboBoxDrive, ControlChange::Items);
}

void TMainForm::ReplaceDriveItem(int index, const std::string& line) {
  auto& items = controls_[IndexOf(ControlId::ComboBoxDrive)].items;
  if (index < 0 || static_cast<std::size_t>(index) >= items.size()) return;
  items[static_cast<std::size_t>(index)] = line;
  Changed(ControlId::ComboBoxDrive, ControlChange::Items);
}

void TMainForm::SetItemIndex(ControlId id, int index) {
  auto& state = controls_[IndexOf(id)];
  state.itemIndex =
      (index >= 0 && static_cast<std::size_t>(index) < state.items.size()) ? index : -1;
  Changed(id, ControlChange::ItemIndex);
}

void TMainForm::Show() {
  platform_.screen.Show();
}

void TMainForm::Close() {
  platform_.screen.Close();
}

TDriveEntry& TMainForm::SelectedEntry() {
  return drives.DriveTable[static_cast<std::size_t>(SelectedDrive)];
}

TFirmwareEntry& TMainForm::SelectedRow() {
  return catalogue.FirmwareCatalogue[static_cast<std::size_t>(SelectedEntry().CatalogueIndex)];
}

void TMainForm::EnterManualMode() {
  SetEnabled(ControlId::LabelBS, true);
  SetVisible(ControlId::LabelBS, true);
  SetEnabled(ControlId::EditFS, true);
  SetEnabled(ControlId::EditBS, true);
  SetEnabled(ControlId::ComboBoxBufferSize, true);
  SetVisible(ControlId::ComboBoxBufferSize, true);
  SetItemIndex(ControlId::ComboBoxBufferSize, 0);
  SetEnabled(ControlId::ButtonAll, false);
}

void TMainForm::DisableControls() {
  SetEnabled(ControlId::ComboBoxDrive, false);
  SetEnabled(ControlId::ButtonSelect, false);
  SetEnabled(ControlId::ButtonExit, false);
  SetEnabled(ControlId::CheckBox1, false);
}

void TMainForm::EnableControls() {
  SetEnabled(ControlId::ComboBoxDrive, true);
  SetEnabled(ControlId::ButtonSelect, true);
  SetEnabled(ControlId::ButtonExit, true);
  SetEnabled(ControlId::CheckBox1, true);
  SetProgressPosition(0);
  FirmwareImage.Release();
  requests.SetFirmwareImage(nullptr, 0);
}

void TMainForm::ComboBoxBufferSizeChange() {
  const auto& sizes = State(ControlId::ComboBoxBufferSize);
  if (sizes.itemIndex < 0) return;
  SetText(ControlId::EditBS, sizes.items[static_cast<std::size_t>(sizes.itemIndex)]);
}

// The tick is read when UPDATE is pressed; the click itself changes nothing else.
void TMainForm::CheckBox1Click() {}

// The selection is read when UPDATE is pressed.
void TMainForm::ComboBoxDriveChange() {}

void TMainForm::ButtonExitClick() {
  Close();
}

void TMainForm::Dispatch(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const ProcessEnd&) {
    throw;
  } catch (const std::exception& failure) {
    messages.ShowException(failure.what());
  }
}

void TMainForm::UserClick(ControlId id) {
  const auto& state = State(id);
  if (!state.enabled || !state.visible) return;
  switch (id) {
    case ControlId::ButtonSelect:
      Dispatch([this] { ButtonSelectClick(); });
      break;
    case ControlId::ButtonExit:
      Dispatch([this] { ButtonExitClick(); });
      break;
    case ControlId::ButtonAll:
      Dispatch([this] { ButtonAllClick(); });
      break;
    case ControlId::CheckBox1:
      controls_[IndexOf(id)].checked = !state.checked;
      Changed(id, ControlChange::Checked);
      Dispatch([this] { CheckBox1Click(); });
      break;
    default:
      break;
  }
}

void TMainForm::UserSelectItem(ControlId id, int index) {
  const auto& state = State(id);
  if (!state.enabled || !state.visible) return;
  if (index < 0 || static_cast<std::size_t>(index) >= state.items.size()) return;
  SetItemIndex(id, index);
  if (id == ControlId::ComboBoxDrive) Dispatch([this] { ComboBoxDriveChange(); });
  if (id == ControlId::ComboBoxBufferSize) Dispatch([this] { ComboBoxBufferSizeChange(); });
}

int TMainForm::LoadCatalogue() {
  return LoadCatalogueFile(platform_.workDir, catalogue);
}

}  // namespace qfw
