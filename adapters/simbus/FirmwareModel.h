// The flash of one simulated drive: takes WRITE BUFFER blocks, checks that a
// download arrives whole and in order, and saves it or bricks the drive (rules
// in SimConfig.h, FirmwareModelConfig). Not thread-safe: the bus guards it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simbus/SimConfig.h"
#include "simbus/SimManager.h"

namespace qfw::simbus {

class FirmwareModel {
 public:
  FirmwareModel(FirmwareModelConfig config, std::vector<std::uint8_t> inquiryData);

  // Takes one block (data: the bytes that came with it). failed: the command
  // ended with a failure chosen by a rule; the block is then not taken and the
  // download is broken. Returns how the drive itself answers.
  Ending WriteBuffer(const WriteBufferFields& fields, const std::vector<std::uint8_t>& data,
                     bool failed);
  // A device reset: a download in progress is dropped.
  void DropDownload();

  bool Bricked() const { return bricked_; }
  const Ending& BrickedAnswer() const { return config_.brickedAnswer; }
  const std::vector<std::uint8_t>& InquiryData() const { return inquiry_; }
  FirmwareState State() const;

 private:
  // Why the block does not continue the download; empty when it does.
  // what: "block" or "save", for the text.
  std::string OrderProblem(const char* what, const WriteBufferFields& fields,
                           std::size_t dataSize) const;
  Ending Block(const WriteBufferFields& fields, const std::vector<std::uint8_t>& data, bool failed);
  Ending Save(const WriteBufferFields& fields, const std::vector<std::uint8_t>& data, bool failed);
  void ApplyNewRevision();

  FirmwareModelConfig config_;
  std::vector<std::uint8_t> inquiry_;

  std::vector<BlockRecord> blocks_;
  bool downloading_ = false;  // a mode-4 block has started a download
  std::uint32_t blockLength_ = 0;
  std::uint64_t nextOffset_ = 0;
  std::string broken_;  // first reason the current download is broken
  std::vector<std::uint8_t> staged_;

  std::vector<std::uint8_t> saved_;
  unsigned validSaves_ = 0;
  bool bricked_ = false;
  std::string brickReason_;
};

}  // namespace qfw::simbus
