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

}  // namespace scsi
