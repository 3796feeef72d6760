#include "headless/Transcript.h"

#include <cstdio>

namespace qfw::headless {

void Transcript::Add(std::string line) {
  std::lock_guard lock(mutex_);
  if (sealed_) return;
  if (echo_) echo_(line);
  lines_.push_back(std::move(line));
}

std::vector<std::string> Transcript::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::vector<std::string> Transcript::LinesStartingWith(std::string_view prefix) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> found;
  for (const auto& line : lines_) {
    if (std::string_view(line).substr(0, prefix.size()) == prefix) found.push_back(line);
  }
  return found;
}

void Transcript::SetEcho(std::function<void(const std::string&)> echo) {
  std::lock_guard lock(mutex_);
  echo_ = std::move(echo);
}

void Transcript::Seal() {
  std::lock_guard lock(mutex_);
  sealed_ = true;
}

bool Transcript::Sealed() const {
  std::lock_guard lock(mutex_);
  return sealed_;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte >= 0x20 && byte < 0x7F && ch != '"' && ch != '\\') {
      out.push_back(ch);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    }
  }
  out.push_back('"');
  return out;
}

}  // namespace qfw::headless
