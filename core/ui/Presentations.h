// The four ways a message reaches the user, each a blocking box:
//
//   error box     beep first, then a system-modal stop box with kBoxTitle and
//                 flags 0x1010; no owner, so the main window stays enabled.
//   notice        the plain message dialog with the application title, no icon
//                 and no sound; disables every other window while it is up.
//   outcome box   a system-modal box with kBoxTitle and the caller's flags
//                 (icon included), no sound; shown from the update thread and
//                 does not disable the main window.
//   exception box a stop box with the application title; a message that is
//                 not empty and whose last byte sorts after '.' gets a '.'.
//
// Messages builds each presentation and hands it to a MessageScreen, which
// shows it and returns once the user has closed it.
#pragma once

#include <cstdint>
#include <string>

namespace qfw {

// Message box flags.
inline constexpr std::uint32_t MB_OK = 0x0000;
inline constexpr std::uint32_t MB_ICONHAND = 0x0010;
inline constexpr std::uint32_t MB_ICONQUESTION = 0x0020;
inline constexpr std::uint32_t MB_ICONEXCLAMATION = 0x0030;
inline constexpr std::uint32_t MB_ICONINFORMATION = 0x0040;
inline constexpr std::uint32_t MB_SYSTEMMODAL = 0x1000;
inline constexpr std::uint32_t MB_ICONMASK = 0x00F0;

enum class PresentationKind { ErrorBox, Notice, OutcomeBox, ExceptionBox };

struct Presentation {
  PresentationKind kind;
  std::string title;
  std::string text;
  std::uint32_t flags;  // MB_ flags; for the notice and the exception box the
                        // icon that the user sees (none, MB_ICONHAND)

  bool operator==(const Presentation&) const = default;
};

const char* KindName(PresentationKind kind);

// Shows presentations to the user. Implementations: the Qt message boxes, and
// a recording screen that answers from a script (headless runs and tests).
class MessageScreen {
 public:
  virtual ~MessageScreen() = default;
  // The system's default sound.
  virtual void Beep() = 0;
  // Shows the box and returns when the user has closed it. May be called from
  // the UI thread or, for the outcome box, from the update thread.
  virtual void Present(const Presentation& presentation) = 0;
};

class Messages {
 public:
  explicit Messages(MessageScreen& screen) : screen_(screen) {}

  void ShowErrorBox(const std::string& text);
  void ShowMessage(const std::string& text);
  void OutcomeBox(const std::string& text, std::uint32_t flags);
  void ShowException(const std::string& message);

  // The exception box's text for a failure message: a '.' is appended when the
  // message is not empty and its last byte sorts after '.'.
  static std::string ExceptionText(const std::string& message);

 private:
  MessageScreen& screen_;
};

}  // namespace qfw
