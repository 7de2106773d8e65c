#pragma once
// The argument fields of the twelve-byte command blocks that the program sends, declared once:
// the drive command set stores into them, and the drive model reads them back.

#include "scsi/Fields.h"

namespace scsi {

constexpr int kCommandBlockSize = 12;

namespace inquiry {
constexpr Field kCmdDt = Bit(1, 1);
constexpr Field kEvpd = Bit(1, 0);
constexpr Field kPage = Byte(2);
// Byte 3 (the high byte of a two-byte allocation length on newer drives) stays zero.
constexpr Field kAllocation = Byte(4);
constexpr Field kControl = Byte(5);
}  // namespace inquiry

namespace start_stop {
constexpr Field kImmed = Bit(1, 0);
constexpr Field kPowerCondition = Bits(4, 4, 4);
constexpr Field kLoadEject = Bit(4, 1);
constexpr Field kStart = Bit(4, 0);
}  // namespace start_stop

namespace event_status {
constexpr Field kPolled = Bit(1, 0);
constexpr Field kClassRequest = Byte(4);
constexpr Field kAllocation = Bytes(7, 2);
constexpr Field kControl = Byte(9);
}  // namespace event_status

// READ BUFFER and WRITE BUFFER share their layout.
namespace buffer {
constexpr Field kMode = Bits(1, 0, 5);
constexpr Field kBufferId = Byte(2);
constexpr Field kOffset = Bytes(3, 3);
constexpr Field kLength = Bytes(6, 3);
constexpr Field kControl = Byte(9);
}  // namespace buffer

// The vendor command: its second byte selects the function.
namespace vendor {
constexpr Field kFunction = Byte(1);
}  // namespace vendor

// Every field lies behind the operation code and inside the block.
constexpr bool InBlock(Field field) { return field.offset >= 1 && Within(field, kCommandBlockSize); }
static_assert(InBlock(inquiry::kCmdDt) && InBlock(inquiry::kEvpd) && InBlock(inquiry::kPage) &&
              InBlock(inquiry::kAllocation) && InBlock(inquiry::kControl));
static_assert(InBlock(start_stop::kImmed) && InBlock(start_stop::kPowerCondition) && InBlock(start_stop::kLoadEject) &&
              InBlock(start_stop::kStart));
static_assert(InBlock(event_status::kPolled) && InBlock(event_status::kClassRequest) &&
              InBlock(event_status::kAllocation) && InBlock(event_status::kControl));
static_assert(InBlock(buffer::kMode) && InBlock(buffer::kBufferId) && InBlock(buffer::kOffset) &&
              InBlock(buffer::kLength) && InBlock(buffer::kControl));
static_assert(InBlock(vendor::kFunction));

}  // namespace scsi
