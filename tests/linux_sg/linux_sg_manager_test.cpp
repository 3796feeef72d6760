// The manager's handling of requests over a scripted SCSI generic transport:
// addressing, background execution, unit-attention retries, kernel time-outs,
// abort, exclusive opening and open failures.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "linux_sg/LinuxSgManager.h"
#include "platform/Srb.h"
#include "platform/SystemWaits.h"

namespace qfw {
namespace {

using linux_sg::DataDirection;
using linux_sg::KernelOutcome;
using linux_sg::KernelTimeout;
using linux_sg::SgCommand;
using linux_sg::SgNode;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// One answer of the fake kernel: the outcome and the bytes a data-in command
// receives.
struct Answer {
  KernelOutcome outcome;
  Bytes dataIn;
};

Answer UnitAttention(std::uint8_t asc, std::uint8_t ascq) {
  Answer a;
  a.outcome.scsiStatus = STATUS_CHKCOND;
  a.outcome.driverStatus = linux_sg::kDriverSense;
  a.outcome.sense = {0x70, 0, 0x06, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, asc, ascq, 0, 0, 0, 0};
  return a;
}

// The system calls as the manager makes them, answered from a script. Open
// hands out descriptors 100, 101, ... unless an error is queued for it.
class FakeTransport final : public linux_sg::SgTransport {
 public:
  struct Call {
    std::string what;  // "open", "open-excl", "close", "exec", "reset"
    int fd = -1;
    Bytes cdb;
    DataDirection direction = DataDirection::None;
    Bytes dataOut;
    KernelTimeout timeout{0};
  };

  int Open(const std::string& path, bool exclusive) override {
    std::lock_guard lock(mutex_);
    calls_.push_back({exclusive ? "open-excl" : "open", -1, {}, {}, {}, {}});
    lastPath_ = path;
    if (!openErrors_.empty()) {
      const int error = openErrors_.front();
      if (openErrors_.size() > 1 || !repeatLastOpenError_) openErrors_.pop_front();
      return -error;
    }
    calls_.back().fd = nextFd_;
    return nextFd_++;
  }

  void Close(int fd) override {
    std::lock_guard lock(mutex_);
    calls_.push_back({"close", fd, {}, {}, {}, {}});
  }

  KernelOutcome Execute(int fd, const SgCommand& command) override {
    std::unique_lock lock(mutex_);
    Call call{
        "exec",         fd, Bytes(command.cdb.begin(), command.cdb.end()), command.direction, {},
        command.timeout};
    if (command.direction == DataDirection::ToDevice) {
      call.dataOut.assign(command.data.begin(), command.data.end());
    }
    calls_.push_back(call);
    ++executing_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !held_; });
    --executing_;
    Answer answer;
    if (!answers_.empty()) {
      answer = answers_.front();
      answers_.pop_front();
    }
    std::copy_n(answer.dataIn.begin(), std::min(answer.dataIn.size(), command.data.size()),
                command.data.begin());
    return answer.outcome;
  }

  int ResetDevice(int fd) override {
    std::lock_guard lock(mutex_);
    calls_.push_back({"reset", fd, {}, {}, {}, {}});
    return resetError_;
  }

  void QueueAnswer(Answer answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(std::move(answer));
  }
  // The next opens fail with these errors; with repeatLast the last one stays.
  void QueueOpenErrors(std::vector<int> errors, bool repeatLast = false) {
    std::lock_guard lock(mutex_);
    openErrors_.assign(errors.begin(), errors.end());
    repeatLastOpenError_ = repeatLast;
  }
  void SetResetError(int error) {
    std::lock_guard lock(mutex_);
    resetError_ = error;
  }
  // While held, Execute blocks after recording its call.
  void Hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
  }
  void Release() {
    {
      std::lock_guard lock(mutex_);
      held_ = false;
    }
    changed_.notify_all();
  }
  void WaitUntilExecuting() {
    std::unique_lock lock(mutex_);
    ASSERT_TRUE(changed_.wait_for(lock, 10s, [this] { return executing_ > 0; }));
  }

  std::vector<Call> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::vector<Call> Executed() const {
    std::vector<Call> out;
    for (const Call& c : Calls()) {
      if (c.what == "exec") out.push_back(c);
    }
    return out;
  }
  // The open and close calls in order, e.g. "open:100 close:100 open-excl:101".
  std::string OpenHistory() const {
    std::string out;
    for (const Call& c : Calls()) {
      if (c.what == "exec" || c.what == "reset") continue;
      if (!out.empty()) out += ' ';
      out += c.what + ":" + std::to_string(c.fd);
    }
    return out;
  }
  std::string LastPath() const {
    std::lock_guard lock(mutex_);
    return lastPath_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Call> calls_;
  std::string lastPath_;
  std::deque<Answer> answers_;
  std::deque<int> openErrors_;
  bool repeatLastOpenError_ = false;
  int resetError_ = 0;
  int nextFd_ = 100;
  bool held_ = false;
  int executing_ = 0;
};

// A clock that moves only when the manager pauses.
class FakeWaits final : public WaitServices {
 public:
  std::shared_ptr<Event> CreateEvent() override { return real_.CreateEvent(); }
  Millis Now() override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  void SleepFor(Millis duration) override {
    std::lock_guard lock(mutex_);
    now_ += duration;
  }

 private:
  SystemWaits real_;
  std::mutex mutex_;
  Millis now_{0};
};

constexpr KernelTimeout kShortWriteBuffer = 3s;

// Host 4 has a CD-ROM class drive at target 1 and a disk at target 0; host 9
// a drive at target 3 and one at LUN 1 of target 5.
std::vector<SgNode> Bus() {
  return {
      {"sg0", {4, 0, 0, 0}, 0},
      {"sg1", {4, 0, 1, 0}, 5},
      {"sg2", {9, 0, 3, 0}, 5},
      {"sg3", {9, 0, 5, 1}, 5},
  };
}

class LinuxSgManagerTest : public ::testing::Test {
 protected:
  LinuxSgManagerTest() {
    auto transport = std::make_unique<FakeTransport>();
    fake_ = transport.get();
    LinuxSgOptions options;
    options.deviceDir = "/dev";
    options.writeBufferTimeout = kShortWriteBuffer;
    options.busyOpenWait = 2000ms;
    options.diagnostics = &diagnostics_;
    options.waits = &waits_;
    manager_ = std::make_unique<LinuxSgManager>(Bus(), std::move(transport), options);
  }

  // An execute block for adapter 0, target 1 with its own event.
  SRB_ExecSCSICmd Block(Bytes cdb, std::uint8_t flags = 0, std::uint8_t* data = nullptr,
                        std::uint32_t length = 0) {
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = 0;
    srb.SRB_Target = 1;
    srb.SRB_Flags = static_cast<std::uint8_t>(SRB_EVENT_NOTIFY | flags);
    srb.SRB_BufLen = length;
    srb.SRB_BufPointer = data;
    srb.SRB_SenseLen = kSenseLen;
    srb.SRB_CDBLen = static_cast<std::uint8_t>(cdb.size());
    std::copy(cdb.begin(), cdb.end(), srb.CDBByte);
    event_ = waits_.CreateEvent();
    srb.SRB_PostProc = event_.get();
    return srb;
  }

  // Submits and waits for the end; the final SRB_Status.
  std::uint8_t Run(SRB_ExecSCSICmd& srb) {
    EXPECT_EQ(manager_->SendASPI32Command(&srb), SS_PENDING);
    EXPECT_EQ(event_->Wait(10000ms), WaitResult::Signalled);
    return LoadSrbStatus(srb.SRB_Status);
  }

  FakeWaits waits_;
  std::ostringstream diagnostics_;
  FakeTransport* fake_ = nullptr;
  std::shared_ptr<Event> event_;
  std::unique_ptr<LinuxSgManager> manager_;
};

const Bytes kTur = {0x00, 0, 0, 0, 0, 0};
const Bytes kInquiry = {0x12, 0, 0, 0, 36, 0};
const Bytes kWriteBuffer4 = {0x3B, 0x04, 0, 0, 0, 0, 0, 0, 8, 0};

TEST_F(LinuxSgManagerTest, AdaptersAreTheHostsWithDevicesAndOnlyLunZeroIsSeen) {
  EXPECT_EQ(manager_->GetASPI32SupportInfo() & 0xFF, 2u);

  for (int ha = 0; ha < 3; ++ha) {
    SCOPED_TRACE(ha);
    SRB_HAInquiry inquiry{};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    inquiry.SRB_HaId = static_cast<std::uint8_t>(ha);
    EXPECT_EQ(manager_->SendASPI32Command(&inquiry), ha < 2 ? SS_COMP : SS_INVALID_HA);
  }

  struct Case {
    std::uint8_t ha, target, lun, status, type;
  } cases[] = {
      {0, 0, 0, SS_COMP, 0},      {0, 1, 0, SS_COMP, 5},      {1, 3, 0, SS_COMP, 5},
      {1, 5, 0, SS_NO_DEVICE, 0},  // the drive answers at LUN 1 only
      {1, 5, 1, SS_NO_DEVICE, 0}, {0, 2, 0, SS_NO_DEVICE, 0}, {2, 0, 0, SS_INVALID_HA, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.ha) + "," + std::to_string(c.target) + "," +
                 std::to_string(c.lun));
    SRB_GDEVBlock gdev{};
    gdev.SRB_Cmd = SC_GET_DEV_TYPE;
    gdev.SRB_HaId = c.ha;
    gdev.SRB_Target = c.target;
    gdev.SRB_Lun = c.lun;
    EXPECT_EQ(manager_->SendASPI32Command(&gdev), c.status);
    EXPECT_EQ(gdev.SRB_Status, c.status);
    if (c.status == SS_COMP) {
      EXPECT_EQ(gdev.SRB_DeviceType, c.type);
    }
  }
}

TEST_F(LinuxSgManagerTest, InquiryReturnsOnlyTheBytesTheDeviceSent) {
  Answer answer;
  answer.dataIn = {0x05, 0x80, 0x05, 0x02, 0x1F};
  answer.outcome.residual = 31;
  fake_->QueueAnswer(answer);
  std::array<std::uint8_t, 40> buffer;
  buffer.fill(0xAA);
  SRB_ExecSCSICmd srb = Block(kInquiry, SRB_DIR_IN, buffer.data(), 36);

  EXPECT_EQ(Run(srb), SS_COMP);
  EXPECT_EQ(srb.SRB_HaStat, 0);
  EXPECT_EQ(srb.SRB_TargStat, 0);
  const Bytes expected = {0x05, 0x80, 0x05, 0x02, 0x1F, 0xAA, 0xAA};
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 7), expected);
  EXPECT_EQ(buffer[39], 0xAA);

  const auto executed = fake_->Executed();
  ASSERT_EQ(executed.size(), 1u);
  EXPECT_EQ(executed[0].cdb, kInquiry);
  EXPECT_EQ(executed[0].direction, DataDirection::FromDevice);
  EXPECT_EQ(fake_->LastPath(), "/dev/sg1");
}

TEST_F(LinuxSgManagerTest, EachCommandGetsItsKernelTimeOut) {
  struct Case {
    Bytes cdb;
    KernelTimeout timeout;
  } cases[] = {
      {kTur, linux_sg::kTestUnitReadyTimeout},
      {kInquiry, linux_sg::kInquiryTimeout},
      {kWriteBuffer4, kShortWriteBuffer},
      {{0x1B, 0, 0, 0, 0, 0}, linux_sg::kOtherCommandTimeout},
  };
  std::array<std::uint8_t, 36> buffer{};
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.cdb[0]});
    const bool data = c.cdb[0] == 0x12 || c.cdb[0] == 0x3B;
    const std::uint8_t dir = c.cdb[0] == 0x12 ? SRB_DIR_IN : data ? SRB_DIR_OUT : std::uint8_t{0};
    SRB_ExecSCSICmd srb = Block(c.cdb, dir, data ? buffer.data() : nullptr, data ? 36 : 0);
    EXPECT_EQ(Run(srb), SS_COMP);
    EXPECT_EQ(fake_->Executed().back().timeout, c.timeout);
  }
  EXPECT_GE(linux_sg::kWriteBufferTimeout, 60s);
  EXPECT_LE(linux_sg::kTestUnitReadyTimeout, 10s);
}

TEST_F(LinuxSgManagerTest, UnitAttentionIsSentAgainUntilTheCommandRuns) {
  // What scsi_debug answers to the block after a mode-4 block.
  fake_->QueueAnswer(UnitAttention(0x29, 0x02));
  fake_->QueueAnswer(UnitAttention(0x3F, 0x01));
  fake_->QueueAnswer(Answer{});
  Bytes image(8, 0);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i + 1);
  SRB_ExecSCSICmd srb = Block(kWriteBuffer4, SRB_DIR_OUT, image.data(), 8);

  EXPECT_EQ(Run(srb), SS_COMP);
  EXPECT_EQ(srb.SRB_TargStat, STATUS_GOOD);
  const auto executed = fake_->Executed();
  ASSERT_EQ(executed.size(), 3u);
  for (const auto& call : executed) {
    EXPECT_EQ(call.cdb, kWriteBuffer4);
    EXPECT_EQ(call.dataOut, image);
  }
}

TEST_F(LinuxSgManagerTest, AfterThreeRetriesTheLastUnitAttentionIsReported) {
  for (std::uint8_t i = 0; i < 5; ++i) fake_->QueueAnswer(UnitAttention(0x29, i));
  SRB_ExecSCSICmd srb = Block(kTur);

  EXPECT_EQ(Run(srb), SS_COMP);
  EXPECT_EQ(fake_->Executed().size(), 4u);  // the first try and three more
  EXPECT_EQ(srb.SRB_TargStat, STATUS_CHKCOND);
  EXPECT_EQ(srb.SenseArea[2], 0x06);
  EXPECT_EQ(srb.SenseArea[12], 0x29);
  EXPECT_EQ(srb.SenseArea[13], 3);  // the fourth try's qualifier
}

TEST_F(LinuxSgManagerTest, TransportErrorEndsTheRequestWithTheAdapterStatus) {
  Answer timedOut;
  timedOut.outcome.hostStatus = linux_sg::kDidTimeOut;
  fake_->QueueAnswer(timedOut);
  Bytes image(8, 0x5A);
  SRB_ExecSCSICmd srb = Block(kWriteBuffer4, SRB_DIR_OUT, image.data(), 8);

  EXPECT_EQ(Run(srb), SS_COMP);
  EXPECT_EQ(srb.SRB_HaStat, HASTAT_COMMAND_TIMEOUT);
  EXPECT_EQ(fake_->Executed().size(), 1u);
}

TEST_F(LinuxSgManagerTest, AbortedRequestIsNeverTouchedAgain) {
  fake_->Hold();
  Answer late = UnitAttention(0x29, 0x00);
  late.outcome.sense[2] = 0x05;  // not a unit attention: no retry
  late.dataIn.assign(36, 0x11);
  fake_->QueueAnswer(late);
  std::array<std::uint8_t, 36> buffer;
  buffer.fill(0xAA);
  SRB_ExecSCSICmd srb = Block(kInquiry, SRB_DIR_IN, buffer.data(), 36);
  ASSERT_EQ(manager_->SendASPI32Command(&srb), SS_PENDING);
  fake_->WaitUntilExecuting();

  SRB_Abort abort{};
  abort.SRB_Cmd = SC_ABORT_SRB;
  abort.SRB_ToAbort = &srb;
  EXPECT_EQ(manager_->SendASPI32Command(&abort), SS_COMP);
  EXPECT_EQ(LoadSrbStatus(srb.SRB_Status), SS_ABORTED);
  EXPECT_EQ(manager_->SendASPI32Command(&abort), SS_ABORT_FAIL);

  // The command ends in the kernel afterwards; the manager's destruction
  // waits for its thread.
  fake_->Release();
  manager_.reset();
  EXPECT_EQ(srb.SRB_Status, SS_ABORTED);
  EXPECT_EQ(srb.SRB_TargStat, 0);
  EXPECT_EQ(srb.SenseArea[2], 0);
  EXPECT_EQ(buffer[0], 0xAA);
  EXPECT_EQ(event_->Wait(0ms), WaitResult::TimedOut);
}

TEST_F(LinuxSgManagerTest, DeviceIsHeldExclusivelyFromTheFirstWriteBufferToTheNextOtherCommand) {
  Bytes image(8, 0);
  SRB_ExecSCSICmd tur = Block(kTur);
  EXPECT_EQ(Run(tur), SS_COMP);
  for (int i = 0; i < 2; ++i) {
    SRB_ExecSCSICmd block = Block(kWriteBuffer4, SRB_DIR_OUT, image.data(), 8);
    EXPECT_EQ(Run(block), SS_COMP);
  }
  SRB_ExecSCSICmd after = Block(kTur);
  EXPECT_EQ(Run(after), SS_COMP);

  EXPECT_EQ(fake_->OpenHistory(), "open:100 close:100 open-excl:101 close:101 open:102");
  const auto executed = fake_->Executed();
  ASSERT_EQ(executed.size(), 4u);
  EXPECT_EQ(executed[1].fd, 101);
  EXPECT_EQ(executed[2].fd, 101);
  EXPECT_EQ(executed[3].fd, 102);
}

TEST_F(LinuxSgManagerTest, BusyDeviceIsWaitedForThenReportedBusy) {
  Bytes image(8, 0);
  fake_->QueueOpenErrors({EBUSY, EBUSY});
  SRB_ExecSCSICmd first = Block(kWriteBuffer4, SRB_DIR_OUT, image.data(), 8);
  EXPECT_EQ(Run(first), SS_COMP);
  EXPECT_EQ(fake_->OpenHistory(), "open-excl:-1 open-excl:-1 open-excl:100");
  EXPECT_EQ(diagnostics_.str(), "");

  SRB_ExecSCSICmd tur = Block(kTur);
  fake_->QueueOpenErrors({EBUSY}, true);
  EXPECT_EQ(Run(tur), SS_ASPI_IS_BUSY);
  EXPECT_GE(waits_.Now(), 2000ms);
  EXPECT_EQ(diagnostics_.str(),
            "/dev/sg1: cannot open for reading and writing: Device or resource busy\n");
}

TEST_F(LinuxSgManagerTest, PermissionFailureIsReportedOnceNamingTheDevice) {
  fake_->QueueOpenErrors({EACCES}, true);
  for (int i = 0; i < 2; ++i) {
    std::array<std::uint8_t, 36> buffer{};
    SRB_ExecSCSICmd srb = Block(kInquiry, SRB_DIR_IN, buffer.data(), 36);
    EXPECT_EQ(Run(srb), SS_ILLEGAL_MODE);
  }
  EXPECT_EQ(diagnostics_.str(),
            "/dev/sg1: cannot open for reading and writing: Permission denied\n");
  EXPECT_TRUE(fake_->Executed().empty());
}

TEST_F(LinuxSgManagerTest, MalformedRequestsEndAtOnceAndSendNothing) {
  std::array<std::uint8_t, 8> buffer{};
  struct Case {
    const char* name;
    void (*change)(SRB_ExecSCSICmd&);
    std::uint8_t status;
  } cases[] = {
      {"no adapter", [](SRB_ExecSCSICmd& s) { s.SRB_HaId = 2; }, SS_INVALID_HA},
      {"no device", [](SRB_ExecSCSICmd& s) { s.SRB_Target = 7; }, SS_NO_DEVICE},
      {"LUN 1", [](SRB_ExecSCSICmd& s) { s.SRB_Lun = 1; }, SS_NO_DEVICE},
      {"CDB length 0", [](SRB_ExecSCSICmd& s) { s.SRB_CDBLen = 0; }, SS_INVALID_SRB},
      {"CDB length 17", [](SRB_ExecSCSICmd& s) { s.SRB_CDBLen = 17; }, SS_INVALID_SRB},
      {"both directions",
       [](SRB_ExecSCSICmd& s) { s.SRB_Flags = SRB_EVENT_NOTIFY | SRB_DIR_IN | SRB_DIR_OUT; },
       SS_INVALID_SRB},
      {"data without direction", [](SRB_ExecSCSICmd& s) { s.SRB_Flags = SRB_EVENT_NOTIFY; },
       SS_INVALID_SRB},
      {"data without pointer", [](SRB_ExecSCSICmd& s) { s.SRB_BufPointer = nullptr; },
       SS_INVALID_SRB},
      {"event flag without event", [](SRB_ExecSCSICmd& s) { s.SRB_PostProc = nullptr; },
       SS_INVALID_SRB},
      {"too much data",
       [](SRB_ExecSCSICmd& s) { s.SRB_BufLen = LinuxSgManager::kMaxTransferLength + 1; },
       SS_BUFFER_TO_BIG},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SRB_ExecSCSICmd srb = Block(kInquiry, SRB_DIR_IN, buffer.data(), 8);
    c.change(srb);
    EXPECT_EQ(manager_->SendASPI32Command(&srb), c.status);
    EXPECT_EQ(srb.SRB_Status, c.status);
  }
  EXPECT_TRUE(fake_->Calls().empty());
}

TEST_F(LinuxSgManagerTest, DeviceResetRunsInTheBackground) {
  struct Case {
    int error;
    std::uint8_t status;
  } cases[] = {{0, SS_COMP}, {EACCES, SS_ILLEGAL_MODE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    fake_->SetResetError(c.error);
    SRB_BusDeviceReset reset{};
    reset.SRB_Cmd = SC_RESET_DEV;
    reset.SRB_HaId = 1;
    reset.SRB_Target = 3;
    ASSERT_EQ(manager_->SendASPI32Command(&reset), SS_PENDING);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (LoadSrbStatus(reset.SRB_Status) == SS_PENDING &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    EXPECT_EQ(LoadSrbStatus(reset.SRB_Status), c.status);
    EXPECT_EQ(fake_->Calls().back().what, "reset");
  }
}

}  // namespace
}  // namespace qfw
