#pragma once
// The drive command set as data: the seven twelve-byte command templates in one table, and the
// figures that the composite operations of AtapiDevice work with. Every command block the
// program sends is a copy of one row with its argument fields stored into it.

#include <cstdint>

#include "platform/System.h"
#include "scsi/Answers.h"
#include "scsi/Opcodes.h"

namespace device {

enum class CommandTemplate : uint8_t {
    TestUnitReady,
    Inquiry,
    StartStopUnit,
    GetEventStatus,
    FlashId,
    ReadBuffer,
    WriteBuffer,
};

// One row per CommandTemplate, in that order.
// Unnamed bytes are zero: READ BUFFER mode 1 and WRITE BUFFER mode 5, both on buffer 1.
inline constexpr uint8_t kCommandTemplates[][platform::kCdbSize] = {
    {scsi::opcode::kTestUnitReady},
    {scsi::opcode::kInquiry},
    {scsi::opcode::kStartStopUnit},
    {scsi::opcode::kGetEventStatusNotification},
    {scsi::opcode::kVendorCommand, scsi::opcode::kFlashIdentification},
    {scsi::opcode::kReadBuffer, 0x01, 0x01},
    {scsi::opcode::kWriteBuffer, 0x05, 0x01},
};
static_assert(sizeof kCommandTemplates / sizeof kCommandTemplates[0] ==
              static_cast<int>(CommandTemplate::WriteBuffer) + 1);

// Reply of the flash identification command.
constexpr uint32_t kFlashIdLength = scsi::flash_id_data::kLength;
// The commit (WRITE BUFFER with one of these controls) sends 16 bytes, whatever its length field.
constexpr uint8_t kCommitControl = 0x80;
constexpr uint8_t kCommitBootCodeControl = 0xA0;
constexpr uint32_t kCommitDataLength = 16;

// Pause between two readiness polls.
constexpr uint32_t kReadyPollIntervalMs = 300;
// Most TEST UNIT READY commands that clearing a unit attention sends. A drive normally reports
// one or two pending attentions; one that never stops must not hold the program for ever.
constexpr int kMaxUnitAttentionPolls = 100;

}  // namespace device
