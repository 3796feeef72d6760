// The main window as Qt widgets, built from the form description: one
// top-level QWidget with a fixed client area and every control as a child
// widget at its absolute position (no layouts), named as in the description
// so that it can be found with findChild.
//
// The window shows what the window's logic (TMainForm) reports through
// ControlChanged; changes made in code never raise the user's events. The
// user's input goes to the TMainForm given to Attach: a button click or a
// click on the check box to UserClick, a choice in a combo box (activated) to
// UserSelectItem. After each input the widget is set back to the logic's
// state, so the two never disagree (a check box toggles only when the logic
// toggled its tick).
//
// The window cannot be closed by the user (no close box, and a close request
// from the window system is refused); Close closes it and ends the message
// loop with 0. All calls on the UI thread.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/FormDescription.h"
#include "ui/Screen.h"

class QWidget;

namespace qfw {
class TMainForm;
}

namespace qfw::qt {

class QtUiThread;
class FormWindow;

class QtMainWindow final : public FormScreen {
 public:
  // Builds the window hidden, in the state of the form description.
  explicit QtMainWindow(QtUiThread& ui);
  ~QtMainWindow() override;
  QtMainWindow(const QtMainWindow&) = delete;
  QtMainWindow& operator=(const QtMainWindow&) = delete;

  // Sends the user's input to the form from now on, and shows the form's
  // current state. The form must outlive the window's use of it (it is only
  // called from the UI thread's event handling).
  void Attach(TMainForm& form);

  // FormScreen
  void ControlChanged(ControlId id, ControlChange change, const ControlState& state) override;
  void Show() override;
  void Close() override;
  void Repaint() override;
  // The file dialog as Qt's own widget dialog (the platform's dialogs may
  // refuse a name that does not exist); the path is in the local 8-bit
  // encoding of file names.
  std::optional<std::string> ChooseFile(const FileDialogSpec& dialog) override;

  QWidget* Window() const;
  QWidget* Control(ControlId id) const { return controls_[IndexOf(id)]; }

 private:
  void Build();
  void Wire(const ControlSpec& control);
  void SetTabOrder();
  void Centre();
  void ApplyAll(ControlId id, const ControlState& state);
  void Deliver(ControlId id, const std::function<void(TMainForm&)>& input);

  QtUiThread& ui_;
  std::unique_ptr<FormWindow> window_;
  std::array<QWidget*, kControlCount> controls_{};
  // What the logic last reported for each control.
  std::array<ControlState, kControlCount> shown_;
  TMainForm* form_ = nullptr;
  bool shownBefore_ = false;
};

}  // namespace qfw::qt
