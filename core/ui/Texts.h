// Every text the program shows, word for word. Blanks inside the quotes are
// part of the texts.
#pragma once

namespace qfw::text {

// Titles.
inline constexpr const char* kApplicationTitle = "Quorvel DRIVE firmware upgrade";
inline constexpr const char* kBoxTitle = "Quorvel Drive firmware upgrade";
inline constexpr const char* kWindowCaption = "QuorvelDRIVE firmware upgrade  ver1.0.2.5";

// Start-up and discovery.
inline constexpr const char* kCatalogueError = "File not found or (Tavrin.ini) value error.";
inline constexpr const char* kNoHostAdapter = "Scsi host adapter not found.";
inline constexpr const char* kNoDrive = "   No Drive found.    ";

// Request layer.
inline constexpr const char* kNoEvent = "Can not create Event.";

// Status line.
inline constexpr const char* kStatusStart = "Please Select Drive and Click UPDATE Button";
inline constexpr const char* kStatusUpdating = "Updating......";
inline constexpr const char* kStatusResetWaiting = "Reset waiting......";
inline constexpr const char* kStatusVersionPrefix = "> ";
inline constexpr const char* kStatusIdle = "Please Select Drive and UPDATE";

// Update request.
inline constexpr const char* kEnableNotTicked = "Please check [Update Enable] Box";
inline constexpr const char* kCancel = "Cancel";
inline constexpr const char* kNoMemory = "Not enough Memory.";
inline constexpr const char* kNoFirmwareFile = "No Firmware File found.";
inline constexpr const char* kFirmwareReadError = "Firmware File read error.";
inline constexpr const char* kManualSizeError = "FileSize or BuffSize error.";
// The image file holds fewer bytes than the catalogue's image size.
inline constexpr const char* kFirmwareTooShort = "Firmware File too short.";
// A block or the last block's offset does not fit WRITE BUFFER's 24-bit fields.
inline constexpr const char* kFirmwareTooLarge = "Firmware File too large.";

// Update outcomes.
inline constexpr const char* kOutcomeSuccess = "Firmware update success.";
inline constexpr const char* kOutcomeInquiryFail =
    "Firmware update complete. Inquiry fail. Please Reboot PC.";
inline constexpr const char* kOutcomeTimeout =
    "Firmware update complete. ASPI Timeout. Please reboot PC.";
inline constexpr const char* kOutcomeVersion =
    "Firmware update complete. Firmware version compare error.";
inline constexpr const char* kOutcomeFailed = "Firmware update failed.";

}  // namespace qfw::text
