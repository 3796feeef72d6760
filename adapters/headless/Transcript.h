// A thread-safe record of what a headless run showed and did, one event a
// line, in the order the events happened.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace qfw::headless {

class Transcript {
 public:
  void Add(std::string line);
  std::vector<std::string> Lines() const;
  // Lines that begin with the prefix.
  std::vector<std::string> LinesStartingWith(std::string_view prefix) const;
  // Called with each line as it is added (under the transcript's lock).
  void SetEcho(std::function<void(const std::string&)> echo);
  // Ends the record: lines added afterwards are dropped. For a run that has
  // ended while other threads of the program may still report events.
  void Seal();
  bool Sealed() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::function<void(const std::string&)> echo_;
  bool sealed_ = false;
};

// The text in double quotes; bytes outside printable ASCII, the quote and the
// backslash are written as \xNN.
std::string Quote(std::string_view text);

}  // namespace qfw::headless
