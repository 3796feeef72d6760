// Judges a finished execute request and tells the user why it failed.
#pragma once

#include <optional>
#include <string>

#include "platform/Srb.h"
#include "ui/Presentations.h"

namespace qfw {

// The message for a finished block, or nothing where the outcome is silent or
// a success. Reads SRB_Status, SRB_HaStat, SRB_TargStat and sense bytes 2, 12
// and 13.
std::optional<std::string> SrbStatusMessage(const SRB_ExecSCSICmd& srb);

// 0 exactly when SRB_Status is SS_COMP and SRB_HaStat and SRB_TargStat are 0;
// 1 otherwise, after showing the block's message (if any) as an error box.
int CheckSrbStatus(const SRB_ExecSCSICmd& srb, Messages& messages);

}  // namespace qfw
