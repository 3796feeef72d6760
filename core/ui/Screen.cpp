#include "ui/Screen.h"

namespace qfw {

ControlState InitialControlState(const ControlSpec& control) {
  ControlState state;
  state.enabled = control.enabled;
  state.visible = control.visible;
  state.text = std::string(control.text);
  for (auto item : control.items) state.items.emplace_back(item);
  state.checked = control.checked;
  state.progressMax = control.progressMax;
  state.progressPosition = control.progressPosition;
  return state;
}

const char* ChangeName(ControlChange change) {
  switch (change) {
    case ControlChange::Enabled:
      return "enabled";
    case ControlChange::Visible:
      return "visible";
    case ControlChange::Text:
      return "text";
    case ControlChange::Items:
      return "items";
    case ControlChange::ItemIndex:
      return "index";
    case ControlChange::Checked:
      return "checked";
    case ControlChange::ProgressMax:
      return "max";
    case ControlChange::Position:
      return "position";
  }
  return "?";
}

}  // namespace qfw
