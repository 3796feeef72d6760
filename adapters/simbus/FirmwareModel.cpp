#include "simbus/FirmwareModel.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

#include "scsi/Cdb.h"

namespace qfw::simbus {
namespace {

constexpr std::size_t kRevisionAt = 32;
constexpr std::size_t kRevisionWidth = 4;

std::string At(std::uint64_t offset) {
  return "offset " + std::to_string(offset);
}

}  // namespace

FirmwareModel::FirmwareModel(FirmwareModelConfig config, std::vector<std::uint8_t> inquiryData)
    : config_(std::move(config)), inquiry_(std::move(inquiryData)) {}

Ending FirmwareModel::WriteBuffer(const WriteBufferFields& fields,
                                  const std::vector<std::uint8_t>& data, bool failed) {
  blocks_.push_back({fields, failed});
  switch (fields.mode) {
    case kModeDownload:
      return Block(fields, data, failed);
    case kModeDownloadAndSave:
      return Save(fields, data, failed);
    default:
      return Ending::CheckCondition(kSenseInvalidFieldInCdb);
  }
}

void FirmwareModel::DropDownload() {
  downloading_ = false;
  blockLength_ = 0;
  nextOffset_ = 0;
  broken_.clear();
  staged_.clear();
}

std::string FirmwareModel::OrderProblem(const char* what, const WriteBufferFields& fields,
                                        std::size_t dataSize) const {
  const std::string where = std::string(what) + " at " + At(fields.offset);
  if (dataSize != fields.length) {
    return where + " carries " + std::to_string(dataSize) + " bytes for a length of " +
           std::to_string(fields.length);
  }
  if (fields.offset != nextOffset_) return where + ", expected " + At(nextOffset_);
  if (fields.length != blockLength_) {
    return where + " is " + std::to_string(fields.length) + " bytes long, expected " +
           std::to_string(blockLength_);
  }
  return {};
}

Ending FirmwareModel::Block(const WriteBufferFields& fields, const std::vector<std::uint8_t>& data,
                            bool failed) {
  if (fields.offset == 0) {
    DropDownload();
    downloading_ = true;
    blockLength_ = fields.length;
  } else if (!downloading_) {
    downloading_ = true;
    if (broken_.empty()) broken_ = "first block at " + At(fields.offset);
    return config_.sequenceErrorSense ? Ending::CheckCondition(*config_.sequenceErrorSense)
                                      : Ending::Good();
  }
  if (!broken_.empty()) return Ending::Good();  // a broken download takes nothing more

  const std::string problem = OrderProblem("block", fields, data.size());
  if (!problem.empty()) {
    broken_ = problem;
    return config_.sequenceErrorSense ? Ending::CheckCondition(*config_.sequenceErrorSense)
                                      : Ending::Good();
  }
  if (failed) {
    broken_ = "block at " + At(fields.offset) + " failed";
    return Ending::Good();
  }
  staged_.insert(staged_.end(), data.begin(), data.end());
  nextOffset_ = fields.offset + std::uint64_t{fields.length};
  return Ending::Good();
}

Ending FirmwareModel::Save(const WriteBufferFields& fields, const std::vector<std::uint8_t>& data,
                           bool failed) {
  std::string problem = broken_;
  bool outOfOrder = false;
  if (problem.empty() && !downloading_) {
    if (config_.requireDownloadBeforeSave) {
      problem = "save with no download before it";
    } else if (fields.offset != 0 || data.size() != fields.length) {
      problem = "save at " + At(fields.offset) + " with no download before it";
    }
    outOfOrder = !problem.empty();
  } else if (problem.empty()) {
    problem = OrderProblem("save", fields, data.size());
    outOfOrder = !problem.empty();
  }
  if (problem.empty() && failed) problem = "save at " + At(fields.offset) + " failed";

  if (problem.empty()) {
    staged_.insert(staged_.end(), data.begin(), data.end());
    saved_ = std::move(staged_);
    ++validSaves_;
    ApplyNewRevision();
  } else {
    bricked_ = true;
    brickReason_ = problem;
  }
  DropDownload();
  return outOfOrder && config_.sequenceErrorSense
             ? Ending::CheckCondition(*config_.sequenceErrorSense)
             : Ending::Good();
}

void FirmwareModel::ApplyNewRevision() {
  if (config_.newRevision.empty()) return;
  if (inquiry_.size() < kRevisionAt + kRevisionWidth) {
    inquiry_.resize(kRevisionAt + kRevisionWidth, ' ');
  }
  for (std::size_t i = 0; i < kRevisionWidth; ++i) {
    inquiry_[kRevisionAt + i] = i < config_.newRevision.size()
                                    ? static_cast<std::uint8_t>(config_.newRevision[i])
                                    : std::uint8_t{' '};
  }
}

FirmwareState FirmwareModel::State() const {
  FirmwareState state;
  state.blocks = blocks_;
  state.savedImage = saved_;
  state.validSaves = validSaves_;
  state.bricked = bricked_;
  state.brickReason = brickReason_;
  state.inquiryData = inquiry_;
  return state;
}

}  // namespace qfw::simbus
