// Request blocks and status codes of the SCSI manager interface the program
// talks to (host adapter inquiry, device type, execute command, device reset,
// abort).
//
// The structures follow the published 32-bit layouts field for field: on a
// 32-bit build (4-byte pointers) every field sits at the byte position given in
// its comment, which the static_asserts at the end check. On a 64-bit build the
// pointer fields are wider and the later offsets move; nothing in the program
// depends on the byte positions, only on the fields.
//
// A block is cleared to zero over its whole size before any field is set. The
// manager owns a submitted block until SRB_Status leaves SS_PENDING; it
// publishes the final status last, with release semantics (see
// PublishSrbStatus), so a reader that sees a final status through
// LoadSrbStatus also sees every other field the manager wrote.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace qfw {

class Event;

// Request codes (SRB_Cmd).
inline constexpr std::uint8_t SC_HA_INQUIRY = 0x00;
inline constexpr std::uint8_t SC_GET_DEV_TYPE = 0x01;
inline constexpr std::uint8_t SC_EXEC_SCSI_CMD = 0x02;
inline constexpr std::uint8_t SC_ABORT_SRB = 0x03;
inline constexpr std::uint8_t SC_RESET_DEV = 0x04;

// Request status (SRB_Status and the value the submit returns).
inline constexpr std::uint8_t SS_PENDING = 0x00;
inline constexpr std::uint8_t SS_COMP = 0x01;
inline constexpr std::uint8_t SS_ABORTED = 0x02;
inline constexpr std::uint8_t SS_ABORT_FAIL = 0x03;
inline constexpr std::uint8_t SS_ERR = 0x04;
inline constexpr std::uint8_t SS_INVALID_CMD = 0x80;
inline constexpr std::uint8_t SS_INVALID_HA = 0x81;
inline constexpr std::uint8_t SS_NO_DEVICE = 0x82;
inline constexpr std::uint8_t SS_INVALID_SRB = 0xE0;
inline constexpr std::uint8_t SS_BUFFER_ALIGN = 0xE1;
inline constexpr std::uint8_t SS_ILLEGAL_MODE = 0xE2;
inline constexpr std::uint8_t SS_NO_ASPI = 0xE3;
inline constexpr std::uint8_t SS_FAILED_INIT = 0xE4;
inline constexpr std::uint8_t SS_ASPI_IS_BUSY = 0xE5;
inline constexpr std::uint8_t SS_BUFFER_TO_BIG = 0xE6;

// Host adapter status (SRB_HaStat).
inline constexpr std::uint8_t HASTAT_OK = 0x00;
inline constexpr std::uint8_t HASTAT_TIMEOUT = 0x09;
inline constexpr std::uint8_t HASTAT_COMMAND_TIMEOUT = 0x0B;
inline constexpr std::uint8_t HASTAT_MESSAGE_REJECT = 0x0D;
inline constexpr std::uint8_t HASTAT_BUS_RESET = 0x0E;
inline constexpr std::uint8_t HASTAT_PARITY_ERROR = 0x0F;
inline constexpr std::uint8_t HASTAT_REQUEST_SENSE_FAILED = 0x10;
inline constexpr std::uint8_t HASTAT_SEL_TO = 0x11;
inline constexpr std::uint8_t HASTAT_DO_DU = 0x12;
inline constexpr std::uint8_t HASTAT_BUS_FREE = 0x13;
inline constexpr std::uint8_t HASTAT_PHASE_ERR = 0x14;

// SCSI status byte (SRB_TargStat).
inline constexpr std::uint8_t STATUS_GOOD = 0x00;
inline constexpr std::uint8_t STATUS_CHKCOND = 0x02;
inline constexpr std::uint8_t STATUS_BUSY = 0x08;
inline constexpr std::uint8_t STATUS_RESCONF = 0x18;

// Request flags (SRB_Flags).
inline constexpr std::uint8_t SRB_DIR_IN = 0x08;
inline constexpr std::uint8_t SRB_DIR_OUT = 0x10;
inline constexpr std::uint8_t SRB_EVENT_NOTIFY = 0x40;

// Peripheral device type of a CD-ROM class device.
inline constexpr std::uint8_t DTYPE_CDROM = 0x05;

inline constexpr std::size_t kSenseLen = 16;
// Positions in fixed-format sense data (SenseArea).
inline constexpr std::size_t kSenseKeyByte = 2;
inline constexpr std::size_t kSenseAdditionalLengthByte = 7;
inline constexpr std::size_t kSenseAscByte = 12;
inline constexpr std::size_t kSenseAscqByte = 13;

// SC_HA_INQUIRY: 60 bytes in the 32-bit layout.
struct SRB_HAInquiry {
  std::uint8_t SRB_Cmd;            // 0
  std::uint8_t SRB_Status;         // 1
  std::uint8_t SRB_HaId;           // 2
  std::uint8_t SRB_Flags;          // 3
  std::uint32_t SRB_Hdr_Rsvd;      // 4
  std::uint8_t HA_Count;           // 8
  std::uint8_t HA_SCSI_ID;         // 9
  std::uint8_t HA_ManagerId[16];   // 10
  std::uint8_t HA_Identifier[16];  // 26
  std::uint8_t HA_Unique[16];      // 42
  std::uint16_t HA_Rsvd1;          // 58
};

// SC_GET_DEV_TYPE: 12 bytes in the 32-bit layout.
struct SRB_GDEVBlock {
  std::uint8_t SRB_Cmd;         // 0
  std::uint8_t SRB_Status;      // 1
  std::uint8_t SRB_HaId;        // 2
  std::uint8_t SRB_Flags;       // 3
  std::uint32_t SRB_Hdr_Rsvd;   // 4
  std::uint8_t SRB_Target;      // 8
  std::uint8_t SRB_Lun;         // 9
  std::uint8_t SRB_DeviceType;  // 10
  std::uint8_t SRB_Rsvd1;       // 11
};

// SC_EXEC_SCSI_CMD: 80 bytes in the 32-bit layout. SRB_PostProc names the
// completion event that the manager signals when the request ends (with
// SRB_EVENT_NOTIFY set).
struct SRB_ExecSCSICmd {
  std::uint8_t SRB_Cmd;               // 0
  std::uint8_t SRB_Status;            // 1
  std::uint8_t SRB_HaId;              // 2
  std::uint8_t SRB_Flags;             // 3
  std::uint32_t SRB_Hdr_Rsvd;         // 4
  std::uint8_t SRB_Target;            // 8
  std::uint8_t SRB_Lun;               // 9
  std::uint16_t SRB_Rsvd1;            // 10
  std::uint32_t SRB_BufLen;           // 12
  std::uint8_t* SRB_BufPointer;       // 16
  std::uint8_t SRB_SenseLen;          // 20
  std::uint8_t SRB_CDBLen;            // 21
  std::uint8_t SRB_HaStat;            // 22
  std::uint8_t SRB_TargStat;          // 23
  Event* SRB_PostProc;                // 24
  void* SRB_Rsvd2;                    // 28
  std::uint8_t SRB_Rsvd3[16];         // 32
  std::uint8_t CDBByte[16];           // 48
  std::uint8_t SenseArea[kSenseLen];  // 64
};

// SC_ABORT_SRB: 16 bytes in the 32-bit layout. Asks the manager to end the
// execute request SRB_ToAbort. Once the submit has returned, the manager no
// longer touches that request's block, data area or event.
struct SRB_Abort {
  std::uint8_t SRB_Cmd;          // 0
  std::uint8_t SRB_Status;       // 1
  std::uint8_t SRB_HaId;         // 2
  std::uint8_t SRB_Flags;        // 3
  std::uint32_t SRB_Hdr_Rsvd;    // 4
  SRB_ExecSCSICmd* SRB_ToAbort;  // 8
  std::uint32_t SRB_Rsvd1;       // 12
};

// SC_RESET_DEV: 64 bytes in the 32-bit layout.
struct SRB_BusDeviceReset {
  std::uint8_t SRB_Cmd;        // 0
  std::uint8_t SRB_Status;     // 1
  std::uint8_t SRB_HaId;       // 2
  std::uint8_t SRB_Flags;      // 3
  std::uint32_t SRB_Hdr_Rsvd;  // 4
  std::uint8_t SRB_Target;     // 8
  std::uint8_t SRB_Lun;        // 9
  std::uint8_t SRB_Rsvd1[12];  // 10
  std::uint8_t SRB_HaStat;     // 22
  std::uint8_t SRB_TargStat;   // 23
  void* SRB_PostProc;          // 24
  void* SRB_Rsvd2;             // 28
  std::uint8_t SRB_Rsvd3[16];  // 32
  std::uint8_t CDBByte[16];    // 48
};

// The request code of any block: byte 0 of every layout.
inline std::uint8_t SrbCommandOf(const void* srb) {
  return static_cast<const std::uint8_t*>(srb)[0];
}

// Reads a status byte that another thread may still write.
inline std::uint8_t LoadSrbStatus(std::uint8_t& status) {
  return std::atomic_ref<std::uint8_t>(status).load(std::memory_order_acquire);
}

// Writes the final status of a request after every other field.
inline void PublishSrbStatus(std::uint8_t& status, std::uint8_t value) {
  std::atomic_ref<std::uint8_t>(status).store(value, std::memory_order_release);
}

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(SRB_HAInquiry) == 60);
static_assert(sizeof(SRB_GDEVBlock) == 12);
static_assert(offsetof(SRB_GDEVBlock, SRB_DeviceType) == 10);
static_assert(sizeof(SRB_ExecSCSICmd) == 80);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 12);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 16);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 20);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaStat) == 22);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_TargStat) == 23);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 24);
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 48);
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 64);
static_assert(sizeof(SRB_BusDeviceReset) == 64);
static_assert(sizeof(SRB_Abort) == 16);
#endif

}  // namespace qfw
