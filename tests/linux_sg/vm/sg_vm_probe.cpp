// Runs the whole program, without a window, over the real SCSI generic
// devices of the machine it runs on (in the test VM: the kernel's scsi_debug
// target), and prints the run's transcript, one event a line, for the guest
// script to check.
//
//   sg_vm_probe scan
//       starts the program and presses Exit as soon as the window is up
//   sg_vm_probe update VERSION [--stall-after-blocks N]
//                              [--write-buffer-timeout-ms MS]
//                              [--busy-open-wait-ms MS]
//       starts the program, ticks "Update Enable" unless it is ticked, presses
//       UPDATE, and once
//       the update has ended presses Exit
//
// The program's working directory (a fresh directory under the current one)
// holds a catalogue with one entry for the drives whose INQUIRY text begins
// with "Linux   scsi_debug": a 32 KiB image in 8 KiB blocks (mode 4, 4, 4,
// then mode 5), expected version VERSION ("NON" for scan).
//
// The transcript's lines are those of the headless screen (HeadlessScreen.h)
// and of the recorded bus requests (RecordingManager.h); repaints are left
// out. Then "EXIT <status>" with the program's exit status.
//
// --stall-after-blocks N makes scsi_debug stop answering after N blocks: from
// the next WRITE BUFFER on, every command is ignored until the kernel's
// time-out (its sysfs knobs every_nth and opts); "STALL on" is printed when
// that was set. --write-buffer-timeout-ms shortens the kernel time-out of
// WRITE BUFFER, so that the stall ends quickly; --busy-open-wait-ms the wait
// for a device that another program keeps open.
//
// Exit status: the program's, 2 on bad arguments.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "headless/HeadlessSession.h"
#include "linux_sg/LinuxSgManager.h"
#include "platform/Srb.h"
#include "platform/SystemWaits.h"
#include "ui/FormDescription.h"
#include "ui/Mainunit.h"

namespace {

constexpr const char* kModelKey = "Linux   scsi_debug";
constexpr std::uint32_t kImageSize = 32768;
constexpr std::uint32_t kBlockSize = 8192;
constexpr std::uint8_t kWriteBufferOpcode = 0x3B;
constexpr const char* kScsiDebugKnobs = "/sys/bus/pseudo/drivers/scsi_debug/";

bool WriteKnob(const std::string& name, const std::string& value) {
  std::ofstream out(std::string(kScsiDebugKnobs) + name);
  out << value << '\n';
  out.flush();
  return static_cast<bool>(out);
}

// Passes every request on; before the WRITE BUFFER that follows the first
// `blocks` ones, turns on scsi_debug's time-out injection for every command
// (every_nth -1, opts 4) and keeps its command log (opts 1).
class StallingManager final : public qfw::AspiManager {
 public:
  StallingManager(qfw::AspiManager& inner, int blocks) : inner_(inner), blocks_(blocks) {}

  std::uint32_t GetASPI32SupportInfo() override { return inner_.GetASPI32SupportInfo(); }

  std::uint8_t SendASPI32Command(void* srb) override {
    if (blocks_ >= 0 && qfw::SrbCommandOf(srb) == qfw::SC_EXEC_SCSI_CMD &&
        static_cast<qfw::SRB_ExecSCSICmd*>(srb)->CDBByte[0] == kWriteBufferOpcode) {
      if (sent_ == blocks_) {
        const bool ok = WriteKnob("every_nth", "-1") && WriteKnob("opts", "5");
        std::cout << "STALL " << (ok ? "on" : "failed") << std::endl;
      }
      ++sent_;
    }
    return inner_.SendASPI32Command(srb);
  }

 private:
  qfw::AspiManager& inner_;
  int blocks_;
  int sent_ = 0;
};

void WriteWorkDir(const std::filesystem::path& dir, const std::string& version) {
  std::filesystem::create_directories(dir);
  std::ofstream(dir / qfw::kCatalogueFileName)
      << kModelKey << "=image.bin," << kImageSize << ',' << kBlockSize << ',' << version << '\n';
  std::ofstream image(dir / "image.bin", std::ios::binary);
  for (std::uint32_t i = 0; i < kImageSize; ++i) image.put(static_cast<char>(i * 7 + i / 8192));
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const bool usable =
      !args.empty() && (args[0] == "scan" || (args[0] == "update" && args.size() >= 2));
  if (!usable) {
    std::cerr << "usage: sg_vm_probe scan | update VERSION [--stall-after-blocks N] "
                 "[--write-buffer-timeout-ms MS] [--busy-open-wait-ms MS]\n";
    return 2;
  }
  const bool update = args[0] == "update";
  qfw::LinuxSgOptions options;
  int stallAfter = -1;
  for (std::size_t i = update ? 2 : 1; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) {
      std::cerr << "missing value for " << args[i] << "\n";
      return 2;
    }
    const int value = std::stoi(args[i + 1]);
    if (args[i] == "--stall-after-blocks") {
      stallAfter = value;
    } else if (args[i] == "--write-buffer-timeout-ms") {
      options.writeBufferTimeout = qfw::linux_sg::KernelTimeout(value);
    } else if (args[i] == "--busy-open-wait-ms") {
      options.busyOpenWait = qfw::Millis(value);
    } else {
      std::cerr << "unknown option " << args[i] << "\n";
      return 2;
    }
  }

  const std::filesystem::path workDir = std::filesystem::absolute("qfw-run");
  std::filesystem::remove_all(workDir);
  WriteWorkDir(workDir, update ? args[1] : "NON");

  qfw::SystemWaits waits;
  qfw::headless::HeadlessSession session(workDir);
  session.screen().RecordRepaints(false);
  session.transcript().SetEcho([](const std::string& line) { std::cout << line << std::endl; });
  if (update) {
    session.Step([](qfw::TMainForm& form) {
      if (!form.EnableBoxTicked()) form.UserClick(qfw::ControlId::CheckBox1);
    });
    session.Step([](qfw::TMainForm& form) { form.UserClick(qfw::ControlId::ButtonSelect); });
  }
  session.Step([](qfw::TMainForm& form) { form.UserClick(qfw::ControlId::ButtonExit); });

  int status = 0;
  {
    const std::unique_ptr<qfw::AspiManager> real = qfw::MakeLinuxSgManager(options);
    StallingManager manager(*real, stallAfter);
    status = session.RunProgram(manager, waits);
  }
  std::cout << "EXIT " << status << std::endl;
  return status;
}
