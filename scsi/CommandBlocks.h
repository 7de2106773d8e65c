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
// How a drive reads the allocation: bytes 3 and 4 as one field. With byte 3 zero, as the
// program sends it, both read the same.
constexpr Field kAllocationLength = Bytes(3, 2);
}  // namespace inquiry

// ---- Identification, sense and configuration

namespace request_sense {
constexpr Field kDescriptorFormat = Bit(1, 0);
constexpr Field kAllocation = Byte(4);
}  // namespace request_sense

namespace get_configuration {
constexpr Field kRequestType = Bits(1, 0, 2);
constexpr Field kStartingFeature = Bytes(2, 2);
constexpr Field kAllocation = Bytes(7, 2);
constexpr uint8_t kAllFeatures = 0x0;
constexpr uint8_t kCurrentFeatures = 0x1;
constexpr uint8_t kOneFeature = 0x2;
}  // namespace get_configuration

// MODE SENSE(6) and MODE SENSE(10) share the page fields; the allocation differs.
namespace mode_sense {
constexpr Field kLongLbaAccepted = Bit(1, 4);  // ten-byte form only
constexpr Field kDisableBlockDescriptors = Bit(1, 3);
constexpr Field kPageControl = Bits(2, 6, 2);
constexpr Field kPageCode = Bits(2, 0, 6);
constexpr Field kSubpageCode = Byte(3);
constexpr Field kAllocation6 = Byte(4);
constexpr Field kAllocation10 = Bytes(7, 2);
constexpr uint8_t kCurrentValues = 0x0;
constexpr uint8_t kChangeableValues = 0x1;
constexpr uint8_t kDefaultValues = 0x2;
constexpr uint8_t kSavedValues = 0x3;
constexpr uint8_t kAllSubpages = 0xFF;
}  // namespace mode_sense

// MODE SELECT(6) and MODE SELECT(10).
namespace mode_select {
constexpr Field kPageFormat = Bit(1, 4);
constexpr Field kSavePages = Bit(1, 0);
constexpr Field kListLength6 = Byte(4);
constexpr Field kListLength10 = Bytes(7, 2);
}  // namespace mode_select

namespace report_luns {
constexpr Field kSelectReport = Byte(2);
constexpr Field kAllocation = Bytes(6, 4);
constexpr uint8_t kLogicalUnits = 0x00;
constexpr uint8_t kWellKnownUnits = 0x01;
constexpr uint8_t kAllUnits = 0x02;
}  // namespace report_luns

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

// The disc, the tray and the power: the commands that software reading discs sends.
namespace prevent_allow {
constexpr Field kPrevent = Bits(4, 0, 2);  // bit 0 prevent, bit 1 persistent
constexpr uint8_t kPreventBit = 0x01;
constexpr uint8_t kPersistentBit = 0x02;
}  // namespace prevent_allow

namespace start_stop {
constexpr Field kOtherBits = Bits(4, 2, 2);  // format layer and a reserved bit: not offered
constexpr uint8_t kNoPowerChange = 0x0;
constexpr uint8_t kPowerActive = 0x1;
constexpr uint8_t kPowerIdle = 0x2;
constexpr uint8_t kPowerStandby = 0x3;
constexpr uint8_t kPowerSleep = 0x5;
}  // namespace start_stop

// READ(10) and READ(12): the first block and the number of blocks.
namespace read10 {
constexpr Field kLba = Bytes(2, 4);
constexpr Field kBlocks = Bytes(7, 2);
}  // namespace read10
namespace read12 {
constexpr Field kLba = Bytes(2, 4);
constexpr Field kBlocks = Bytes(6, 4);
}  // namespace read12

namespace read_capacity {
constexpr Field kLba = Bytes(2, 4);
constexpr Field kPmi = Bit(8, 0);
}  // namespace read_capacity

// READ TOC/PMA/ATIP. Older host software puts the format in the top bits of the control byte.
namespace read_toc {
constexpr Field kMsf = Bit(1, 1);
constexpr Field kFormat = Bits(2, 0, 4);
constexpr Field kTrackOrSession = Byte(6);
constexpr Field kAllocation = Bytes(7, 2);
constexpr Field kControlFormat = Bits(9, 6, 2);
constexpr uint8_t kFormatToc = 0x0;
constexpr uint8_t kFormatSessionInfo = 0x1;
}  // namespace read_toc

namespace disc_info {
constexpr Field kDataType = Bits(1, 0, 3);
constexpr Field kAllocation = Bytes(7, 2);
constexpr uint8_t kStandardInformation = 0x0;
}  // namespace disc_info

namespace track_info {
constexpr Field kAddressType = Bits(1, 0, 2);
constexpr Field kAddress = Bytes(2, 4);
constexpr Field kAllocation = Bytes(7, 2);
constexpr uint8_t kByLba = 0x0;
constexpr uint8_t kByTrack = 0x1;
constexpr uint8_t kBySession = 0x2;
}  // namespace track_info

namespace mechanism_status {
constexpr Field kAllocation = Bytes(8, 2);
}  // namespace mechanism_status

// Every field lies behind the operation code and inside the block.
constexpr bool InBlock(Field field) { return field.offset >= 1 && Within(field, kCommandBlockSize); }
static_assert(InBlock(inquiry::kAllocationLength) && InBlock(request_sense::kDescriptorFormat) &&
              InBlock(request_sense::kAllocation) && InBlock(get_configuration::kRequestType) &&
              InBlock(get_configuration::kStartingFeature) && InBlock(get_configuration::kAllocation));
static_assert(InBlock(mode_sense::kLongLbaAccepted) && InBlock(mode_sense::kPageControl) &&
              InBlock(mode_sense::kSubpageCode) && InBlock(mode_sense::kAllocation10) &&
              InBlock(mode_select::kPageFormat) && InBlock(mode_select::kListLength10) &&
              InBlock(report_luns::kSelectReport) && InBlock(report_luns::kAllocation));
static_assert(InBlock(inquiry::kCmdDt) && InBlock(inquiry::kEvpd) && InBlock(inquiry::kPage) &&
              InBlock(inquiry::kAllocation) && InBlock(inquiry::kControl));
static_assert(InBlock(start_stop::kImmed) && InBlock(start_stop::kPowerCondition) && InBlock(start_stop::kLoadEject) &&
              InBlock(start_stop::kStart));
static_assert(InBlock(event_status::kPolled) && InBlock(event_status::kClassRequest) &&
              InBlock(event_status::kAllocation) && InBlock(event_status::kControl));
static_assert(InBlock(buffer::kMode) && InBlock(buffer::kBufferId) && InBlock(buffer::kOffset) &&
              InBlock(buffer::kLength) && InBlock(buffer::kControl));
static_assert(InBlock(vendor::kFunction));
static_assert(InBlock(prevent_allow::kPrevent) && InBlock(start_stop::kOtherBits) && InBlock(read10::kLba) &&
              InBlock(read10::kBlocks) && InBlock(read12::kLba) && InBlock(read12::kBlocks) &&
              InBlock(read_capacity::kLba) && InBlock(read_capacity::kPmi));
static_assert(InBlock(read_toc::kMsf) && InBlock(read_toc::kFormat) && InBlock(read_toc::kTrackOrSession) &&
              InBlock(read_toc::kAllocation) && InBlock(read_toc::kControlFormat) && InBlock(disc_info::kDataType) &&
              InBlock(disc_info::kAllocation) && InBlock(track_info::kAddressType) && InBlock(track_info::kAddress) &&
              InBlock(track_info::kAllocation) && InBlock(mechanism_status::kAllocation));

}  // namespace scsi
