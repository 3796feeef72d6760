// quorvel-fwupdate-session: runs the program headless for one scenario and
// prints what happened, one event a line.
//
//   quorvel-fwupdate-session SCENARIO.toml [--transcript OUT]
//
// Exit status: the program's own (0 or 1); 2 for a scenario that cannot be
// read or used, or a bad command line; 3 when the run departed from the
// script.
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "session/Scenario.h"
#include "session/SessionRunner.h"

namespace {

constexpr int kBadInput = 2;
constexpr const char* kUsage = "usage: quorvel-fwupdate-session SCENARIO.toml [--transcript OUT]";

}  // namespace

int main(int argc, char** argv) {
  std::string scenarioFile;
  std::string transcriptFile;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage << "\n"
                << "Runs one session from the scenario and prints its transcript.\n"
                << "Exit status: the program's own (0 or 1), 2 for a bad scenario or command\n"
                << "line, 3 when the run departed from the scenario's steps.\n";
      return 0;
    }
    if (arg == "--transcript") {
      if (i + 1 >= argc || !transcriptFile.empty()) {
        std::cerr << kUsage << "\n";
        return kBadInput;
      }
      transcriptFile = argv[++i];
      continue;
    }
    if ((!arg.empty() && arg.front() == '-') || !scenarioFile.empty()) {
      std::cerr << kUsage << "\n";
      return kBadInput;
    }
    scenarioFile = std::string(arg);
  }
  if (scenarioFile.empty()) {
    std::cerr << kUsage << "\n";
    return kBadInput;
  }

  try {
    const qfw::session::Scenario scenario = qfw::session::LoadScenario(scenarioFile);
    const auto result = qfw::session::RunScenario(scenario, [](const std::string& line) {
      std::fwrite(line.data(), 1, line.size(), stdout);
      std::fputc('\n', stdout);
      std::fflush(stdout);
    });
    if (result.scriptError) std::cerr << *result.scriptError << "\n";
    if (!transcriptFile.empty()) {
      std::ofstream out(transcriptFile, std::ios::binary | std::ios::trunc);
      for (const auto& line : result.lines) out << line << '\n';
      out.close();
      if (!out) {
        std::cerr << transcriptFile << ": cannot write the transcript\n";
        return kBadInput;
      }
    }
    return result.status;
  } catch (const qfw::session::ScenarioError& error) {
    std::cerr << error.Message() << "\n";
    return kBadInput;
  } catch (const std::exception& error) {
    std::cerr << scenarioFile << ": " << error.what() << "\n";
    return kBadInput;
  }
}
