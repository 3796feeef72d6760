// The working directory of a session: a scratch folder and the scenario's
// files written into it.
#pragma once

#include <filesystem>
#include <string>

#include "session/Scenario.h"

namespace qfw::session {

// A fresh directory under the system's temporary folder, removed with its
// content when this object ends. Throws ScenarioError naming the scenario
// when it cannot be made.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& scenarioFile);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Writes the scenario's files (catalogue, images) into dir; throws
// ScenarioError naming the file's line when one cannot be written.
void WriteFiles(const Scenario& scenario, const std::filesystem::path& dir);

}  // namespace qfw::session
