#include "headless/HeadlessScreen.h"

#include <cstdio>

namespace qfw::headless {

namespace {
std::string Bool(bool value) {
  return value ? "true" : "false";
}
}  // namespace

HeadlessScreen::HeadlessScreen(Transcript& transcript, UiThread& ui)
    : transcript_(transcript), ui_(ui) {}

void HeadlessScreen::ControlChanged(ControlId id, ControlChange change, const ControlState& state) {
  const std::string name(ControlSpecOf(id).name);
  if (id == ControlId::StatusBarInfo && change == ControlChange::Text) {
    transcript_.Add("status " + Quote(state.text));
    return;
  }
  if (id == ControlId::ProgressBarUpdate && change == ControlChange::ProgressMax) {
    transcript_.Add("progress max=" + std::to_string(state.progressMax));
    return;
  }
  if (id == ControlId::ProgressBarUpdate && change == ControlChange::Position) {
    transcript_.Add("progress position=" + std::to_string(state.progressPosition));
    return;
  }
  switch (change) {
    case ControlChange::Enabled:
      transcript_.Add("enabled " + name + "=" + Bool(state.enabled));
      break;
    case ControlChange::Visible:
      transcript_.Add("visible " + name + "=" + Bool(state.visible));
      break;
    case ControlChange::Text:
      transcript_.Add("text " + name + " " + Quote(state.text));
      break;
    case ControlChange::Checked:
      transcript_.Add("checked " + name + "=" + Bool(state.checked));
      break;
    case ControlChange::Items:
      if (id == ControlId::ComboBoxDrive) {
        const auto& items = state.items;
        for (std::size_t i = 0; i < items.size(); ++i) {
          if (i >= driveItems_.size()) {
            transcript_.Add("drive-list add " + Quote(items[i]));
          } else if (items[i] != driveItems_[i]) {
            transcript_.Add("drive-list replace " + std::to_string(i) + " " + Quote(items[i]));
          }
        }
        driveItems_ = items;
      } else {
        transcript_.Add("items " + name);
      }
      break;
    case ControlChange::ItemIndex:
      if (id == ControlId::ComboBoxDrive) {
        transcript_.Add("drive-list select " + std::to_string(state.itemIndex));
      } else {
        transcript_.Add("select " + name + " " + std::to_string(state.itemIndex));
      }
      break;
    default:
      break;
  }
}

void HeadlessScreen::Show() {
  visible_ = true;
  transcript_.Add("window show");
}

void HeadlessScreen::Close() {
  transcript_.Add("window close");
  visible_ = false;
  ui_.Quit(0);
}

void HeadlessScreen::Repaint() {
  if (recordRepaints_) transcript_.Add("repaint");
}

std::optional<std::string> HeadlessScreen::ChooseFile(const FileDialogSpec& dialog) {
  std::optional<std::optional<std::string>> answer;
  std::function<std::optional<std::string>()> handler;
  {
    std::lock_guard lock(mutex_);
    if (!fileAnswers_.empty()) {
      answer = fileAnswers_.front();
      fileAnswers_.pop_front();
    }
    handler = dialogHandler_;
  }
  if (!answer && handler) answer.emplace(handler());
  const std::string filter =
      std::string(dialog.filterDescription) + "|" + std::string(dialog.filterPattern);
  if (!answer) {
    transcript_.Add("file-dialog " + Quote(filter) + " unexpected: cancel");
    return std::nullopt;
  }
  transcript_.Add("file-dialog " + Quote(filter) + " " + (*answer ? Quote(**answer) : "cancel"));
  return *answer;
}

void HeadlessScreen::Beep() {
  transcript_.Add("beep");
}

std::string BoxLine(const Presentation& p) {
  char flags[16];
  std::snprintf(flags, sizeof flags, "0x%04X", static_cast<unsigned>(p.flags));
  return std::string("box ") + KindName(p.kind) + " " + Quote(p.title) + " " + Quote(p.text) +
         " flags=" + flags;
}

void HeadlessScreen::Present(const Presentation& p) {
  transcript_.Add(BoxLine(p));
  std::function<void(const Presentation&)> handler;
  {
    std::lock_guard lock(mutex_);
    handler = boxHandler_;
  }
  if (handler) handler(p);
}

void HeadlessScreen::QueueFileAnswer(std::optional<std::string> answer) {
  std::lock_guard lock(mutex_);
  fileAnswers_.push_back(std::move(answer));
}

void HeadlessScreen::SetBoxHandler(std::function<void(const Presentation&)> handler) {
  std::lock_guard lock(mutex_);
  boxHandler_ = std::move(handler);
}

void HeadlessScreen::SetFileDialogHandler(std::function<std::optional<std::string>()> handler) {
  std::lock_guard lock(mutex_);
  dialogHandler_ = std::move(handler);
}

}  // namespace qfw::headless
