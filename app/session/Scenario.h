// A scenario: the working directory's files, the bus, and the user's steps of
// one headless session, read from a TOML file (docs/scenario-format.md).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "simbus/SimConfig.h"

namespace qfw::session {

// A scenario that cannot be read or used: names the file and, where one
// applies, the line.
class ScenarioError : public std::runtime_error {
 public:
  ScenarioError(std::string file, std::uint32_t line, const std::string& problem);

  const std::string& File() const { return file_; }
  std::uint32_t Line() const { return line_; }  // 0: no line applies
  const std::string& Problem() const { return problem_; }
  // "FILE:LINE: problem", or "FILE: problem" without a line.
  std::string Message() const;

 private:
  std::string file_;
  std::uint32_t line_;
  std::string problem_;
};

// The name of the catalogue file in the working directory.
inline constexpr std::string_view kCatalogueName = "Tavrin.ini";

// Largest file a scenario may have generated (by size and pattern).
inline constexpr std::uint64_t kLargestGeneratedFile = 64ull * 1024 * 1024;

// One file of the working directory.
struct ScenarioFile {
  enum class Kind {
    Bytes,    // the bytes given (text or hex)
    Pattern,  // size bytes of a pattern
    Source,   // a copy of an existing file
    Absent,   // not there (written down for the reader)
  };

  std::string name;  // relative to the working directory
  std::uint32_t line = 0;
  Kind kind = Kind::Absent;
  std::string bytes;             // Bytes
  std::uint64_t size = 0;        // Pattern
  bool ramp = true;              // Pattern: byte i is i mod 256; otherwise `fill`
  std::uint8_t fill = 0;         // Pattern
  std::filesystem::path source;  // Source, resolved against the scenario's folder
};

enum class StepKind {
  SelectDrive,
  TickUpdateEnable,
  UntickUpdateEnable,
  ChooseBlockSize,
  PressUpdate,
  PressUpdateAll,
  PressExit,
  // Reactions: they answer something the program shows.
  AnswerFileDialog,
  CancelFileDialog,
  CloseBox,
};

struct Step {
  StepKind kind = StepKind::PressExit;
  std::string text;  // as written, without surrounding blanks
  int number = 0;    // counted from 1
  std::uint32_t line = 0;
  int driveLine = 0;     // SelectDrive: the list line, counted from 0
  std::string argument;  // block size text, file name, or the box's text

  // Whether the step answers a box or the file dialog rather than acting on
  // the idle window.
  bool IsReaction() const {
    return kind == StepKind::AnswerFileDialog || kind == StepKind::CancelFileDialog ||
           kind == StepKind::CloseBox;
  }
};

enum class BusKind { Simulated, Real };
enum class TimeKind { Virtual, Real };

struct Scenario {
  std::string file;                 // as given, for messages
  std::filesystem::path directory;  // the folder that holds it
  std::vector<ScenarioFile> files;
  BusKind busKind = BusKind::Simulated;
  TimeKind time = TimeKind::Virtual;
  std::uint32_t busLine = 0;
  simbus::BusConfig bus;
  std::vector<Step> steps;
  // Some step is "close box": every box must then be expected, in order.
  bool expectsBoxes = false;
};

// Reads and checks the scenario file; throws ScenarioError.
Scenario LoadScenario(const std::string& file);
// The same for text already read; `file` names it in messages.
Scenario ParseScenario(std::string_view text, const std::string& file);

// Parses one step; throws ScenarioError naming `file` and `line`.
Step ParseStep(std::string_view text, int number, std::uint32_t line, const std::string& file);

// The text between double quotes, with the escapes \xNN, \" and \\ that the
// transcript uses; nothing when it is not such a text.
std::optional<std::string> Unquote(std::string_view quoted);

}  // namespace qfw::session
