#include "ui/FormDescription.h"

#include <utility>

#include "ui/Texts.h"

namespace qfw {

const FormSpec& MainFormSpec() {
  static const FormSpec form{
      .name = "MainForm",
      .caption = text::kWindowCaption,
      .clientWidth = 393,
      .clientHeight = 101,
      .fontFamily = "Arial",
      .fontPixelHeight = 11,
      .centred = true,
      .designLeft = 484,
      .designTop = 107,
      .captionBar = true,
      .thinBorder = true,
      .systemMenu = false,
      .closeBox = false,
      .minimiseBox = false,
      .maximiseBox = false,
      .initiallyVisible = false,
  };
  return form;
}

namespace {

ControlSpec Make(ControlId id, std::string_view name, ControlKind kind,
                 std::optional<ControlId> parent, Bounds bounds, std::string_view text,
                 bool enabled, bool visible, int tabOrder) {
  return ControlSpec{id, name,    kind,    parent, bounds,   text,
                     {}, enabled, visible, false,  tabOrder, ControlEvent::None,
                     {}, 0,       0,       0,      0,        0};
}

// The control with the event it raises and the window's handler for it.
ControlSpec Handled(ControlSpec control, ControlEvent event, std::string_view handler) {
  control.event = event;
  control.handler = handler;
  return control;
}

// A pick-only drop-down list.
ControlSpec PickList(ControlSpec control, std::vector<std::string_view> items) {
  control.items = std::move(items);
  control.itemHeight = 14;
  return control;
}

std::vector<ControlSpec> BuildControls() {
  using enum ControlId;
  using K = ControlKind;
  using E = ControlEvent;
  std::vector<ControlSpec> c;
  c.push_back(Make(GroupBox1, "GroupBox1", K::GroupBox, std::nullopt, {0, 3, 289, 78},
                   "DRIVE Information", true, true, 0));
  c.push_back(
      Make(LabelFS, "LabelFS", K::Label, GroupBox1, {8, 44, 31, 14}, "File(B)", false, false, -1));
  c.push_back(Make(LabelBS, "LabelBS", K::Label, GroupBox1, {9, 45, 67, 14}, "BufferSize(B)", false,
                   false, -1));
  auto check = Handled(Make(CheckBox1, "CheckBox1", K::CheckBox, GroupBox1, {185, 39, 101, 25},
                            "Update Enable", true, true, 1),
                       E::Click, "CheckBox1Click");
  check.checked = true;
  c.push_back(check);
  c.push_back(Handled(PickList(Make(ComboBoxDrive, "ComboBoxDrive", K::ComboBox, GroupBox1,
                                    {8, 16, 273, 22}, "", true, true, 0),
                               {}),
                      E::Change, "ComboBoxDriveChange"));
  c.push_back(Make(EditFS, "EditFS", K::Edit, GroupBox1, {48, 40, 47, 22}, "", false, false, 2));
  c.push_back(
      Make(EditBS, "EditBS", K::Edit, GroupBox1, {123, 40, 49, 22}, "8192", false, false, 3));
  c.push_back(Handled(PickList(Make(ComboBoxBufferSize, "ComboBoxBufferSize", K::ComboBox,
                                    GroupBox1, {81, 40, 68, 22}, "", false, false, 4),
                               {"8192", "16384", "32768"}),
                      E::Change, "ComboBoxBufferSizeChange"));
  c.push_back(Handled(Make(ButtonSelect, "ButtonSelect", K::Button, std::nullopt, {294, 8, 97, 25},
                           "UPDATE", true, true, 1),
                      E::Click, "ButtonSelectClick"));
  c.push_back(Handled(Make(ButtonAll, "ButtonAll", K::Button, std::nullopt, {294, 32, 97, 25},
                           "UPDATE All", false, true, 2),
                      E::Click, "ButtonAllClick"));
  c.push_back(Handled(Make(ButtonExit, "ButtonExit", K::Button, std::nullopt, {294, 56, 97, 25},
                           "Exit", true, true, 3),
                      E::Click, "ButtonExitClick"));
  auto progress = Make(ProgressBarUpdate, "ProgressBarUpdate", K::ProgressBar, std::nullopt,
                       {6, 67, 275, 10}, "", true, true, 4);
  progress.progressMax = 20;
  progress.progressStep = 1;
  c.push_back(progress);
  c.push_back(Make(StatusBarInfo, "StatusBarInfo", K::StatusBar, std::nullopt, {0, 84, 393, 17},
                   text::kStatusStart, true, true, -1));
  return c;
}

}  // namespace

const std::vector<ControlSpec>& MainFormControls() {
  static const std::vector<ControlSpec> controls = BuildControls();
  return controls;
}

const ControlSpec& ControlSpecOf(ControlId id) {
  for (const auto& c : MainFormControls()) {
    if (c.id == id) return c;
  }
  return MainFormControls().front();
}

const FileDialogSpec& OpenDialogSpec() {
  static const FileDialogSpec dialog{"Firmware BIN", "*.bin", ".", false, true};
  return dialog;
}

}  // namespace qfw
