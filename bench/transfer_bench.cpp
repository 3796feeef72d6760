// The cost of the block transfer path, and the CPU a pending block costs.
//
//   TransferPerBlock      the transfer thread over a drive that answers at
//                         once: per block, the progress hand-off, the block's
//                         hand-off to the UI thread, the request (event,
//                         submit, wait) and the decoding.
//   DirectManagerCalls    the same number of WRITE BUFFER blocks submitted
//                         straight to the manager and awaited, with nothing
//                         around them: the floor the transfer path adds to.
//   PendingBlockCpu       one block that the drive holds for five seconds of
//                         real time; reports the CPU the process used while
//                         waiting, in percent of the wall time.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstring>
#include <memory>
#include <thread>

#include "headless/HeadlessUiThread.h"
#include "platform/SystemWaits.h"
#include "scsi/Requests.h"
#include "simbus/RealTimeScheduler.h"
#include "simbus/SimManager.h"
#include "simbus/VirtualTime.h"
#include "ui/Mainunit.h"
#include "update/Sledscsi.h"

namespace qfw {
namespace {

constexpr std::uint32_t kBlock = 8192;
constexpr std::uint32_t kBlocks = 512;

class NullScreen final : public FormScreen, public MessageScreen {
 public:
  void ControlChanged(ControlId, ControlChange, const ControlState&) override {}
  void Show() override {}
  void Close() override {}
  void Repaint() override {}
  std::optional<std::string> ChooseFile(const FileDialogSpec&) override { return {}; }
  void Beep() override {}
  void Present(const Presentation&) override {}
};

simbus::BusConfig OneDrive() {
  simbus::BusConfig bus;
  simbus::DeviceConfig drive;
  drive.target = 1;
  drive.inquiryData = simbus::MakeInquiryData("QUORVEL", "CDR-4420", "1.03");
  bus.devices = {drive};
  return bus;
}

// A window whose selected drive is (0, 1) with an image of kBlocks blocks.
struct Bench {
  simbus::VirtualTime time;
  simbus::SimManager manager{OneDrive(), time};
  NullScreen screen;
  ThreadRegistry registry;
  headless::HeadlessUiThread ui{registry};
  Platform platform{manager, time, screen, screen, ui, registry, ".", {}, {}};
  std::unique_ptr<TMainForm> form;
  std::thread uiThread;

  Bench() {
    form = std::make_unique<TMainForm>(platform);
    auto& row = form->catalogue.FirmwareCatalogue[0];
    row.ImageSize = kBlock * kBlocks;
    row.BlockSize = kBlock;
    form->catalogue.FirmwareCount = 1;
    form->drives.DriveTable[0] = {0, 1, 0};
    form->drives.DriveCount = 1;
    form->FirmwareImage.data = std::make_unique<std::uint8_t[]>(row.ImageSize);
    form->FirmwareImage.size = row.ImageSize;
    form->requests.SetFirmwareImage(form->FirmwareImage.data.get(), row.ImageSize);
    uiThread = std::thread([this] { ui.Run(); });
  }
  ~Bench() {
    ui.Quit(0);
    uiThread.join();
  }
};

void TransferPerBlock(benchmark::State& state) {
  Bench bench;
  for (auto _ : state) {
    TSledSCSI transfer(*bench.form, true);
    transfer.Start();
    transfer.WaitFor();
    if (bench.form->UpdateResult != 0) state.SkipWithError("a block failed");
  }
  state.SetItemsProcessed(state.iterations() * kBlocks);
  state.counters["us_per_block"] = benchmark::Counter(
      static_cast<double>(state.iterations() * kBlocks),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(TransferPerBlock)->Unit(benchmark::kMillisecond)->UseRealTime();

void DirectManagerCalls(benchmark::State& state) {
  simbus::VirtualTime time;
  simbus::SimManager manager(OneDrive(), time);
  std::vector<std::uint8_t> image(kBlock * kBlocks);
  for (auto _ : state) {
    for (std::uint32_t k = 0; k < kBlocks; ++k) {
      auto event = time.CreateEvent();
      SRB_ExecSCSICmd srb;
      std::memset(&srb, 0, sizeof srb);
      srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
      srb.SRB_Flags = SRB_EVENT_NOTIFY | SRB_DIR_OUT;
      srb.SRB_Target = 1;
      srb.SRB_BufLen = kBlock;
      srb.SRB_BufPointer = image.data() + k * kBlock;
      srb.SRB_SenseLen = kSenseLen;
      srb.SRB_CDBLen = 10;
      srb.SRB_PostProc = event.get();
      const auto cdb = *WriteBufferCdb(k + 1 < kBlocks ? 4 : 5, k * kBlock, kBlock);
      std::memcpy(srb.CDBByte, cdb.data(), cdb.size());
      if (manager.SendASPI32Command(&srb) == SS_PENDING) event->Wait(Millis(1000));
      benchmark::DoNotOptimize(LoadSrbStatus(srb.SRB_Status));
    }
  }
  state.SetItemsProcessed(state.iterations() * kBlocks);
  state.counters["us_per_block"] = benchmark::Counter(
      static_cast<double>(state.iterations() * kBlocks),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(DirectManagerCalls)->Unit(benchmark::kMillisecond)->UseRealTime();

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void PendingBlockCpu(benchmark::State& state) {
  SystemWaits waits;
  simbus::RealTimeScheduler scheduler;
  auto bus = OneDrive();
  bus.devices[0].rules.push_back({simbus::CommandKind::WriteBuffer,
                                  0,
                                  {simbus::Timing::Delayed, Millis(5000), std::nullopt, false}});
  simbus::SimManager manager(bus, scheduler);
  NullScreen screen;
  Messages messages(screen);
  RequestLayer requests(manager, waits, messages);
  std::vector<std::uint8_t> image(kBlock * 4);
  requests.SetFirmwareImage(image.data(), image.size());
  for (auto _ : state) {
    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    const int result = requests.WriteBufferBlock(0, 1, kBlock, 0, 4);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    if (result != 0) state.SkipWithError("the block failed");
    state.counters["wall_s"] = wall;
    state.counters["cpu_percent"] = 100.0 * cpu / wall;
  }
}
BENCHMARK(PendingBlockCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace qfw

BENCHMARK_MAIN();
