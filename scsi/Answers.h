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

// ---- Identification, sense and configuration -----------------------------------------------

// INQUIRY vital product data: a four-byte header, then the page.
namespace vpd_data {
constexpr int kHeaderLength = 4;
constexpr Field kDeviceType = Bits(0, 0, 5);
constexpr Field kPageCode = Byte(1);
constexpr Field kPageLength = Bytes(2, 2);  // bytes that follow this field
constexpr uint8_t kSupportedPages = 0x00;
constexpr uint8_t kUnitSerialNumber = 0x80;
constexpr uint8_t kDeviceIdentification = 0x83;
// A designation descriptor of the device identification page: four bytes, then the designator.
constexpr int kDesignatorHeaderLength = 4;
constexpr Field kCodeSet = Bits(0, 0, 4);
constexpr Field kAssociation = Bits(1, 4, 2);
constexpr Field kDesignatorType = Bits(1, 0, 4);
constexpr Field kDesignatorLength = Byte(3);
constexpr uint8_t kCodeSetAscii = 0x2;
constexpr uint8_t kAssociatedWithUnit = 0x0;
constexpr uint8_t kT10VendorId = 0x1;  // vendor identification, then a vendor-specific part

static_assert(Within(kPageLength, kHeaderLength) && Within(kDesignatorLength, kDesignatorHeaderLength));
}  // namespace vpd_data

// GET CONFIGURATION: an eight-byte header, then feature descriptors, each a four-byte header and
// additional bytes in multiples of four. Fields of a feature count from the feature's first byte.
namespace config_data {
constexpr int kHeaderLength = 8;
constexpr Field kDataLength = Bytes(0, 4);  // bytes that follow this field
constexpr Field kCurrentProfile = Bytes(6, 2);

constexpr int kFeatureHeaderLength = 4;
constexpr Field kFeatureCode = Bytes(0, 2);
constexpr Field kVersion = Bits(2, 2, 4);
constexpr Field kPersistent = Bit(2, 1);
constexpr Field kCurrent = Bit(2, 0);
constexpr Field kAdditionalLength = Byte(3);

// Profile List: four bytes per profile.
constexpr int kProfileLength = 4;
constexpr Field kProfileNumber = Bytes(0, 2);
constexpr Field kCurrentProfileBit = Bit(2, 0);

// Core.
constexpr Field kPhysicalInterface = Bytes(4, 4);
constexpr Field kInquiry2 = Bit(8, 1);  // INQUIRY checks EVPD, page and the two-byte allocation
constexpr Field kDeviceBusyEvent = Bit(8, 0);
constexpr uint32_t kInterfaceAtapi = 0x00000002;
// Morphing.
constexpr Field kOperationalChangeEvent = Bit(4, 1);
constexpr Field kAsynchronous = Bit(4, 0);
// Removable Medium.
constexpr Field kLoadingMechanism = Bits(4, 5, 3);
constexpr Field kLoad = Bit(4, 4);
constexpr Field kEject = Bit(4, 3);
constexpr Field kPreventJumper = Bit(4, 2);
constexpr Field kLock = Bit(4, 0);
constexpr uint8_t kTrayMechanism = 0x1;
// Random Readable.
constexpr Field kBlockSize = Bytes(4, 4);
constexpr Field kBlocking = Bytes(8, 2);
constexpr Field kErrorRecoveryPagePresent = Bit(10, 0);
// CD Read.
constexpr Field kDigitalAudioPlay = Bit(4, 7);
constexpr Field kC2Flags = Bit(4, 1);
constexpr Field kCdText = Bit(4, 0);
// DVD Read.
constexpr Field kMulti110 = Bit(4, 0);
constexpr Field kDualLayerRead = Bit(6, 0);
// Incremental Streaming Writable.
constexpr Field kStreamDataTypes = Bytes(4, 2);
constexpr Field kStreamBufferUnderrunFree = Bit(6, 0);
constexpr Field kLinkSizeCount = Byte(7);
constexpr Field kFirstLinkSize = Byte(8);
// DVD+RW, DVD+R and DVD+R Dual Layer.
constexpr Field kPlusWrite = Bit(4, 0);
// CD Track at Once.
constexpr Field kTaoBufferUnderrunFree = Bit(4, 6);
constexpr Field kTaoTestWrite = Bit(4, 2);
constexpr Field kTaoCdRw = Bit(4, 1);
constexpr Field kTaoDataTypes = Bytes(6, 2);
// CD Mastering.
constexpr Field kMasteringBufferUnderrunFree = Bit(4, 6);
constexpr Field kSessionAtOnce = Bit(4, 5);
constexpr Field kMasteringRaw = Bit(4, 3);
constexpr Field kMasteringTestWrite = Bit(4, 2);
constexpr Field kMasteringCdRw = Bit(4, 1);
constexpr Field kCueSheetLength = Bytes(5, 3);
// DVD-R/-RW Write.
constexpr Field kDashBufferUnderrunFree = Bit(4, 6);
constexpr Field kDashTestWrite = Bit(4, 2);
constexpr Field kDashRw = Bit(4, 1);
// Timeout.
constexpr Field kGroup3 = Bit(4, 0);
constexpr Field kUnitLength = Bytes(6, 2);

// Feature codes.
constexpr uint16_t kProfileList = 0x0000;
constexpr uint16_t kCore = 0x0001;
constexpr uint16_t kMorphing = 0x0002;
constexpr uint16_t kRemovableMedium = 0x0003;
constexpr uint16_t kRandomReadable = 0x0010;
constexpr uint16_t kMultiRead = 0x001D;
constexpr uint16_t kCdRead = 0x001E;
constexpr uint16_t kDvdRead = 0x001F;
constexpr uint16_t kIncrementalStreaming = 0x0021;
constexpr uint16_t kFormattable = 0x0023;
constexpr uint16_t kRestrictedOverwrite = 0x0026;
constexpr uint16_t kDvdPlusRw = 0x002A;
constexpr uint16_t kDvdPlusR = 0x002B;
constexpr uint16_t kCdTrackAtOnce = 0x002D;
constexpr uint16_t kCdMastering = 0x002E;
constexpr uint16_t kDvdDashWrite = 0x002F;
constexpr uint16_t kDvdPlusRDualLayer = 0x003B;
constexpr uint16_t kPowerManagement = 0x0100;
constexpr uint16_t kMicrocodeUpgrade = 0x0104;
constexpr uint16_t kTimeout = 0x0105;
constexpr uint16_t kRealTimeStreaming = 0x0107;
constexpr uint16_t kDriveSerialNumber = 0x0108;

// Profiles.
constexpr uint16_t kNoProfile = 0x0000;  // no disc, or none the drive can use
constexpr uint16_t kCdRom = 0x0008;
constexpr uint16_t kCdR = 0x0009;
constexpr uint16_t kCdRw = 0x000A;
constexpr uint16_t kDvdRom = 0x0010;
constexpr uint16_t kDvdR = 0x0011;
constexpr uint16_t kDvdRwRestricted = 0x0013;
constexpr uint16_t kDvdRwSequential = 0x0014;
constexpr uint16_t kDvdPlusRwDisc = 0x001A;
constexpr uint16_t kDvdPlusRDisc = 0x001B;
constexpr uint16_t kDvdPlusRDualLayerDisc = 0x002B;

static_assert(Within(kCurrentProfile, kHeaderLength) && Within(kAdditionalLength, kFeatureHeaderLength) &&
              Within(kCurrentProfileBit, kProfileLength));
}  // namespace config_data

// MODE SENSE and MODE SELECT: a header (four bytes in the six-byte commands, eight in the
// ten-byte ones), no block descriptors here, then the pages. Page fields count from the page's
// first byte.
namespace mode_data {
constexpr int kHeaderLength6 = 4;
constexpr Field kDataLength6 = Byte(0);  // bytes that follow this field
constexpr Field kBlockDescriptorLength6 = Byte(3);
constexpr int kHeaderLength10 = 8;
constexpr Field kDataLength10 = Bytes(0, 2);  // bytes that follow this field
constexpr Field kBlockDescriptorLength10 = Bytes(6, 2);

constexpr int kPageHeaderLength = 2;
constexpr Field kParametersSavable = Bit(0, 7);
constexpr Field kSubpageFormat = Bit(0, 6);
constexpr Field kPageCode = Bits(0, 0, 6);
constexpr Field kPageLength = Byte(1);  // bytes that follow this field

constexpr uint8_t kErrorRecoveryPage = 0x01;
constexpr uint8_t kControlPage = 0x0A;
constexpr uint8_t kPowerConditionPage = 0x1A;
constexpr uint8_t kTimeoutProtectPage = 0x1D;
constexpr uint8_t kCapabilitiesPage = 0x2A;
constexpr uint8_t kAllPages = 0x3F;

// Read/write error recovery.
constexpr int kErrorRecoveryLength = 12;
constexpr Field kErrorRecoveryFlags = Byte(2);
constexpr Field kReadRetryCount = Byte(3);
constexpr Field kWriteRetryCount = Byte(8);
// Control.
constexpr int kControlLength = 12;
constexpr Field kDescriptorSense = Bit(2, 2);
constexpr Field kBusyTimeout = Bytes(8, 2);
// Power condition: timers in tenths of a second.
constexpr int kPowerConditionLength = 12;
constexpr Field kIdle = Bit(3, 1);
constexpr Field kStandby = Bit(3, 0);
constexpr Field kIdleTimer = Bytes(4, 4);
constexpr Field kStandbyTimer = Bytes(8, 4);
// Time-out and protect: group timeouts in seconds.
constexpr int kTimeoutProtectLength = 12;
constexpr Field kTimeoutProtectFlags = Byte(4);
constexpr Field kGroup1Timeout = Bytes(6, 2);
constexpr Field kGroup2Timeout = Bytes(8, 2);
// Capabilities and mechanical status: speeds in kB/s, the buffer in KiB, then the write speed
// descriptors of four bytes each.
constexpr Field kDvdRamRead = Bit(2, 5);
constexpr Field kDvdRRead = Bit(2, 4);
constexpr Field kDvdRomRead = Bit(2, 3);
constexpr Field kMethod2 = Bit(2, 2);
constexpr Field kCdRwRead = Bit(2, 1);
constexpr Field kCdRRead = Bit(2, 0);
constexpr Field kDvdRamWrite = Bit(3, 5);
constexpr Field kDvdRWrite = Bit(3, 4);
constexpr Field kTestWrite = Bit(3, 2);
constexpr Field kCdRwWrite = Bit(3, 1);
constexpr Field kCdRWrite = Bit(3, 0);
constexpr Field kBufferUnderrunFree = Bit(4, 7);
constexpr Field kMultiSession = Bit(4, 6);
constexpr Field kMode2Form2 = Bit(4, 5);
constexpr Field kMode2Form1 = Bit(4, 4);
constexpr Field kAudioPlay = Bit(4, 0);
constexpr Field kC2Pointers = Bit(5, 4);
constexpr Field kCddaAccurate = Bit(5, 1);
constexpr Field kCddaCommands = Bit(5, 0);
constexpr Field kLoadingMechanism = Bits(6, 5, 3);
constexpr Field kEject = Bit(6, 3);
constexpr Field kPreventJumper = Bit(6, 2);
constexpr Field kLockState = Bit(6, 1);
constexpr Field kLock = Bit(6, 0);
constexpr Field kMaxReadSpeed = Bytes(8, 2);
constexpr Field kVolumeLevels = Bytes(10, 2);
constexpr Field kBufferSize = Bytes(12, 2);
constexpr Field kCurrentReadSpeed = Bytes(14, 2);
constexpr Field kMaxWriteSpeed = Bytes(18, 2);
constexpr Field kCurrentWriteSpeed = Bytes(20, 2);
constexpr Field kCopyManagementRevision = Bytes(22, 2);
constexpr Field kSelectedWriteSpeed = Bytes(28, 2);
constexpr Field kWriteSpeedCount = Bytes(30, 2);
constexpr int kWriteSpeedsOffset = 32;
constexpr int kWriteSpeedLength = 4;
constexpr Field kWriteSpeed = Bytes(2, 2);  // within a write speed descriptor
constexpr uint8_t kTrayMechanism = 0x1;

static_assert(Within(kBlockDescriptorLength10, kHeaderLength10) && Within(kBlockDescriptorLength6, kHeaderLength6) &&
              Within(kWriteRetryCount, kErrorRecoveryLength) && Within(kBusyTimeout, kControlLength) &&
              Within(kStandbyTimer, kPowerConditionLength) && Within(kGroup2Timeout, kTimeoutProtectLength) &&
              Within(kWriteSpeedCount, kWriteSpeedsOffset));
}  // namespace mode_data

// REPORT LUNS: an eight-byte header, then eight bytes per logical unit.
namespace lun_data {
constexpr int kHeaderLength = 8;
constexpr int kEntryLength = 8;
constexpr Field kListLength = Bytes(0, 4);  // bytes of the entries
}  // namespace lun_data

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
