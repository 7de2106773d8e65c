#pragma once
// Operation codes of the commands that the program sends and that the drive model and the
// iSCSI target answer.

#include <cstdint>

namespace scsi::opcode {

constexpr uint8_t kTestUnitReady = 0x00;
constexpr uint8_t kRequestSense = 0x03;
constexpr uint8_t kInquiry = 0x12;
constexpr uint8_t kStartStopUnit = 0x1B;
constexpr uint8_t kReadCapacity10 = 0x25;
constexpr uint8_t kWriteBuffer = 0x3B;
constexpr uint8_t kReadBuffer = 0x3C;
constexpr uint8_t kGetEventStatusNotification = 0x4A;
constexpr uint8_t kReportLuns = 0xA0;

// Identification, sense and configuration: what software asks a DVD drive to learn what it is.
constexpr uint8_t kModeSelect6 = 0x15;
constexpr uint8_t kModeSense6 = 0x1A;
constexpr uint8_t kGetConfiguration = 0x46;
constexpr uint8_t kModeSelect10 = 0x55;
constexpr uint8_t kModeSense10 = 0x5A;

// The drive's vendor command; its second byte selects the function (11h: flash identification).
constexpr uint8_t kVendorCommand = 0xDF;
constexpr uint8_t kFlashIdentification = 0x11;

// The disc, the tray and the power: what software that reads discs sends a DVD drive.
constexpr uint8_t kPreventAllowMediumRemoval = 0x1E;
constexpr uint8_t kRead10 = 0x28;
constexpr uint8_t kReadTocPmaAtip = 0x43;
constexpr uint8_t kReadDiscInformation = 0x51;
constexpr uint8_t kReadTrackInformation = 0x52;
constexpr uint8_t kRead12 = 0xA8;
constexpr uint8_t kMechanismStatus = 0xBD;

}  // namespace scsi::opcode
