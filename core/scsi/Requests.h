// The requests the program sends to the SCSI manager, each reduced to a small
// result: 0 success, 1 failure (or nothing could be submitted), 2 the manager
// did not end the request within the wait. Every request runs on the calling
// thread and blocks it for its whole wait.
//
// Waiting rules:
//   TestUnitReady    accepted (SS_PENDING): wait up to 1000 ms, 2 on time-out,
//                    else 0; ended at once: 0 without waiting. The outcome of
//                    the command is never examined.
//   InquiryDevice    wait up to 3000 ms in either case; 2 on time-out (no
//                    message), else CheckSrbStatus decides.
//   WriteBufferBlock accepted: wait up to 1000 ms on the event, however that
//                    wait ends, then poll SRB_Status (pausing briefly between
//                    reads) until it leaves SS_PENDING; ended at once: no
//                    wait. CheckSrbStatus decides. Never 2.
//
// A request whose wait timed out is ended with an abort request (SC_ABORT_SRB)
// before the call returns, so the manager never writes into a block, a data
// area (InquiryBuffer) or an event that the program has moved on from.
//
// Each of the three command requests makes its own completion event, resets
// it, and closes it on every path. When no event can be made, the error box
// "Can not create Event." is shown, nothing is submitted and the result is 1.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/AspiManager.h"
#include "platform/Events.h"
#include "platform/Srb.h"
#include "scsi/Cdb.h"
#include "ui/Presentations.h"

namespace qfw {

inline constexpr Millis kTestUnitReadyWait{1000};
inline constexpr Millis kInquiryWait{3000};
inline constexpr Millis kWriteBufferFirstWait{1000};
// Pause between two reads of SRB_Status while a WRITE BUFFER is pending.
inline constexpr Millis kWriteBufferPollPause{5};
inline constexpr std::size_t kInquiryBufferSize = 32768;
inline constexpr std::uint32_t kInquiryLength = 36;
// What FillInquiryBuffer writes into the first 36 bytes of InquiryBuffer. It
// shows in the InquiryText of a drive that returns fewer than 36 bytes; a run
// of '?' cannot begin a vendor name such as QUORVEL or a sensible model key.
inline constexpr std::uint8_t kInquiryFill = '?';
// Largest offset or length that the 24-bit fields of WRITE BUFFER can carry.
inline constexpr std::uint32_t kMaxWriteBufferField = kMaxCdbField24;

class RequestLayer {
 public:
  RequestLayer(AspiManager& manager, WaitServices& waits, Messages& messages);

  // SC_HA_INQUIRY for adapter ha; the status the submit returned, unchanged.
  std::uint8_t HostAdapterInquiry(std::uint8_t ha);
  // 0: a device of peripheral type 5 answers at (ha, target, LUN 0); 1 else.
  int IsCdRomDevice(std::uint8_t ha, std::uint8_t target);
  int TestUnitReady(std::uint8_t ha, std::uint8_t target);
  // Standard INQUIRY of length bytes into InquiryBuffer. A length above 255
  // (the CDB's one-byte field) is refused with 1, nothing submitted.
  int InquiryDevice(std::uint8_t ha, std::uint8_t target, std::uint32_t length);
  // WRITE BUFFER, buffer ID 0, of the length bytes of the firmware image that
  // start at offset. Offset and length above kMaxWriteBufferField, or a block
  // outside the image (or no image), are refused with 1 before anything is
  // submitted and without a message: the update request refuses such images
  // earlier, with a message of its own.
  int WriteBufferBlock(std::uint8_t ha, std::uint8_t target, std::uint32_t length,
                       std::uint32_t offset, std::uint8_t mode);
  // SC_RESET_DEV; 0 when the manager accepted it (SS_PENDING), 1 when it ended
  // it at once. Waits for an accepted reset to end before returning, polling
  // SRB_Status: the block is this call's own.
  int ResetDevice(std::uint8_t ha, std::uint8_t target);

  // Pauses of the calling thread; without an event they return at once.
  void WaitOneSecond();
  void WaitTenthSecond();

  // The image that WRITE BUFFER takes its blocks from (not owned).
  void SetFirmwareImage(const std::uint8_t* data, std::size_t size);

  // Overwrites the first 36 bytes of InquiryBuffer with the fixed fill.
  void FillInquiryBuffer();
  // The drive's identity after an INQUIRY: bytes 8 to 35 of InquiryBuffer up
  // to the first NUL, so at most 28 characters. Bytes 36 to 43 are never
  // written and stay zero, so reading on into them would give the same text;
  // stopping at byte 35 keeps the bound even if they were not.
  std::string InquiryText() const;

  std::array<std::uint8_t, kInquiryBufferSize> InquiryBuffer{};

 private:
  // A fresh, reset completion event; null after showing "Can not create Event.".
  std::shared_ptr<Event> MakeEvent();
  // Ends a request that is still in the manager's hands (SC_ABORT_SRB), so that
  // nothing writes into the block, its data area or its event afterwards.
  void EndIfPending(SRB_ExecSCSICmd& srb);
  void Pause(Millis duration);

  AspiManager& manager_;
  WaitServices& waits_;
  Messages& messages_;
  const std::uint8_t* image_ = nullptr;
  std::size_t imageSize_ = 0;
  SRB_GDEVBlock deviceTypeBlock_{};
  SRB_ExecSCSICmd testUnitReadyBlock_{};
};

}  // namespace qfw
