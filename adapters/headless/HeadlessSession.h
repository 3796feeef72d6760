// One run of the whole program without a window: the unchanged program logic
// (ProgramMain, the scan, the threads and the hand-off) over a manager that is
// recorded into the transcript, a headless screen and UI thread, and a
// scripted user whose actions run whenever the program is idle (nothing queued
// on the UI thread, no worker thread running).
//
// The manager and the waiting services are the caller's: a simulated bus in
// virtual or real time, or real drives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "headless/HeadlessScreen.h"
#include "headless/HeadlessUiThread.h"
#include "headless/RecordingManager.h"
#include "headless/Transcript.h"
#include "platform/AspiManager.h"
#include "platform/Events.h"
#include "platform/Thread.h"
#include "ui/Mainunit.h"

namespace qfw::headless {

class HeadlessSession {
 public:
  struct Options {
    // Writes waits that time out into the transcript (RecordingWaits.h).
    bool recordWaits = false;
    // Allocates image buffers; empty: the program's own allocation.
    std::function<std::unique_ptr<std::uint8_t[]>(std::size_t)> allocate;
  };

  // workDir: the program's current directory (catalogue and images).
  explicit HeadlessSession(std::filesystem::path workDir);
  HeadlessSession(const HeadlessSession&) = delete;
  HeadlessSession& operator=(const HeadlessSession&) = delete;

  const std::filesystem::path& WorkDir() const { return workDir_; }
  Transcript& transcript() { return transcript_; }
  const Transcript& transcript() const { return transcript_; }
  HeadlessScreen& screen() { return screen_; }

  // Appends a step to the user's list; the steps run one at a time whenever
  // the program is idle. When they are used up while the window is still
  // open, the run ends with kNoMoreInput.
  void Step(std::function<void(TMainForm&)> step);
  // Replaces the list: called whenever the program is idle; returns false
  // when the user has nothing more to do. May end the run (EndProcess).
  void SetUser(std::function<bool(TMainForm&)> act);

  // Runs the program to its end over the manager and returns its exit status
  // once every worker thread has finished. Writes no line of its own. Call
  // once per session.
  int RunProgram(AspiManager& manager, WaitServices& waits, const Options& options);
  int RunProgram(AspiManager& manager, WaitServices& waits) {
    return RunProgram(manager, waits, Options{});
  }

  // Calls of GetASPI32SupportInfo so far.
  int SupportInfoCalls() const { return recording_ ? recording_->SupportInfoCalls() : 0; }

 private:
  std::filesystem::path workDir_;
  Transcript transcript_;
  ThreadRegistry registry_;
  HeadlessUiThread ui_{registry_};
  HeadlessScreen screen_{transcript_, ui_};
  std::unique_ptr<RecordingManager> recording_;
  std::vector<std::function<void(TMainForm&)>> steps_;
  std::size_t nextStep_ = 0;
  std::function<bool(TMainForm&)> user_;
  TMainForm* form_ = nullptr;
};

}  // namespace qfw::headless
