#include "ui/Screen.h"

namespace qfw {

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
