// Runs the whole program headless over a simulated bus in virtual time: a
// scratch working directory, a bus description, and a scripted user whose
// steps run one by one whenever the program is idle (nothing queued on the UI
// thread, no worker thread running).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "headless/HeadlessSession.h"
#include "headless/Transcript.h"
#include "simbus/SimConfig.h"
#include "simbus/SimManager.h"
#include "simbus/VirtualTime.h"
#include "ui/Mainunit.h"

namespace qfw::testing {

class ProgramHarness {
 public:
  ProgramHarness();
  ~ProgramHarness();
  ProgramHarness(const ProgramHarness&) = delete;
  ProgramHarness& operator=(const ProgramHarness&) = delete;

  const std::filesystem::path& Dir() const { return dir_; }
  void WriteFile(const std::string& name, const std::string& bytes);
  void WriteCatalogue(const std::string& text) { WriteFile(kCatalogueFileName, text); }
  // Writes `size` bytes of a pattern that differs from block to block, and
  // returns them.
  std::vector<std::uint8_t> WriteImage(const std::string& name, std::size_t size);

  // The bus the run uses; fill it before Run.
  simbus::BusConfig bus;

  // The user's steps, run in order whenever the program is idle.
  void Step(std::function<void(TMainForm&)> step);
  void Click(ControlId id);
  void SelectItem(ControlId id, int index);
  // Queues the next answer of the file dialog (nothing: cancel).
  void AnswerFileDialog(std::optional<std::string> answer);

  // Runs the program to its end; returns its exit status.
  int Run();

  std::vector<std::string> Lines() const { return session_.transcript().Lines(); }
  // The transcript lines that begin with "box ", in order.
  std::vector<std::string> Boxes() const { return session_.transcript().LinesStartingWith("box "); }
  // The transcript without the lines of bus requests.
  std::vector<std::string> ScreenLines() const;
  std::vector<std::string> StatusLines() const {
    return session_.transcript().LinesStartingWith("status ");
  }
  // Valid after Run.
  simbus::SimManager& Manager() { return *manager_; }
  simbus::VirtualTime& Time() { return time_; }
  // Execute requests of the run with the given operation code.
  std::vector<simbus::LogEntry> Commands(std::uint8_t opcode) const;

  // Calls of GetASPI32SupportInfo during the run.
  int SupportInfoCalls() const { return session_.SupportInfoCalls(); }

  // Makes image allocations fail.
  void FailAllocations() { failAllocations_ = true; }

 private:
  std::filesystem::path dir_;
  simbus::VirtualTime time_;
  std::unique_ptr<simbus::SimManager> manager_;
  headless::HeadlessSession session_{dir_};
  bool failAllocations_ = false;
};

// A box line as the transcript writes it.
std::string BoxLine(PresentationKind kind, const std::string& text, std::uint32_t flags);

}  // namespace qfw::testing
