// A screen without a window system: records every presentation and every
// change of the window in a transcript, closes each box at once (or hands it
// to a box handler first), and answers the file dialog from a queue that the
// script fills or from a dialog handler.
//
// Transcript lines:
//   beep
//   box <kind> <title> <text> flags=0xNNNN
//   status <text>
//   progress max=<n> | progress position=<n>
//   drive-list add <line> | drive-list replace <i> <line> | drive-list select <i>
//   enabled <Control>=<true|false> | visible <Control>=<true|false>
//   text <Control> <text> | select <Control> <i> | checked <Control>=<true|false>
//   window show | window close | repaint
//   file-dialog <path> | file-dialog cancel
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "headless/Transcript.h"
#include "platform/UiThread.h"
#include "ui/Presentations.h"
#include "ui/Screen.h"

namespace qfw::headless {

// The transcript line of a box.
std::string BoxLine(const Presentation& presentation);

class HeadlessScreen final : public FormScreen, public MessageScreen {
 public:
  HeadlessScreen(Transcript& transcript, UiThread& ui);

  // FormScreen
  void ControlChanged(ControlId id, ControlChange change, const ControlState& state) override;
  void Show() override;
  void Close() override;
  void Repaint() override;
  std::optional<std::string> ChooseFile(const FileDialogSpec& dialog) override;

  // MessageScreen
  void Beep() override;
  void Present(const Presentation& presentation) override;

  // The next answer of the file dialog: a path, or nothing for cancel. A
  // dialog without a queued answer goes to the dialog handler; without one it
  // is cancelled and noted in the transcript.
  void QueueFileAnswer(std::optional<std::string> answer);
  // Called with each box once it has been recorded, on the thread that shows
  // it; the box counts as closed when the handler returns. It may end the run
  // (EndProcess).
  void SetBoxHandler(std::function<void(const Presentation&)> handler);
  // Answers the file dialog when no queued answer is left (nothing: cancel).
  // It may end the run (EndProcess); the dialog is then not recorded.
  void SetFileDialogHandler(std::function<std::optional<std::string>()> handler);
  // Whether repaints are written to the transcript (they are by default).
  void RecordRepaints(bool record) { recordRepaints_ = record; }
  bool Visible() const { return visible_; }

 private:
  Transcript& transcript_;
  UiThread& ui_;
  std::mutex mutex_;
  std::deque<std::optional<std::string>> fileAnswers_;
  std::function<void(const Presentation&)> boxHandler_;
  std::function<std::optional<std::string>()> dialogHandler_;
  std::vector<std::string> driveItems_;
  bool visible_ = false;
  bool recordRepaints_ = true;
};

}  // namespace qfw::headless
