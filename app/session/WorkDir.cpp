#include "session/WorkDir.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include <unistd.h>

namespace qfw::session {

ScratchDir::ScratchDir(const std::string& scenarioFile) {
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

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

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

}  // namespace qfw::session
