#pragma once
// The answers that the program reads, declared once as layouts with named fields: the standard
// INQUIRY data, the media event of GET EVENT STATUS NOTIFICATION, and the vendor's flash
// identification. Discovery and the flash step read them, the drive model writes them.

#include "scsi/Fields.h"

namespace scsi {

// Standard INQUIRY data. The program asks for 96 bytes; the fields it reads end at byte 52.
namespace inquiry_data {
constexpr int kLength = 96;
constexpr Field kDeviceType = Bits(0, 0, 5);
constexpr Field kRemovable = Bit(1, 7);
constexpr Field kResponseDataFormat = Bits(3, 0, 4);
constexpr Field kAdditionalLength = Byte(4);  // bytes that follow this field
constexpr ByteRange kVendor{8, 8};
constexpr ByteRange kProduct{16, 16};
constexpr ByteRange kRevision{32, 4};
constexpr ByteRange kVendorSpecific{36, 16};
// A drive that names itself fills vendor and product, which lie next to each other.
constexpr ByteRange kIdentification{8, 24};

constexpr uint8_t kOpticalDevice = 0x05;  // CD/DVD device
constexpr uint8_t kFormatSpc = 0x02;      // the response data format of current drives

static_assert(Within(kAdditionalLength, kLength) && Within(kVendor, kLength) && Within(kProduct, kLength) &&
              Within(kRevision, kLength) && Within(kVendorSpecific, kLength));
static_assert(kIdentification.offset == kVendor.offset && kIdentification.size == kVendor.size + kProduct.size &&
              kProduct.offset == kVendor.offset + kVendor.size);
}  // namespace inquiry_data

// GET EVENT STATUS NOTIFICATION: the four-byte header, then one event of the class reported.
namespace event_data {
constexpr int kHeaderLength = 4;
constexpr int kMediaLength = 8;                  // header and the media event
constexpr Field kEventDataLength = Bytes(0, 2);  // bytes that follow this field
constexpr Field kNoEventAvailable = Bit(2, 7);
constexpr Field kNotificationClass = Bits(2, 0, 3);
constexpr Field kSupportedClasses = Byte(3);
// The media event.
constexpr Field kMediaEventCode = Bits(4, 0, 4);
constexpr Field kTrayOpen = Bit(5, 0);
constexpr Field kMediaPresent = Bit(5, 1);

constexpr uint8_t kMediaClassBit = 0x10;   // the media class, in a class request or supported classes
constexpr uint8_t kMediaClassCode = 0x04;  // the media class, as the notification class

static_assert(Within(kSupportedClasses, kHeaderLength) && Within(kMediaEventCode, kMediaLength) &&
              Within(kTrayOpen, kMediaLength) && Within(kMediaPresent, kMediaLength));
}  // namespace event_data

// The vendor's flash identification: the chip key first, the rest of the reply unread.
namespace flash_id_data {
constexpr int kLength = 128;
constexpr Field kManufacturer = Byte(0);
constexpr Field kDevice = Byte(1);
constexpr Field kVariantHigh = Byte(2);
constexpr Field kVariantLow = Byte(3);
constexpr ByteRange kChipKey{0, 4};

static_assert(Within(kChipKey, kLength) && kManufacturer.offset == kChipKey.offset &&
              kVariantLow.offset + 1 == kChipKey.offset + kChipKey.size);
}  // namespace flash_id_data

// ---- The disc, the tray and the power -----------------------------------------------------

// GET EVENT STATUS NOTIFICATION beyond the media class's bits above: the classes, their event
// codes, and the event descriptor of each class (4 bytes behind the header).
namespace event_data {
constexpr int kEventLength = 8;  // header and one event descriptor, whatever the class
constexpr uint8_t kOperationalClassBit = 0x02;
constexpr uint8_t kPowerClassBit = 0x04;
constexpr uint8_t kOperationalClassCode = 0x01;
constexpr uint8_t kPowerClassCode = 0x02;
// Operational change.
constexpr Field kOperationalEvent = Bits(4, 0, 4);
constexpr Field kPersistentPrevented = Bit(5, 7);
constexpr Field kOperationalStatus = Bits(5, 0, 4);
constexpr Field kOperationalReport = Bytes(6, 2);
// Power management.
constexpr Field kPowerEvent = Bits(4, 0, 4);
constexpr Field kPowerStatus = Byte(5);
constexpr uint8_t kPowerChangeSucceeded = 0x1;
constexpr uint8_t kPowerStatusActive = 0x1;
constexpr uint8_t kPowerStatusIdle = 0x2;
constexpr uint8_t kPowerStatusStandby = 0x3;
constexpr uint8_t kPowerStatusSleep = 0x4;
// Media.
constexpr uint8_t kEjectRequest = 0x1;
constexpr uint8_t kNewMedia = 0x2;
constexpr uint8_t kMediaRemoval = 0x3;

static_assert(kEventLength == kMediaLength && Within(kOperationalReport, kEventLength) &&
              Within(kPersistentPrevented, kEventLength) && Within(kPowerStatus, kEventLength));
}  // namespace event_data

// READ CAPACITY(10): the last block's address and the block length.
namespace capacity_data {
constexpr int kLength = 8;
constexpr Field kLastLba = Bytes(0, 4);
constexpr Field kBlockLength = Bytes(4, 4);
static_assert(Within(kBlockLength, kLength));
}  // namespace capacity_data

// READ TOC/PMA/ATIP, formats 0 (table of contents) and 1 (session information): a header, then
// 8-byte track descriptors. An address is a block address, or minute, second and frame.
namespace toc_data {
constexpr int kHeaderLength = 4;
constexpr int kDescriptorLength = 8;
constexpr Field kDataLength = Bytes(0, 2);  // bytes that follow this field
constexpr Field kFirstTrack = Byte(2);      // first session, for session information
constexpr Field kLastTrack = Byte(3);       // last session, for session information
// Within a descriptor.
constexpr Field kAdr = Bits(1, 4, 4);
constexpr Field kControl = Bits(1, 0, 4);
constexpr Field kTrackNumber = Byte(2);
constexpr Field kAddress = Bytes(4, 4);
constexpr Field kMinute = Byte(5);
constexpr Field kSecond = Byte(6);
constexpr Field kFrame = Byte(7);

constexpr uint8_t kAdrPosition = 0x1;  // the descriptor carries a position
constexpr uint8_t kControlData = 0x4;  // a data track, recorded uninterrupted
constexpr uint8_t kLeadOutTrack = 0xAA;
static_assert(Within(kAddress, kDescriptorLength) && Within(kFrame, kDescriptorLength) &&
              Within(kLastTrack, kHeaderLength));
}  // namespace toc_data

// READ DISC INFORMATION, standard disc information.
namespace disc_info_data {
constexpr int kLength = 34;
constexpr Field kDataLength = Bytes(0, 2);  // bytes that follow this field
constexpr Field kErasable = Bit(2, 4);
constexpr Field kLastSessionState = Bits(2, 2, 2);
constexpr Field kDiscStatus = Bits(2, 0, 2);
constexpr Field kFirstTrack = Byte(3);
constexpr Field kSessionsLow = Byte(4);
constexpr Field kFirstTrackOfLastSessionLow = Byte(5);
constexpr Field kLastTrackOfLastSessionLow = Byte(6);
constexpr Field kDiscType = Byte(8);
constexpr Field kLastLeadInStart = Bytes(16, 4);
constexpr Field kLastPossibleLeadOutStart = Bytes(20, 4);

constexpr uint8_t kSessionComplete = 0x3;
constexpr uint8_t kDiscComplete = 0x2;
constexpr uint32_t kNoAddress = 0xFFFFFFFF;  // a complete disc has no further lead-in or lead-out
static_assert(Within(kLastPossibleLeadOutStart, kLength));
}  // namespace disc_info_data

// READ TRACK INFORMATION.
namespace track_info_data {
constexpr int kLength = 48;
constexpr Field kDataLength = Bytes(0, 2);  // bytes that follow this field
constexpr Field kTrackNumberLow = Byte(2);
constexpr Field kSessionNumberLow = Byte(3);
constexpr Field kTrackMode = Bits(5, 0, 4);
constexpr Field kDataMode = Bits(6, 0, 4);
constexpr Field kTrackStart = Bytes(8, 4);
constexpr Field kBlockingFactor = Bytes(20, 4);
constexpr Field kTrackSize = Bytes(24, 4);

constexpr uint8_t kDataModeOne = 0x1;
static_assert(Within(kTrackSize, kLength));
}  // namespace track_info_data

// MECHANISM STATUS: the header; a drive without a changer has no slot table behind it.
namespace mechanism_data {
constexpr int kHeaderLength = 8;
constexpr Field kFault = Bit(0, 7);
constexpr Field kChangerState = Bits(0, 5, 2);
constexpr Field kMechanismState = Bits(1, 5, 3);
constexpr Field kDoorOpen = Bit(1, 4);
constexpr Field kCurrentLba = Bytes(2, 3);
constexpr Field kSlotsAvailable = Byte(5);
constexpr Field kSlotTableLength = Bytes(6, 2);
static_assert(Within(kSlotTableLength, kHeaderLength) && Within(kCurrentLba, kHeaderLength));
}  // namespace mechanism_data

}  // namespace scsi
