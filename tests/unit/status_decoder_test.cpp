#include "scsi/StatusDecoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/RecordingMessageScreen.h"

namespace qfw {
namespace {

struct DecoderCase {
  const char* label;
  std::uint8_t status;
  std::uint8_t haStat;
  std::uint8_t targStat;
  std::uint8_t senseKey;  // sense byte 2, compared whole
  std::uint8_t asc;       // sense byte 12
  std::uint8_t ascq;      // sense byte 13
  int result;
  const char* message;  // nullptr: silent
};

// SRB_Status values.
constexpr std::uint8_t kPending = 0x00;
constexpr std::uint8_t kComp = 0x01;
constexpr std::uint8_t kErr = 0x04;
// SRB_TargStat values.
constexpr std::uint8_t kGood = 0x00;
constexpr std::uint8_t kCheck = 0x02;

const DecoderCase kCases[] = {
    // Success: the one block that gives 0.
    {"good", kComp, 0x00, kGood, 0x00, 0x00, 0x00, 0, nullptr},
    // Stale vendor sense is not read when the target says GOOD.
    {"good with stale sense", kComp, 0x00, kGood, 0x09, 0x85, 0x00, 0, nullptr},

    // Host adapter status, each named row.
    {"HA 09", kComp, 0x09, kGood, 0, 0, 0, 1,
     "HA_Status: Timed out while SRB was waiting to be processed."},
    {"HA 0B", kComp, 0x0B, kGood, 0, 0, 0, 1,
     "HA_Status: While processing the SRB, the adapter timed out."},
    {"HA 0D", kComp, 0x0D, kGood, 0, 0, 0, 1,
     "HA_Status: While processing SRB, the adapter received a MESSAGE REJECT."},
    {"HA 0E", kComp, 0x0E, kGood, 0, 0, 0, 1, "HA_Status: A bus reset was detected."},
    {"HA 0F", kComp, 0x0F, kGood, 0, 0, 0, 1, "HA_Status: Parity error."},
    {"HA 10", kComp, 0x10, kGood, 0, 0, 0, 1,
     "HA_Status: The adapter failed in issuing REQUEST SENSE."},
    {"HA 11", kComp, 0x11, kGood, 0, 0, 0, 1, "HA_Status: Selection Timeout."},
    {"HA 12", kComp, 0x12, kGood, 0, 0, 0, 1, "HA_Status: Data overrun data underrun."},
    {"HA 13", kComp, 0x13, kGood, 0, 0, 0, 1, "HA_Status: Unexpected bus free."},
    {"HA 14", kComp, 0x14, kGood, 0, 0, 0, 1, "HA_Status: Target bus phase sequence failure."},
    // Host adapter status without a row of its own.
    {"HA 01", kComp, 0x01, kGood, 0, 0, 0, 1, "HA_Status: error"},
    {"HA 08", kComp, 0x08, kGood, 0, 0, 0, 1, "HA_Status: error"},
    {"HA 0A", kComp, 0x0A, kGood, 0, 0, 0, 1, "HA_Status: error"},
    {"HA 0C", kComp, 0x0C, kGood, 0, 0, 0, 1, "HA_Status: error"},
    {"HA 15", kComp, 0x15, kGood, 0, 0, 0, 1, "HA_Status: error"},
    {"HA FF", kComp, 0xFF, kGood, 0, 0, 0, 1, "HA_Status: error"},
    // The adapter status wins over the target status and the sense data.
    {"HA 11 with check condition", kComp, 0x11, kCheck, 0x09, 0x85, 0x00, 1,
     "HA_Status: Selection Timeout."},

    // Target status.
    {"check condition, key 05", kComp, 0x00, kCheck, 0x05, 0x24, 0x00, 1,
     "Target_Status: Check Condition"},
    {"check condition, no sense", kComp, 0x00, kCheck, 0x00, 0x00, 0x00, 1,
     "Target_Status: Check Condition"},
    // 29h is key 9 with ILI set: not the vendor key.
    {"check condition, byte 29 ASC 82", kComp, 0x00, kCheck, 0x29, 0x82, 0x00, 1,
     "Target_Status: Check Condition"},
    {"busy", kComp, 0x00, 0x08, 0, 0, 0, 1, "Target_Status: BUSY"},
    {"reservation conflict", kComp, 0x00, 0x18, 0, 0, 0, 1, "Target_Status: Reservation Conflict"},
    {"target 01", kComp, 0x00, 0x01, 0, 0, 0, 1, "Target_Status: error"},
    {"target 04", kComp, 0x00, 0x04, 0, 0, 0, 1, "Target_Status: error"},
    {"target 28", kComp, 0x00, 0x28, 0, 0, 0, 1, "Target_Status: error"},
    {"target FF", kComp, 0x00, 0xFF, 0, 0, 0, 1, "Target_Status: error"},

    // Vendor sense through CHECK CONDITION.
    {"check 09-82-00", kComp, 0x00, kCheck, 0x09, 0x82, 0x00, 1, "Erase failure. (Code 09-82-00)"},
    {"check 09-84-00", kComp, 0x00, kCheck, 0x09, 0x84, 0x00, 1,
     "Flash rom not erased. (Code 09-84-00)"},
    {"check 09-85-00", kComp, 0x00, kCheck, 0x09, 0x85, 0x00, 1,
     "Flash rom write error. (Code 09-85-00)"},
    {"check 09-86-00", kComp, 0x00, kCheck, 0x09, 0x86, 0x00, 1,
     "Flash rom check sum error. (Code 09-86-00)"},
    {"check 09-87-00", kComp, 0x00, kCheck, 0x09, 0x87, 0x00, 1,
     "Firmware data error. (Code 09-87-00)"},
    {"check 09-88-00", kComp, 0x00, kCheck, 0x09, 0x88, 0x00, 1,
     "Firmware data error. (Code 09-88-00)"},
    {"check 09-83-00", kComp, 0x00, kCheck, 0x09, 0x83, 0x00, 1, nullptr},
    {"check 09-85-01", kComp, 0x00, kCheck, 0x09, 0x85, 0x01, 1, nullptr},

    // Vendor sense through SS_ERR; the adapter and target status do not count.
    {"err 09-82-00", kErr, 0x00, 0x00, 0x09, 0x82, 0x00, 1, "Erase failure. (Code 09-82-00)"},
    {"err 09-84-00", kErr, 0x00, 0x00, 0x09, 0x84, 0x00, 1,
     "Flash rom not erased. (Code 09-84-00)"},
    {"err 09-85-00", kErr, 0x00, kCheck, 0x09, 0x85, 0x00, 1,
     "Flash rom write error. (Code 09-85-00)"},
    {"err 09-86-00", kErr, 0x00, kCheck, 0x09, 0x86, 0x00, 1,
     "Flash rom check sum error. (Code 09-86-00)"},
    {"err 09-87-00", kErr, 0x00, kCheck, 0x09, 0x87, 0x00, 1,
     "Firmware data error. (Code 09-87-00)"},
    {"err 09-88-00 with HA 11", kErr, 0x11, kCheck, 0x09, 0x88, 0x00, 1,
     "Firmware data error. (Code 09-88-00)"},
    {"err 09-83-00", kErr, 0x00, kCheck, 0x09, 0x83, 0x00, 1, nullptr},
    {"err 09-85-01", kErr, 0x00, kCheck, 0x09, 0x85, 0x01, 1, nullptr},
    {"err byte 29 ASC 82", kErr, 0x00, kCheck, 0x29, 0x82, 0x00, 1, nullptr},
    {"err key 05", kErr, 0x11, kCheck, 0x05, 0x24, 0x00, 1, nullptr},
    {"err key 02", kErr, 0x0E, 0x08, 0x02, 0x04, 0x01, 1, nullptr},
    {"err HA 11 no sense", kErr, 0x11, 0x00, 0x00, 0x00, 0x00, 1, nullptr},

    // Request status other than SS_COMP; the adapter status does not count.
    {"pending", kPending, 0x00, 0x00, 0, 0, 0, 1, nullptr},
    {"aborted", 0x02, 0x00, 0x00, 0, 0, 0, 1, "SRB aborted."},
    {"aborted with HA 11", 0x02, 0x11, kCheck, 0, 0, 0, 1, "SRB aborted."},
    {"abort failed", 0x03, 0x00, 0x00, 0, 0, 0, 1, "Unable to abort SRB."},
    {"invalid command", 0x80, 0x00, 0x00, 0, 0, 0, 1, "Invalid ASPI command."},
    {"invalid adapter", 0x81, 0x00, 0x00, 0, 0, 0, 1, "Invalid host adapter number."},
    {"no device", 0x82, 0x00, 0x00, 0, 0, 0, 1, "SCSI device not installed."},
    {"invalid SRB", 0xE0, 0x00, 0x00, 0, 0, 0, 1, "Invalid parameter set in SRB."},
    {"buffer alignment", 0xE1, 0x00, 0x00, 0, 0, 0, 1, " Buffer alignment problem."},
    {"illegal mode", 0xE2, 0x00, 0x00, 0, 0, 0, 1, "Device access security violation."},
    {"status E3", 0xE3, 0x00, 0x00, 0, 0, 0, 1, nullptr},
    {"failed init", 0xE4, 0x00, 0x00, 0, 0, 0, 1, "ASPI for windows failed init."},
    {"manager busy", 0xE5, 0x00, 0x00, 0, 0, 0, 1, "No resources available to execute cmd."},
    {"buffer too big", 0xE6, 0x00, 0x00, 0, 0, 0, 1, "Buffer size to big to handle!"},
    {"status 05", 0x05, 0x00, 0x00, 0, 0, 0, 1, nullptr},
    {"status 7F", 0x7F, 0x00, 0x00, 0, 0, 0, 1, nullptr},
    {"status 83", 0x83, 0x00, 0x00, 0, 0, 0, 1, nullptr},
    {"status DF", 0xDF, 0x00, 0x00, 0, 0, 0, 1, nullptr},
    {"status E7", 0xE7, 0x00, 0x00, 0, 0, 0, 1, nullptr},
    {"status FF", 0xFF, 0x11, kCheck, 0x09, 0x85, 0x00, 1, nullptr},
};

TEST(StatusDecoder, EveryStatusGivesItsResultAndAtMostOneErrorBox) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.label);
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Status = c.status;
    srb.SRB_HaStat = c.haStat;
    srb.SRB_TargStat = c.targStat;
    srb.SenseArea[2] = c.senseKey;
    srb.SenseArea[12] = c.asc;
    srb.SenseArea[13] = c.ascq;

    const auto message = SrbStatusMessage(srb);
    if (c.message == nullptr) {
      EXPECT_EQ(message, std::nullopt);
    } else {
      EXPECT_EQ(message, std::optional<std::string>(c.message));
    }

    testing::RecordingMessageScreen screen;
    Messages messages(screen);
    EXPECT_EQ(CheckSrbStatus(srb, messages), c.result);

    if (c.message == nullptr) {
      EXPECT_TRUE(screen.Events().empty());
    } else {
      const std::vector<std::string> expectedEvents = {
          "beep", std::string("error-box [Quorvel Drive firmware upgrade] ") + c.message};
      EXPECT_EQ(screen.Events(), expectedEvents);
      const auto shown = screen.Shown();
      ASSERT_EQ(shown.size(), 1u);
      EXPECT_EQ(shown[0].kind, PresentationKind::ErrorBox);
      EXPECT_EQ(shown[0].title, "Quorvel Drive firmware upgrade");
      EXPECT_EQ(shown[0].text, c.message);
      EXPECT_EQ(shown[0].flags, 0x1010u);
    }
  }
}

}  // namespace
}  // namespace qfw
