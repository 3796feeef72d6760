#include "session/ScriptedUser.h"

#include <algorithm>
#include <cstdio>

#include "platform/ProcessEnd.h"
#include "ui/FormDescription.h"

namespace qfw::session {
namespace {

// The text on one line: bytes outside printable ASCII as \xNN.
std::string Printable(std::string_view text) {
  std::string out;
  for (char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte >= 0x20 && byte < 0x7F) {
      out.push_back(ch);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    }
  }
  return out;
}

std::string DescribeBox(const Presentation& box) {
  return std::string(KindName(box.kind)) + " " + headless::Quote(box.text);
}

std::string Lines(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " line" : " lines");
}

}  // namespace

void ScriptedUser::Attach(headless::HeadlessSession& session) {
  session.SetUser([this](TMainForm& form) { return Act(form); });
  session.screen().SetBoxHandler([this](const Presentation& box) { BoxShown(box); });
  session.screen().SetFileDialogHandler([this] { return AnswerFileDialog(); });
}

const Step* ScriptedUser::Next() const {
  return next_ < scenario_.steps.size() ? &scenario_.steps[next_] : nullptr;
}

void ScriptedUser::Record(const Step* step, const std::string& problem) {
  std::string message = problem;
  if (step != nullptr) {
    message =
        "step " + std::to_string(step->number) + " (" + Printable(step->text) + "): " + problem;
  }
  std::uint32_t line = step != nullptr ? step->line : 0;
  if (step == nullptr && !scenario_.steps.empty()) line = scenario_.steps.back().line;
  {
    std::lock_guard lock(mutex_);
    if (error_) return;
    error_ = ScenarioError(scenario_.file, line, message).Message();
  }
  transcript_.Add("script-error " + message);
}

void ScriptedUser::Fail(const Step* step, const std::string& problem) {
  Record(step, problem);
  // The run is over: whatever the program's other threads still do belongs
  // to no session.
  transcript_.Seal();
  EndProcess(kScriptError);
}

bool ScriptedUser::Act(TMainForm& form) {
  const Step* step = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (error_) return false;
    step = Next();
    if (step != nullptr && !step->IsReaction()) ++next_;
  }
  if (step == nullptr) {
    Fail(nullptr, "the steps ran out while the window is open and waits for the user");
  }
  if (step->kind == StepKind::CloseBox) {
    Fail(step, "no box is shown; the program waits for the user");
  }
  if (step->IsReaction()) Fail(step, "no file dialog is open; the program waits for the user");

  auto usable = [&](ControlId id, const char* what) -> const ControlState& {
    const ControlState& state = form.State(id);
    if (!state.visible) Fail(step, std::string(what) + " is not shown");
    if (!state.enabled) Fail(step, std::string(what) + " is disabled");
    return state;
  };
  switch (step->kind) {
    case StepKind::SelectDrive: {
      const ControlState& list = usable(ControlId::ComboBoxDrive, "the drive list");
      if (static_cast<std::size_t>(step->driveLine) >= list.items.size()) {
        Fail(step, "the drive list has " + Lines(list.items.size()));
      }
      form.UserSelectItem(ControlId::ComboBoxDrive, step->driveLine);
      break;
    }
    case StepKind::TickUpdateEnable:
      if (!usable(ControlId::CheckBox1, "Update Enable").checked) {
        form.UserClick(ControlId::CheckBox1);
      }
      break;
    case StepKind::UntickUpdateEnable:
      if (usable(ControlId::CheckBox1, "Update Enable").checked) {
        form.UserClick(ControlId::CheckBox1);
      }
      break;
    case StepKind::ChooseBlockSize: {
      const ControlState& sizes = usable(ControlId::ComboBoxBufferSize, "the block-size list");
      const auto at = std::find(sizes.items.begin(), sizes.items.end(), step->argument);
      if (at == sizes.items.end()) Fail(step, "the block-size list has no such item");
      form.UserSelectItem(ControlId::ComboBoxBufferSize,
                          static_cast<int>(at - sizes.items.begin()));
      break;
    }
    case StepKind::PressUpdate:
      usable(ControlId::ButtonSelect, "UPDATE");
      form.UserClick(ControlId::ButtonSelect);
      break;
    case StepKind::PressUpdateAll:
      usable(ControlId::ButtonAll, "UPDATE All");
      form.UserClick(ControlId::ButtonAll);
      break;
    case StepKind::PressExit:
      usable(ControlId::ButtonExit, "Exit");
      form.UserClick(ControlId::ButtonExit);
      break;
    default:
      break;
  }
  return true;
}

void ScriptedUser::BoxShown(const Presentation& box) {
  const Step* step = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (error_ || !scenario_.expectsBoxes) return;
    step = Next();
    if (step != nullptr && step->kind == StepKind::CloseBox && step->argument == box.text) {
      ++next_;
      return;
    }
  }
  if (step == nullptr) Fail(nullptr, "unexpected " + DescribeBox(box) + " after the last step");
  if (step->kind == StepKind::CloseBox) {
    Fail(step, "the program showed " + DescribeBox(box) + " instead");
  }
  Fail(step, "unexpected " + DescribeBox(box) + " before this step");
}

std::optional<std::string> ScriptedUser::AnswerFileDialog() {
  const Step* step = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (error_) return std::nullopt;
    step = Next();
    if (step != nullptr && step->kind == StepKind::AnswerFileDialog) {
      ++next_;
      return step->argument;
    }
    if (step != nullptr && step->kind == StepKind::CancelFileDialog) {
      ++next_;
      return std::nullopt;
    }
  }
  if (step == nullptr) Fail(nullptr, "the file dialog opened after the last step");
  Fail(step, "the file dialog opened before this step");
}

int ScriptedUser::Finish(int programStatus) {
  const Step* step = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (error_) return kScriptError;
    step = Next();
  }
  if (step == nullptr) return programStatus;
  Record(step, "the program ended with exit status " + std::to_string(programStatus) +
                   " before this step");
  return kScriptError;
}

std::optional<std::string> ScriptedUser::Error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

}  // namespace qfw::session
