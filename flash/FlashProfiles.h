#pragma once
// The flash profile step: which row of the flash profile table a drive's chip key selects, how
// the row's profile is framed into a packet, and where the WRITE BUFFER that carries it goes.
// The flash profile table and the profile number table divide the profile store, so they live
// with it in payload/ProfileLayout.h; everything here is derived from them by rule.

#include <cstdint>
#include <optional>
#include <span>

#include "payload/ProfileLayout.h"
#include "scsi/CommandBlocks.h"

namespace flash {

using payload::kFlashProfileTable;
using payload::kProfileNumbers;
using payload::kProfileRowCount;
using payload::ProfileLength;
using payload::ProfileStoreOffset;

// SendFlashProfile clears this much of outputBuffer before it builds the packet there.
inline constexpr uint32_t kProfileClearedBytes = 32768;

// Rows 0 and 1 frame their profile with the key alone, the others with the whole row.
inline constexpr int kKeyHeaderRows = 2;
inline constexpr uint32_t kKeyHeaderSize = 4;
inline constexpr uint32_t kRowHeaderSize = 6;
// Rows 2 to 4 send as many bytes as their (even) profile length, header included.
inline constexpr int kFirstUnframedLengthRow = 2;
inline constexpr int kLastUnframedLengthRow = 4;
// Where the packet goes and with which control: rows 0 and 1, then all others.
inline constexpr uint32_t kKeyHeaderBufferOffset = 0x080000;
inline constexpr uint8_t kKeyHeaderControl = 0x00;
inline constexpr uint32_t kRowHeaderBufferOffset = 0;
inline constexpr uint8_t kRowHeaderControl = 0x7F;

constexpr bool HasKeyHeader(int row) { return row < kKeyHeaderRows; }

constexpr uint32_t ProfileHeaderSize(int row) { return HasKeyHeader(row) ? kKeyHeaderSize : kRowHeaderSize; }

// A profile of odd length is sent with one zero byte behind it.
constexpr uint32_t EvenLength(uint32_t length) { return length + (length & 1u); }

constexpr uint32_t ProfileTransferLength(int row)
{
    const uint32_t length = EvenLength(ProfileLength(row));
    if (row >= kFirstUnframedLengthRow && row <= kLastUnframedLengthRow) return length;
    return length + ProfileHeaderSize(row);
}

constexpr uint32_t ProfileBufferOffset(int row)
{
    return HasKeyHeader(row) ? kKeyHeaderBufferOffset : kRowHeaderBufferOffset;
}

constexpr uint8_t ProfileControl(int row) { return HasKeyHeader(row) ? kKeyHeaderControl : kRowHeaderControl; }

// Every packet, with its padding byte, lies inside the cleared part of outputBuffer.
consteval bool PacketsFitTheClearedBytes()
{
    for (int row = 0; row < kProfileRowCount; ++row) {
        if (ProfileHeaderSize(row) + EvenLength(ProfileLength(row)) > kProfileClearedBytes) return false;
    }
    return true;
}
static_assert(PacketsFitTheClearedBytes());

// Every packet's offset and length fit their WRITE BUFFER fields whole, which the command set
// would otherwise cut to their widths.
consteval bool PacketsFitTheirCommandFields()
{
    for (int row = 0; row < kProfileRowCount; ++row) {
        if (!scsi::Fits(scsi::buffer::kOffset, ProfileBufferOffset(row)) ||
            !scsi::Fits(scsi::buffer::kLength, ProfileTransferLength(row)))
            return false;
    }
    return true;
}
static_assert(PacketsFitTheirCommandFields());
static_assert(ProfileTransferLength(0) == 318 && ProfileTransferLength(2) == 1280);
static_assert(ProfileTransferLength(8) == 700 && ProfileTransferLength(10) == 1286);
static_assert(ProfileBufferOffset(1) == 0x080000 && ProfileControl(1) == 0x00);
static_assert(ProfileBufferOffset(2) == 0 && ProfileControl(2) == 0x7F);

// The first row, in table order, whose key is these four bytes; empty when none is.
std::optional<int> FindProfileRow(uint8_t manufacturer, uint8_t device, uint8_t variantHigh, uint8_t variantLow);

// Copies the profile of the row that the key selects, from the store (kProfileStoreSize bytes),
// to the start of destination and returns destination's first byte. Copies nothing and returns
// null when no row has the key or the profile does not fit in destination. Whatever the store's
// bytes, only its own bytes are read.
uint8_t* FetchProfile(const uint8_t* store, uint8_t manufacturer, uint8_t device, uint8_t variantHigh,
                      uint8_t variantLow, std::span<uint8_t> destination);
// The same from the program's own store, as the flash profile step sends it.
uint8_t* FetchProfile(uint8_t manufacturer, uint8_t device, uint8_t variantHigh, uint8_t variantLow,
                      std::span<uint8_t> destination);

}  // namespace flash
