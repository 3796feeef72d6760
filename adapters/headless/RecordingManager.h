// Passes every request on to another manager and writes it into a transcript
// first: request code, adapter, target, CDB bytes and data length, and what
// the submit returned. Works the same over the simulated bus and real drives.
//
// Lines:
//   bus support-info -> 0x0001
//   bus ha-inquiry ha=0 -> 01
//   bus device-type ha=0 target=3 -> 01 type=05
//   bus exec ha=0 target=3 cdb=12 00 00 00 24 00 len=36 -> 00
//   bus abort ha=0 -> 01
//   bus reset ha=0 target=3 -> 00
#pragma once

#include <atomic>
#include <string>

#include "headless/Transcript.h"
#include "platform/AspiManager.h"

namespace qfw::headless {

class RecordingManager final : public AspiManager {
 public:
  RecordingManager(AspiManager& inner, Transcript& transcript)
      : inner_(inner), transcript_(transcript) {}

  std::uint32_t GetASPI32SupportInfo() override;
  std::uint8_t SendASPI32Command(void* srb) override;

  int SupportInfoCalls() const { return supportInfoCalls_.load(); }

 private:
  AspiManager& inner_;
  Transcript& transcript_;
  std::atomic<int> supportInfoCalls_{0};
};

// The transcript text of a request block before it is submitted.
std::string DescribeRequest(const void* srb);

}  // namespace qfw::headless
