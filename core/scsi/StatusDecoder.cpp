#include "scsi/StatusDecoder.h"

#include <cstddef>
#include <cstdint>
#include <span>

#include "scsi/StatusMessages.h"

namespace qfw {

namespace {

// Positions in fixed-format sense data.

const char* FindMessage(std::span<const StatusMessageRow> table, std::uint8_t code) {
  for (const auto& row : table) {
    if (row.code == code) return row.message;
  }
  return nullptr;
}

std::optional<std::string> Message(const char* text) {
  if (text == nullptr) return std::nullopt;
  return std::string(text);
}

// Whether the sense data carries the vendor-specific key. The whole byte is
// compared, so a set ILI, EOM or filemark bit makes it another key.
bool HasVendorSenseKey(const SRB_ExecSCSICmd& srb) {
  return srb.SenseArea[kSenseKeyByte] == kVendorSenseKey;
}

// The vendor-specific sense message, or nothing when the ASC has no row or the
// ASCQ is not 00h. Only meaningful when HasVendorSenseKey holds.
std::optional<std::string> VendorSenseMessage(const SRB_ExecSCSICmd& srb) {
  if (srb.SenseArea[kSenseAscqByte] != kVendorSenseQualifier) return std::nullopt;
  return Message(FindMessage(kVendorSenseMessages, srb.SenseArea[kSenseAscByte]));
}

std::optional<std::string> CompletedMessage(const SRB_ExecSCSICmd& srb) {
  // The adapter status is decided first; the target status and the sense data
  // are not looked at when the adapter reports a problem.
  if (srb.SRB_HaStat != HASTAT_OK) {
    const char* text = FindMessage(kHostAdapterMessages, srb.SRB_HaStat);
    return std::string(text != nullptr ? text : text::kHaOther);
  }
  switch (srb.SRB_TargStat) {
    case STATUS_GOOD:
      return std::nullopt;
    case STATUS_CHKCOND:
      if (HasVendorSenseKey(srb)) return VendorSenseMessage(srb);
      return std::string(text::kTargetCheckCondition);
    default: {
      const char* text = FindMessage(kTargetStatusMessages, srb.SRB_TargStat);
      return std::string(text != nullptr ? text : text::kTargetOther);
    }
  }
}

}  // namespace

std::optional<std::string> SrbStatusMessage(const SRB_ExecSCSICmd& srb) {
  if (srb.SRB_Status == SS_COMP) return CompletedMessage(srb);
  // Neither the adapter status nor the target status counts on this branch.
  if (srb.SRB_Status == SS_ERR) {
    if (HasVendorSenseKey(srb)) return VendorSenseMessage(srb);
    return std::nullopt;
  }
  return Message(FindMessage(kRequestStatusMessages, srb.SRB_Status));
}

int CheckSrbStatus(const SRB_ExecSCSICmd& srb, Messages& messages) {
  if (srb.SRB_Status == SS_COMP && srb.SRB_HaStat == HASTAT_OK && srb.SRB_TargStat == STATUS_GOOD) {
    return 0;
  }
  if (const auto message = SrbStatusMessage(srb)) messages.ShowErrorBox(*message);
  return 1;
}

}  // namespace qfw
