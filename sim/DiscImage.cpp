#include "sim/DiscImage.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

// Where the ISO 9660 volume lies on the disc.
constexpr uint32_t kPrimaryDescriptorLba = 16;
constexpr uint32_t kTerminatorLba = 17;
constexpr uint32_t kRootDirectoryLba = 18;
constexpr uint32_t kLittleEndianPathTableLba = 19;
constexpr uint32_t kBigEndianPathTableLba = 20;

// The volume descriptors' common start, and the primary descriptor's fields that a prober or a
// file system reads. Numbers of ISO 9660 are written both ways: little-endian, then big-endian.
namespace descriptor {
constexpr int kType = 0;
constexpr int kIdentifier = 1;  // "CD001"
constexpr int kVersion = 6;
constexpr int kSystemId = 8;   // 32 characters
constexpr int kVolumeId = 40;  // 32 characters
constexpr int kVolumeSpaceSize = 80;
constexpr int kVolumeSetSize = 120;
constexpr int kVolumeSequence = 124;
constexpr int kBlockSize = 128;
constexpr int kPathTableSize = 132;
constexpr int kLittleEndianPathTable = 140;
constexpr int kBigEndianPathTable = 148;
constexpr int kRootRecord = 156;
constexpr int kTextsStart = 190;  // volume set, publisher, preparer, application, file ids
constexpr int kTextsEnd = 813;
constexpr int kDatesStart = 813;  // creation, modification, expiration, effective: 17 bytes each
constexpr int kDateLength = 17;
constexpr int kFileStructureVersion = 881;

constexpr uint8_t kPrimary = 1;
constexpr uint8_t kTerminator = 255;
}  // namespace descriptor

// A directory record: the root directory's own, in the descriptor and in the directory.
namespace record {
constexpr int kLength = 0;
constexpr int kExtent = 2;
constexpr int kDataLength = 10;
constexpr int kDate = 18;  // 7 bytes: years since 1900, month, day, hour, minute, second, zone
constexpr int kFlags = 25;
constexpr int kVolumeSequence = 28;
constexpr int kNameLength = 32;
constexpr int kName = 33;
constexpr uint8_t kRootRecordLength = 34;
constexpr uint8_t kDirectory = 0x02;
constexpr uint8_t kSelf = 0x00;
constexpr uint8_t kParent = 0x01;
}  // namespace record

// A path table entry: the root directory alone.
namespace path_entry {
constexpr int kNameLength = 0;
constexpr int kExtent = 2;
constexpr int kParent = 6;
constexpr int kLength = 10;  // 8 bytes, a one-byte name and a pad byte
}  // namespace path_entry

constexpr char kDate[] = "2006010112000000";  // the disc was mastered on 1 January 2006
constexpr uint8_t kDateYearsSince1900 = 106;

void PutLittle32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutBig32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[3 - i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutBoth16(uint8_t* at, uint16_t value)
{
    at[0] = at[3] = static_cast<uint8_t>(value);
    at[1] = at[2] = static_cast<uint8_t>(value >> 8);
}

void PutBoth32(uint8_t* at, uint32_t value)
{
    PutLittle32(at, value);
    PutBig32(at + 4, value);
}

void PutText(uint8_t* at, int width, const char* text)
{
    std::memset(at, ' ', width);
    std::memcpy(at, text, std::min<size_t>(std::strlen(text), width));
}

void PutDescriptorStart(uint8_t* block, uint8_t type)
{
    block[descriptor::kType] = type;
    std::memcpy(block + descriptor::kIdentifier, "CD001", 5);
    block[descriptor::kVersion] = 1;
}

void PutRootRecord(uint8_t* at, uint8_t name)
{
    at[record::kLength] = record::kRootRecordLength;
    PutBoth32(at + record::kExtent, kRootDirectoryLba);
    PutBoth32(at + record::kDataLength, kDiscBlockSize);
    at[record::kDate] = kDateYearsSince1900;
    at[record::kDate + 1] = 1;
    at[record::kDate + 2] = 1;
    at[record::kFlags] = record::kDirectory;
    PutBoth16(at + record::kVolumeSequence, 1);
    at[record::kNameLength] = 1;
    at[record::kName] = name;
}

void PutPrimaryDescriptor(uint8_t* block)
{
    using namespace descriptor;
    PutDescriptorStart(block, kPrimary);
    PutText(block + kSystemId, 32, "LINUX");
    PutText(block + kVolumeId, 32, kDiscVolumeName);
    PutBoth32(block + kVolumeSpaceSize, kDiscBlocks);
    PutBoth16(block + kVolumeSetSize, 1);
    PutBoth16(block + kVolumeSequence, 1);
    PutBoth16(block + kBlockSize, kDiscBlockSize);
    PutBoth32(block + kPathTableSize, path_entry::kLength);
    PutLittle32(block + kLittleEndianPathTable, kLittleEndianPathTableLba);
    PutBig32(block + kBigEndianPathTable, kBigEndianPathTableLba);
    PutRootRecord(block + kRootRecord, record::kSelf);
    std::memset(block + kTextsStart, ' ', kTextsEnd - kTextsStart);
    for (int date = 0; date < 4; ++date) {
        uint8_t* at = block + kDatesStart + date * kDateLength;
        std::memcpy(at, date < 2 ? kDate : "0000000000000000", kDateLength - 1);
    }
    block[kFileStructureVersion] = 1;
}

void PutPathTable(uint8_t* block, bool bigEndian)
{
    block[path_entry::kNameLength] = 1;
    if (bigEndian) {
        PutBig32(block + path_entry::kExtent, kRootDirectoryLba);
        block[path_entry::kParent + 1] = 1;
    } else {
        PutLittle32(block + path_entry::kExtent, kRootDirectoryLba);
        block[path_entry::kParent] = 1;
    }
}

// Any other block: its address first, so that a reader can tell which block it got.
void PutPattern(uint32_t lba, uint8_t* block)
{
    PutBig32(block, lba);
    for (uint32_t i = 4; i < kDiscBlockSize; ++i) block[i] = static_cast<uint8_t>(lba * 131 + i * 7 + (i >> 8));
}

}  // namespace

void ReadDiscBlock(uint32_t lba, uint8_t (&block)[kDiscBlockSize])
{
    std::memset(block, 0, sizeof block);
    switch (lba) {
    case kPrimaryDescriptorLba: return PutPrimaryDescriptor(block);
    case kTerminatorLba: return PutDescriptorStart(block, descriptor::kTerminator);
    case kRootDirectoryLba:
        PutRootRecord(block, record::kSelf);
        PutRootRecord(block + record::kRootRecordLength, record::kParent);
        return;
    case kLittleEndianPathTableLba: return PutPathTable(block, false);
    case kBigEndianPathTableLba: return PutPathTable(block, true);
    default: return PutPattern(lba, block);
    }
}

}  // namespace sim
