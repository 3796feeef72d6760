#include "ui/Presentations.h"

#include "ui/Texts.h"

namespace qfw {

const char* KindName(PresentationKind kind) {
  switch (kind) {
    case PresentationKind::ErrorBox:
      return "error-box";
    case PresentationKind::Notice:
      return "notice";
    case PresentationKind::OutcomeBox:
      return "outcome-box";
    case PresentationKind::ExceptionBox:
      return "exception-box";
  }
  return "?";
}

void Messages::ShowErrorBox(const std::string& text) {
  screen_.Beep();
  screen_.Present(
      {PresentationKind::ErrorBox, text::kBoxTitle, text, MB_SYSTEMMODAL | MB_ICONHAND | MB_OK});
}

void Messages::ShowMessage(const std::string& text) {
  screen_.Present({PresentationKind::Notice, text::kApplicationTitle, text, MB_OK});
}

void Messages::OutcomeBox(const std::string& text, std::uint32_t flags) {
  screen_.Present({PresentationKind::OutcomeBox, text::kBoxTitle, text, flags});
}

void Messages::ShowException(const std::string& message) {
  screen_.Present({PresentationKind::ExceptionBox, text::kApplicationTitle, ExceptionText(message),
                   MB_ICONHAND | MB_OK});
}

std::string Messages::ExceptionText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
    return message + ".";
  }
  return message;
}

}  // namespace qfw
