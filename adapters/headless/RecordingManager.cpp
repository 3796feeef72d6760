#include "headless/RecordingManager.h"

#include <cstdio>

#include "platform/Srb.h"

namespace qfw::headless {

namespace {

std::string Hex2(unsigned value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
  return text;
}

}  // namespace

std::string DescribeRequest(const void* srb) {
  switch (SrbCommandOf(srb)) {
    case SC_HA_INQUIRY: {
      const auto* b = static_cast<const SRB_HAInquiry*>(srb);
      return "ha-inquiry ha=" + std::to_string(b->SRB_HaId);
    }
    case SC_GET_DEV_TYPE: {
      const auto* b = static_cast<const SRB_GDEVBlock*>(srb);
      return "device-type ha=" + std::to_string(b->SRB_HaId) +
             " target=" + std::to_string(b->SRB_Target);
    }
    case SC_EXEC_SCSI_CMD: {
      const auto* b = static_cast<const SRB_ExecSCSICmd*>(srb);
      std::string text = "exec ha=" + std::to_string(b->SRB_HaId) +
                         " target=" + std::to_string(b->SRB_Target) + " cdb=";
      for (unsigned i = 0; i < b->SRB_CDBLen && i < sizeof b->CDBByte; ++i) {
        if (i) text += ' ';
        text += Hex2(b->CDBByte[i]);
      }
      return text + " len=" + std::to_string(b->SRB_BufLen);
    }
    case SC_ABORT_SRB: {
      const auto* b = static_cast<const SRB_Abort*>(srb);
      return "abort ha=" + std::to_string(b->SRB_HaId);
    }
    case SC_RESET_DEV: {
      const auto* b = static_cast<const SRB_BusDeviceReset*>(srb);
      return "reset ha=" + std::to_string(b->SRB_HaId) + " target=" + std::to_string(b->SRB_Target);
    }
    default:
      return "request code=" + Hex2(SrbCommandOf(srb));
  }
}

std::uint32_t RecordingManager::GetASPI32SupportInfo() {
  ++supportInfoCalls_;
  const std::uint32_t info = inner_.GetASPI32SupportInfo();
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(info));
  transcript_.Add(std::string("bus support-info -> ") + text);
  return info;
}

std::uint8_t RecordingManager::SendASPI32Command(void* srb) {
  const std::string request = DescribeRequest(srb);
  const std::uint8_t returned = inner_.SendASPI32Command(srb);
  std::string line = "bus " + request + " -> " + Hex2(returned);
  if (SrbCommandOf(srb) == SC_GET_DEV_TYPE && returned == SS_COMP) {
    line += " type=" + Hex2(static_cast<const SRB_GDEVBlock*>(srb)->SRB_DeviceType);
  }
  transcript_.Add(line);
  return returned;
}

}  // namespace qfw::headless
