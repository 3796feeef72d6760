#include "scsi/Requests.h"

#include <algorithm>
#include <memory>

#include "scsi/Cdb.h"
#include "scsi/StatusDecoder.h"
#include "ui/Texts.h"

namespace qfw {
namespace {

constexpr std::uint8_t kSenseLength = 0x10;
constexpr std::size_t kInquiryTextFirst = 8;
constexpr std::size_t kInquiryTextEnd = 36;  // one past the revision field
constexpr std::uint32_t kMaxInquiryLength = 255;
constexpr Millis kOneSecond{1000};
constexpr Millis kTenthSecond{100};

template <std::size_t N>
void PutCdb(SRB_ExecSCSICmd& srb, const std::array<std::uint8_t, N>& cdb) {
  static_assert(N <= sizeof srb.CDBByte);
  std::copy(cdb.begin(), cdb.end(), srb.CDBByte);
  srb.SRB_CDBLen = static_cast<std::uint8_t>(N);
}

void FillCommon(SRB_ExecSCSICmd& srb, std::uint8_t ha, std::uint8_t target, std::uint8_t flags,
                Event& event) {
  srb = SRB_ExecSCSICmd{};
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_HaId = ha;
  srb.SRB_Flags = flags;
  srb.SRB_Target = target;
  srb.SRB_Lun = 0;
  srb.SRB_SenseLen = kSenseLength;
  srb.SRB_PostProc = &event;
}

}  // namespace

RequestLayer::RequestLayer(AspiManager& manager, WaitServices& waits, Messages& messages)
    : manager_(manager), waits_(waits), messages_(messages) {}

std::uint8_t RequestLayer::HostAdapterInquiry(std::uint8_t ha) {
  SRB_HAInquiry srb{};
  srb.SRB_Cmd = SC_HA_INQUIRY;
  srb.SRB_HaId = ha;
  return manager_.SendASPI32Command(&srb);
}

int RequestLayer::IsCdRomDevice(std::uint8_t ha, std::uint8_t target) {
  deviceTypeBlock_ = SRB_GDEVBlock{};
  deviceTypeBlock_.SRB_Cmd = SC_GET_DEV_TYPE;
  deviceTypeBlock_.SRB_HaId = ha;
  deviceTypeBlock_.SRB_Target = target;
  deviceTypeBlock_.SRB_Lun = 0;
  const std::uint8_t status = manager_.SendASPI32Command(&deviceTypeBlock_);
  return status == SS_COMP && deviceTypeBlock_.SRB_DeviceType == DTYPE_CDROM ? 0 : 1;
}

std::shared_ptr<Event> RequestLayer::MakeEvent() {
  std::shared_ptr<Event> event = waits_.CreateEvent();
  if (!event) {
    messages_.ShowErrorBox(text::kNoEvent);
    return nullptr;
  }
  event->Reset();
  return event;
}

void RequestLayer::EndIfPending(SRB_ExecSCSICmd& srb) {
  if (LoadSrbStatus(srb.SRB_Status) != SS_PENDING) return;
  SRB_Abort abort{};
  abort.SRB_Cmd = SC_ABORT_SRB;
  abort.SRB_HaId = srb.SRB_HaId;
  abort.SRB_ToAbort = &srb;
  manager_.SendASPI32Command(&abort);
}

int RequestLayer::TestUnitReady(std::uint8_t ha, std::uint8_t target) {
  const std::shared_ptr<Event> event = MakeEvent();
  if (!event) return 1;
  SRB_ExecSCSICmd& srb = testUnitReadyBlock_;
  FillCommon(srb, ha, target, SRB_EVENT_NOTIFY, *event);
  srb.SRB_BufLen = 0;
  srb.SRB_BufPointer = nullptr;
  PutCdb(srb, TestUnitReadyCdb());

  if (manager_.SendASPI32Command(&srb) != SS_PENDING) return 0;
  const WaitResult waited = event->Wait(kTestUnitReadyWait);
  // A failed wait counts as the end of the request, but the block is static
  // and reused by the next call, so a request still running is ended here.
  EndIfPending(srb);
  return waited == WaitResult::TimedOut ? 2 : 0;
}

int RequestLayer::InquiryDevice(std::uint8_t ha, std::uint8_t target, std::uint32_t length) {
  if (length > kMaxInquiryLength) return 1;
  const std::shared_ptr<Event> event = MakeEvent();
  if (!event) return 1;
  SRB_ExecSCSICmd srb;
  FillCommon(srb, ha, target, SRB_EVENT_NOTIFY | SRB_DIR_IN, *event);
  srb.SRB_BufLen = length;
  srb.SRB_BufPointer = InquiryBuffer.data();
  PutCdb(srb, InquiryCdb(static_cast<std::uint8_t>(length)));

  // The wait is the same whether the submit left the request pending or ended
  // it at once: the manager may or may not signal a request it ends at once.
  manager_.SendASPI32Command(&srb);
  const WaitResult waited = event->Wait(kInquiryWait);
  EndIfPending(srb);
  if (waited == WaitResult::TimedOut) return 2;
  return CheckSrbStatus(srb, messages_);
}

int RequestLayer::WriteBufferBlock(std::uint8_t ha, std::uint8_t target, std::uint32_t length,
                                   std::uint32_t offset, std::uint8_t mode) {
  const std::optional<Cdb10> cdb = WriteBufferCdb(mode, offset, length);
  if (!cdb || image_ == nullptr ||
      std::uint64_t{offset} + std::uint64_t{length} > std::uint64_t{imageSize_}) {
    return 1;
  }
  const std::shared_ptr<Event> event = MakeEvent();
  if (!event) return 1;
  SRB_ExecSCSICmd srb;
  FillCommon(srb, ha, target, SRB_EVENT_NOTIFY | SRB_DIR_OUT, *event);
  srb.SRB_BufLen = length;
  // The manager only reads the data of a WRITE BUFFER.
  srb.SRB_BufPointer = const_cast<std::uint8_t*>(image_ + offset);
  PutCdb(srb, *cdb);

  if (manager_.SendASPI32Command(&srb) == SS_PENDING) {
    event->Wait(kWriteBufferFirstWait);
    while (LoadSrbStatus(srb.SRB_Status) == SS_PENDING) waits_.SleepFor(kWriteBufferPollPause);
  }
  return CheckSrbStatus(srb, messages_);
}

int RequestLayer::ResetDevice(std::uint8_t ha, std::uint8_t target) {
  SRB_BusDeviceReset srb{};
  srb.SRB_Cmd = SC_RESET_DEV;
  srb.SRB_HaId = ha;
  srb.SRB_Flags = 0;
  srb.SRB_Target = target;
  srb.SRB_Lun = 0;
  if (manager_.SendASPI32Command(&srb) != SS_PENDING) return 1;
  // The block is this call's own: the manager must be done with it before the
  // call returns.
  while (LoadSrbStatus(srb.SRB_Status) == SS_PENDING) waits_.SleepFor(kWriteBufferPollPause);
  return 0;
}

void RequestLayer::Pause(Millis duration) {
  const std::shared_ptr<Event> event = waits_.CreateEvent();
  if (!event) return;
  event->Reset();
  event->Wait(duration);
}

void RequestLayer::WaitOneSecond() {
  Pause(kOneSecond);
}

void RequestLayer::WaitTenthSecond() {
  Pause(kTenthSecond);
}

void RequestLayer::SetFirmwareImage(const std::uint8_t* data, std::size_t size) {
  image_ = data;
  imageSize_ = data != nullptr ? size : 0;
}

void RequestLayer::FillInquiryBuffer() {
  std::fill_n(InquiryBuffer.begin(), kInquiryLength, kInquiryFill);
}

std::string RequestLayer::InquiryText() const {
  const auto first = InquiryBuffer.begin() + kInquiryTextFirst;
  const auto last = InquiryBuffer.begin() + kInquiryTextEnd;
  return std::string(first, std::find(first, last, std::uint8_t{0}));
}

}  // namespace qfw
