#include "session/SessionRunner.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <system_error>

#include <unistd.h>

#include "headless/HeadlessSession.h"
#include "platform/SystemWaits.h"
#include "session/ScriptedUser.h"
#include "simbus/RealTimeScheduler.h"
#include "simbus/SimManager.h"
#include "simbus/VirtualTime.h"

#ifdef QFW_HAVE_LINUX_SG
#include "linux_sg/LinuxSgManager.h"
#endif

namespace qfw::session {
namespace {

// A fresh directory under the system's temporary folder, removed with its
// content when the session ends.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& scenarioFile) {
    std::error_code error;
    const auto base = std::filesystem::temp_directory_path(error);
    std::string pattern =
        ((error ? std::filesystem::path("/tmp") : base) / "qfw-session-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw ScenarioError(
          scenarioFile, 0,
          "cannot make a working directory: " + std::generic_category().message(errno));
    }
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

void WriteFiles(const Scenario& scenario, const std::filesystem::path& dir) {
  for (const ScenarioFile& file : scenario.files) {
    if (file.kind == ScenarioFile::Kind::Absent) continue;
    const std::filesystem::path path = dir / file.name;
    auto fail = [&](const std::string& problem) {
      throw ScenarioError(scenario.file, file.line, "file '" + file.name + "': " + problem);
    };
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) fail("cannot make its folder: " + error.message());
    if (file.kind == ScenarioFile::Kind::Source) {
      if (!std::filesystem::is_regular_file(file.source, error)) {
        fail("the source '" + file.source.string() + "' is not a readable file");
      }
      std::filesystem::copy_file(file.source, path,
                                 std::filesystem::copy_options::overwrite_existing, error);
      if (error) fail("cannot copy '" + file.source.string() + "': " + error.message());
      continue;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) fail("cannot write it");
    if (file.kind == ScenarioFile::Kind::Bytes) {
      out.write(file.bytes.data(), static_cast<std::streamsize>(file.bytes.size()));
    } else {
      std::string chunk(64 * 1024, '\0');
      for (std::uint64_t at = 0; at < file.size;) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), file.size - at));
        for (std::size_t i = 0; i < count; ++i) {
          chunk[i] = static_cast<char>(file.ramp ? static_cast<std::uint8_t>((at + i) & 0xFFu)
                                                 : file.fill);
        }
        out.write(chunk.data(), static_cast<std::streamsize>(count));
        at += count;
      }
    }
    out.close();
    if (!out) fail("cannot write it");
  }
}

}  // namespace

SessionResult RunScenario(const Scenario& scenario,
                          const std::function<void(const std::string&)>& echo) {
  ScratchDir dir(scenario.file);
  WriteFiles(scenario, dir.Path());

  headless::HeadlessSession session(dir.Path());
  if (echo) session.transcript().SetEcho(echo);
  ScriptedUser user(scenario, session.transcript());
  user.Attach(session);
  headless::HeadlessSession::Options options;
  options.recordWaits = true;

  int status = 0;
  if (scenario.busKind == BusKind::Real) {
#ifdef QFW_HAVE_LINUX_SG
    SystemWaits waits;
    const std::unique_ptr<AspiManager> manager = MakeLinuxSgManager();
    status = session.RunProgram(*manager, waits, options);
#else
    throw ScenarioError(scenario.file, scenario.busLine,
                        "real bus not built in: this build has no Linux SCSI generic adapter");
#endif
  } else if (scenario.time == TimeKind::Real) {
    SystemWaits waits;
    simbus::RealTimeScheduler scheduler;
    simbus::SimManager manager(scenario.bus, scheduler);
    status = session.RunProgram(manager, waits, options);
  } else {
    simbus::VirtualTime time;
    simbus::SimManager manager(scenario.bus, time);
    status = session.RunProgram(manager, time, options);
  }

  SessionResult result;
  result.status = user.Finish(status);
  result.scriptError = user.Error();
  result.lines = session.transcript().Lines();
  const std::string exitLine = "exit " + std::to_string(result.status);
  if (echo) echo(exitLine);
  result.lines.push_back(exitLine);
  return result;
}

}  // namespace qfw::session
