// What the window's logic asks of a screen layer. The logic keeps the state
// of every control (FormState) and reports each change; the screen layer
// shows it and turns the user's input into calls on TMainForm. All calls come
// on the UI thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/FormDescription.h"

namespace qfw {

struct ControlState {
  bool enabled = false;
  bool visible = false;
  std::string text;                // caption, edit text, status text
  std::vector<std::string> items;  // combo boxes
  int itemIndex = -1;              // combo boxes; -1: nothing selected
  bool checked = false;            // check box
  int progressMax = 0;             // progress bar (minimum 0)
  int progressPosition = 0;        // as set; shown at the nearer end when out of range

  bool operator==(const ControlState&) const = default;
};

// The state a control starts in, as the form description gives it.
ControlState InitialControlState(const ControlSpec& control);

// What changed in a ControlState.
enum class ControlChange {
  Enabled,
  Visible,
  Text,
  Items,
  ItemIndex,
  Checked,
  ProgressMax,
  Position
};

const char* ChangeName(ControlChange change);

class FormScreen {
 public:
  virtual ~FormScreen() = default;
  // A control's state changed; the new state is given whole.
  virtual void ControlChanged(ControlId id, ControlChange change, const ControlState& state) = 0;
  // Makes the window visible, centred on first showing, and brings it to the front.
  virtual void Show() = 0;
  // Closes the window; closing the main window ends the message loop with 0.
  virtual void Close() = 0;
  // Redraws the whole window at once, without waiting for the message loop.
  virtual void Repaint() = 0;
  // Runs the open dialog: nothing when the user cancels, else the full path
  // of the file chosen or typed (which need not exist).
  virtual std::optional<std::string> ChooseFile(const FileDialogSpec& dialog) = 0;
};

}  // namespace qfw
