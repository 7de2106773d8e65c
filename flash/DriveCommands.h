#pragma once
// The drive command set as data: the seven twelve-byte command templates in one table, and the
// figures that the composite operations of AtapiDevice work with. Every command block the
// program sends is a copy of one row with its argument fields stored into it.

#include <cstdint>

#include "platform/System.h"

namespace flash {

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
inline constexpr uint8_t kCommandTemplates[][platform::kCdbSize] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // TEST UNIT READY
    {0x12, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // INQUIRY
    {0x1B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // START STOP UNIT
    {0x4A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // GET EVENT STATUS NOTIFICATION
    {0xDF, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // flash identification (vendor)
    {0x3C, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // READ BUFFER, mode 1, buffer 1
    {0x3B, 0x05, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // WRITE BUFFER, mode 5, buffer 1
};
static_assert(sizeof kCommandTemplates / sizeof kCommandTemplates[0] ==
              static_cast<int>(CommandTemplate::WriteBuffer) + 1);

// Reply of the flash identification command.
constexpr uint32_t kFlashIdLength = 128;
// The commit (WRITE BUFFER with one of these controls) sends 16 bytes, whatever its length field.
constexpr uint8_t kCommitControl = 0x80;
constexpr uint8_t kCommitBootCodeControl = 0xA0;
constexpr uint32_t kCommitDataLength = 16;

// Media event status request of the tray test, and where its reply tells the tray state.
constexpr uint8_t kMediaEventClass = 0x10;
constexpr uint32_t kMediaEventReplyLength = 8;
constexpr int kMediaStatusByte = 5;
constexpr uint8_t kTrayOpenBit = 0x01;

// Pause between two readiness polls.
constexpr uint32_t kReadyPollIntervalMs = 300;
// Most TEST UNIT READY commands that clearing a unit attention sends. A drive normally reports
// one or two pending attentions; one that never stops must not hold the program for ever.
constexpr int kMaxUnitAttentionPolls = 100;

}  // namespace flash
