// A message screen for tests: records every beep and box in order and closes
// each box at once.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ui/Presentations.h"

namespace qfw::testing {

class RecordingMessageScreen final : public MessageScreen {
 public:
  void Beep() override {
    std::lock_guard lock(mutex_);
    events_.push_back("beep");
  }

  void Present(const Presentation& p) override {
    std::lock_guard lock(mutex_);
    events_.push_back(std::string(KindName(p.kind)) + " [" + p.title + "] " + p.text);
    shown_.push_back(p);
  }

  // Every box shown so far.
  std::vector<Presentation> Shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
  }
  // Texts of the boxes shown so far.
  std::vector<std::string> Texts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const auto& p : shown_) texts.push_back(p.text);
    return texts;
  }
  // Beeps and boxes in the order they happened.
  std::vector<std::string> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    shown_.clear();
    events_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Presentation> shown_;
  std::vector<std::string> events_;
};

}  // namespace qfw::testing
