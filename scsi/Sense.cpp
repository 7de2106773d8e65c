// Reading sense data of either format into one record, and the seam's fixed-format rewrite.

#include "scsi/Sense.h"

#include "scsi/CommandOutcome.h"

#include <algorithm>
#include <cstring>

namespace scsi {

namespace {

constexpr uint8_t kValidBit = 0x80;
constexpr uint8_t kFixedAdditionalLength = kFixedSenseSize - 8;

// Fixed format: where its fields are.
constexpr uint32_t kFixedKeyByte = 2;
constexpr uint32_t kFixedInformationByte = 3;
constexpr uint32_t kFixedAdditionalLengthByte = 7;
constexpr uint32_t kFixedCommandSpecificByte = 8;
constexpr uint32_t kFixedAscByte = 12;
constexpr uint32_t kFixedAscqByte = 13;
constexpr uint32_t kFixedUnitByte = 14;
constexpr uint32_t kFixedSenseKeySpecificByte = 15;

// Descriptor format: the header, and the descriptors that have a place in fixed format.
constexpr uint32_t kDescriptorHeaderSize = 8;
constexpr uint32_t kDescriptorAdditionalLengthByte = 7;
constexpr uint8_t kInformationDescriptor = 0x00;
constexpr uint8_t kCommandSpecificDescriptor = 0x01;
constexpr uint8_t kSenseKeySpecificDescriptor = 0x02;
constexpr uint8_t kFieldReplaceableUnitDescriptor = 0x03;
constexpr uint32_t kEightByteFieldBody = 10;  // byte 0, reserved, eight bytes of value
constexpr uint32_t kSenseKeySpecificBody = 6;
constexpr uint32_t kUnitBody = 2;

uint64_t ReadBigEndian(const uint8_t* bytes, int count)
{
    uint64_t value = 0;
    for (int index = 0; index < count; ++index) value = value << 8 | bytes[index];
    return value;
}

void WriteBigEndian32(uint64_t value, uint8_t* bytes)
{
    for (int index = 3; index >= 0; --index, value >>= 8) bytes[index] = static_cast<uint8_t>(value);
}

// The byte at index, or 0 when it lies past the written length.
uint8_t ByteWithin(const uint8_t* sense, uint32_t length, uint32_t index) { return index < length ? sense[index] : 0; }

void ReadFixedFormat(const uint8_t* sense, uint32_t length, SenseFields& fields)
{
    fields.key = ByteWithin(sense, length, kFixedKeyByte) & 0x0F;
    fields.asc = ByteWithin(sense, length, kFixedAscByte);
    fields.ascq = ByteWithin(sense, length, kFixedAscqByte);
    if (length >= kFixedInformationByte + 4) {
        fields.informationValid = (sense[0] & kValidBit) != 0;
        fields.information = ReadBigEndian(sense + kFixedInformationByte, 4);
    }
    if (length >= kFixedCommandSpecificByte + 4) {
        fields.hasCommandSpecific = true;
        fields.commandSpecific = ReadBigEndian(sense + kFixedCommandSpecificByte, 4);
    }
    fields.fieldReplaceableUnit = ByteWithin(sense, length, kFixedUnitByte);
    if (length >= kFixedSenseKeySpecificByte + 3) {
        fields.hasSenseKeySpecific = true;
        std::memcpy(fields.senseKeySpecific, sense + kFixedSenseKeySpecificByte, 3);
    }
}

// One descriptor: its type and the bytes after its two header bytes.
void ReadDescriptor(uint8_t type, const uint8_t* body, uint32_t bodyLength, SenseFields& fields)
{
    switch (type) {
    case kInformationDescriptor:
        if (bodyLength < kEightByteFieldBody) return;
        fields.informationValid = (body[0] & kValidBit) != 0;
        fields.information = ReadBigEndian(body + 2, 8);
        return;
    case kCommandSpecificDescriptor:
        if (bodyLength < kEightByteFieldBody) return;
        fields.hasCommandSpecific = true;
        fields.commandSpecific = ReadBigEndian(body + 2, 8);
        return;
    case kSenseKeySpecificDescriptor:
        if (bodyLength < kSenseKeySpecificBody) return;
        fields.hasSenseKeySpecific = true;
        std::memcpy(fields.senseKeySpecific, body + 2, 3);
        return;
    case kFieldReplaceableUnitDescriptor:
        if (bodyLength >= kUnitBody) fields.fieldReplaceableUnit = body[1];
        return;
    default: return;  // descriptors without a field here are stepped over
    }
}

// The header, then each descriptor that lies whole within both the written bytes and the
// additional length; the walk stops at the first one cut short.
void ReadDescriptorFormat(const uint8_t* sense, uint32_t length, SenseFields& fields)
{
    fields.key = ByteWithin(sense, length, 1) & 0x0F;
    fields.asc = ByteWithin(sense, length, 2);
    fields.ascq = ByteWithin(sense, length, 3);
    if (length <= kDescriptorHeaderSize) return;
    const uint32_t end = std::min(length, kDescriptorHeaderSize + sense[kDescriptorAdditionalLengthByte]);
    uint32_t at = kDescriptorHeaderSize;
    while (at + 2 <= end) {
        const uint32_t bodyLength = sense[at + 1];
        if (at + 2 + bodyLength > end) return;
        ReadDescriptor(sense[at], sense + at + 2, bodyLength, fields);
        at += 2 + bodyLength;
    }
}

bool IsDescriptorFormat(uint8_t responseCode)
{
    return responseCode == kDescriptorSenseCurrent || responseCode == kDescriptorSenseDeferred;
}

bool IsKnownFormat(uint8_t responseCode)
{
    return responseCode >= kFixedSenseCurrent && responseCode <= kDescriptorSenseDeferred;
}

// Writes fields in fixed format into kFixedSenseSize zeroed bytes.
void WriteFixedFormat(const SenseFields& fields, uint8_t* sense)
{
    sense[0] = fields.IsDeferred() ? kFixedSenseDeferred : kFixedSenseCurrent;
    sense[kFixedKeyByte] = fields.key;
    sense[kFixedAdditionalLengthByte] = kFixedAdditionalLength;
    sense[kFixedAscByte] = fields.asc;
    sense[kFixedAscqByte] = fields.ascq;
    if (fields.informationValid && fields.information <= UINT32_MAX) {
        sense[0] |= kValidBit;
        WriteBigEndian32(fields.information, sense + kFixedInformationByte);
    }
    if (fields.hasCommandSpecific && fields.commandSpecific <= UINT32_MAX)
        WriteBigEndian32(fields.commandSpecific, sense + kFixedCommandSpecificByte);
    sense[kFixedUnitByte] = fields.fieldReplaceableUnit;
    if (fields.hasSenseKeySpecific) std::memcpy(sense + kFixedSenseKeySpecificByte, fields.senseKeySpecific, 3);
}

}  // namespace

bool NormaliseSense(const uint8_t* sense, uint32_t length, SenseFields& fields)
{
    fields = SenseFields{};
    if (length == 0) return false;
    const uint8_t responseCode = sense[0] & kResponseCodeMask;
    if (IsDescriptorFormat(responseCode))
        ReadDescriptorFormat(sense, length, fields);
    else
        ReadFixedFormat(sense, length, fields);
    if (!IsKnownFormat(responseCode)) return false;
    fields.responseCode = responseCode;
    return true;
}

void RewriteSenseInFixedFormat(uint8_t* sense, uint32_t size, uint32_t written)
{
    written = std::min(written, size);
    std::memset(sense + written, 0, size - written);
    // A buffer too small for fixed format keeps what was written rather than a part of it.
    if (written == 0 || size < kFixedSenseSize || !IsDescriptorFormat(sense[0] & kResponseCodeMask)) return;
    SenseFields fields;
    NormaliseSense(sense, written, fields);
    std::memset(sense, 0, size);
    WriteFixedFormat(fields, sense);
}

}  // namespace scsi
