#pragma once
// Fields of command blocks and answers, each declared once by its place and width, and the
// store and the read that go through such a declaration. A value that does not fit its field is
// refused, never cut: the store answers false and leaves the bytes as they were. Where a caller
// means to cut (the drive command set stores its arguments masked to their fields), it says so
// with PutMasked.

#include <cstdint>

namespace scsi {

// Whole bytes (1 to 4, big-endian) from offset, or bits [shift, shift + bits) of the byte at
// offset.
struct Field {
    uint8_t offset;
    uint8_t size;
    uint8_t shift;
    uint8_t bits;  // 0: the whole bytes
};

constexpr Field Bytes(uint8_t offset, uint8_t size) { return Field{offset, size, 0, 0}; }
constexpr Field Byte(uint8_t offset) { return Bytes(offset, 1); }
constexpr Field Bits(uint8_t offset, uint8_t shift, uint8_t bits) { return Field{offset, 1, shift, bits}; }
constexpr Field Bit(uint8_t offset, uint8_t position) { return Bits(offset, position, 1); }

// size bytes from offset taken as they are: a text such as the vendor's name, or a key.
struct ByteRange {
    uint8_t offset;
    uint8_t size;
};

constexpr int WidthInBits(Field field) { return field.bits != 0 ? field.bits : field.size * 8; }

constexpr uint32_t MaxValue(Field field)
{
    return WidthInBits(field) >= 32 ? UINT32_MAX : (uint32_t{1} << WidthInBits(field)) - 1;
}

constexpr bool Fits(Field field, uint32_t value) { return value <= MaxValue(field); }

constexpr uint32_t MaskedTo(Field field, uint32_t value) { return value & MaxValue(field); }

// Whether the field is well formed and ends within a block or answer of length bytes; layouts
// check every declaration with it at compile time.
constexpr bool Within(Field field, int length)
{
    const bool shape = field.bits == 0 ? field.size >= 1 && field.size <= 4
                                       : field.size == 1 && field.shift + field.bits <= 8;
    return shape && field.offset + field.size <= length;
}

constexpr bool Within(ByteRange field, int length) { return field.size >= 1 && field.offset + field.size <= length; }

constexpr uint32_t Get(const uint8_t* bytes, Field field)
{
    if (field.bits != 0) return MaskedTo(field, uint32_t{bytes[field.offset]} >> field.shift);
    uint32_t value = 0;
    for (int index = 0; index < field.size; ++index) value = (value << 8) | bytes[field.offset + index];
    return value;
}

// Stores value into its field, the other bits of a shared byte kept. False, with nothing
// changed, when the value does not fit.
[[nodiscard]] constexpr bool Put(uint8_t* bytes, Field field, uint32_t value)
{
    if (!Fits(field, value)) return false;
    if (field.bits != 0) {
        const uint32_t mask = MaxValue(field) << field.shift;
        bytes[field.offset] = static_cast<uint8_t>((bytes[field.offset] & ~mask) | (value << field.shift));
        return true;
    }
    for (int index = field.size - 1; index >= 0; --index, value >>= 8)
        bytes[field.offset + index] = static_cast<uint8_t>(value);
    return true;
}

// Stores the value cut to the field's width: for callers whose contract is to cut.
constexpr void PutMasked(uint8_t* bytes, Field field, uint32_t value)
{
    static_cast<void>(Put(bytes, field, MaskedTo(field, value)));
}

}  // namespace scsi
