#include "support/ProgramHarness.h"

#include <atomic>
#include <fstream>

#include <unistd.h>

#include "ui/Texts.h"

namespace qfw::testing {

namespace {
std::filesystem::path MakeScratchDir() {
  static std::atomic<int> counter{0};
  auto dir = std::filesystem::temp_directory_path() /
             ("qfw-run-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}
}  // namespace

ProgramHarness::ProgramHarness() : dir_(MakeScratchDir()) {}

ProgramHarness::~ProgramHarness() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void ProgramHarness::WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(dir_ / name, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ProgramHarness::WriteImage(const std::string& name, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>((i * 7 + (i >> 10) * 13 + 1) & 0xFF);
  }
  WriteFile(name, std::string(bytes.begin(), bytes.end()));
  return bytes;
}

void ProgramHarness::Step(std::function<void(TMainForm&)> step) {
  session_.Step(std::move(step));
}

void ProgramHarness::Click(ControlId id) {
  Step([id](TMainForm& form) { form.UserClick(id); });
}

void ProgramHarness::SelectItem(ControlId id, int index) {
  Step([id, index](TMainForm& form) { form.UserSelectItem(id, index); });
}

void ProgramHarness::AnswerFileDialog(std::optional<std::string> answer) {
  session_.screen().QueueFileAnswer(std::move(answer));
}

int ProgramHarness::Run() {
  manager_ = std::make_unique<simbus::SimManager>(bus, time_);
  headless::HeadlessSession::Options options;
  if (failAllocations_) {
    options.allocate = [](std::size_t) { return std::unique_ptr<std::uint8_t[]>(); };
  }
  const int status = session_.RunProgram(*manager_, time_, options);
  session_.transcript().Add("exit " + std::to_string(status));
  return status;
}

std::vector<std::string> ProgramHarness::ScreenLines() const {
  std::vector<std::string> lines;
  for (auto& line : session_.transcript().Lines()) {
    if (line.rfind("bus ", 0) != 0) lines.push_back(line);
  }
  return lines;
}

std::vector<simbus::LogEntry> ProgramHarness::Commands(std::uint8_t opcode) const {
  std::vector<simbus::LogEntry> found;
  for (const auto& entry : manager_->Log()) {
    if (entry.command == SC_EXEC_SCSI_CMD && !entry.cdb.empty() && entry.cdb[0] == opcode) {
      found.push_back(entry);
    }
  }
  return found;
}

std::string BoxLine(PresentationKind kind, const std::string& text, std::uint32_t flags) {
  const char* title = (kind == PresentationKind::Notice || kind == PresentationKind::ExceptionBox)
                          ? text::kApplicationTitle
                          : text::kBoxTitle;
  return headless::BoxLine({kind, title, text, flags});
}

}  // namespace qfw::testing
