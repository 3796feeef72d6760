// The main window as data: the window's settings and every control with its
// parent, geometry, content, initial state, tab order and event. Screen layers
// build the real window from this; the window's logic starts from it.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace qfw {

enum class ControlId {
  GroupBox1,
  LabelFS,
  LabelBS,
  CheckBox1,
  ComboBoxDrive,
  EditFS,
  EditBS,
  ComboBoxBufferSize,
  ButtonSelect,
  ButtonAll,
  ButtonExit,
  ProgressBarUpdate,
  StatusBarInfo,
};
inline constexpr std::size_t kControlCount = 13;

enum class ControlKind {
  GroupBox,
  Label,
  CheckBox,
  ComboBox,
  Edit,
  Button,
  ProgressBar,
  StatusBar
};

// The event a control raises and the handler of the window bound to it.
enum class ControlEvent { None, Click, Change };

struct Bounds {
  int left, top, width, height;
};

struct ControlSpec {
  ControlId id;
  std::string_view name;
  ControlKind kind;
  std::optional<ControlId> parent;  // none: the window's client area
  Bounds bounds;                    // relative to the parent
  std::string_view text;            // caption, edit text or status text
  std::vector<std::string_view> items;
  bool enabled;
  bool visible;
  bool checked;
  int tabOrder;  // within the parent; -1: not a tab stop
  ControlEvent event;
  std::string_view handler;  // empty when there is no event
  int itemHeight;            // pick-only combo boxes
  int progressMin, progressMax, progressStep, progressPosition;
};

struct FileDialogSpec {
  std::string_view filterDescription;  // "Firmware BIN"
  std::string_view filterPattern;      // "*.bin"
  std::string_view initialDirectory;   // "."
  bool fileMustExist;                  // false: a typed name that does not exist is accepted
  bool hideReadOnly;
};

struct FormSpec {
  std::string_view name;
  std::string_view caption;
  int clientWidth, clientHeight;  // pixels at 96 pixels per inch
  std::string_view fontFamily;
  int fontPixelHeight;
  bool centred;               // centred on the screen when first shown
  int designLeft, designTop;  // stored position, not used
  // Window frame after creation: a caption bar and a thin border, and no
  // system menu, close, minimise or maximise box.
  bool captionBar, thinBorder, systemMenu, closeBox, minimiseBox, maximiseBox;
  bool initiallyVisible;
};

const FormSpec& MainFormSpec();
// The controls in the order of the form description.
const std::vector<ControlSpec>& MainFormControls();
const ControlSpec& ControlSpecOf(ControlId id);
const FileDialogSpec& OpenDialogSpec();

inline constexpr std::size_t IndexOf(ControlId id) {
  return static_cast<std::size_t>(id);
}

}  // namespace qfw
