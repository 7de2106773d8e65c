#pragma once
// The flash profile store and the two tables that divide it. The store holds nineteen profiles
// back to back, in profile number order, with nothing between them. The flash profile table
// gives, per row, the chip key a drive answers with and the length of the row's profile; the
// profile number table tells which profile each row uses. Where a profile lies in the store is
// derived from these two tables, never stored, and checked below when compiling.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace payload {

inline constexpr std::size_t kProfileStoreSize = 17048;
inline constexpr int kProfileRowCount = 24;
inline constexpr int kProfileCount = 19;
inline constexpr std::size_t kProfileRowSize = 6;
inline constexpr std::size_t kProfileKeySize = 4;

// Names of the section that holds the program's own store, in a Linux (ELF) and in a Windows
// (PE) program; short in a PE program for the reason PackageLayout.h gives.
// NORVIK_PROFILE_SECTION is the one of the platform being built.
#define NORVIK_ELF_PROFILE_SECTION ".norvik_profiles"
#define NORVIK_PE_PROFILE_SECTION ".nvprof"
#if defined(_WIN32)
#define NORVIK_PROFILE_SECTION NORVIK_PE_PROFILE_SECTION
#else
#define NORVIK_PROFILE_SECTION NORVIK_ELF_PROFILE_SECTION
#endif
inline constexpr std::string_view kElfProfileSectionName = NORVIK_ELF_PROFILE_SECTION;
inline constexpr std::string_view kPeProfileSectionName = NORVIK_PE_PROFILE_SECTION;
static_assert(kPeProfileSectionName.size() <= 8, "a PE section header holds 8 bytes of a name");

// Bytes 0..3: the key (manufacturer code, device code, two variant bytes) matched against the
// first four bytes of the flash identification reply. Bytes 4..5: profile length, big-endian.
// clang-format off
inline constexpr uint8_t kFlashProfileTable[kProfileRowCount][kProfileRowSize] = {
    {0xDA, 0xC8, 0x00, 0x00, 0x01, 0x3A},
    {0xBF, 0xB4, 0x00, 0x00, 0x01, 0xC4},
    {0xBF, 0xD6, 0x00, 0x01, 0x05, 0x00},
    {0xBF, 0xB6, 0x00, 0x01, 0x05, 0x00},
    {0x37, 0x8C, 0x00, 0x01, 0x05, 0x00},
    {0xBF, 0xD7, 0x00, 0x03, 0x03, 0xE6},
    {0x37, 0x0D, 0x00, 0x02, 0x03, 0x1C},
    {0xBF, 0xB6, 0x00, 0x02, 0x02, 0xB6},
    {0xBF, 0xD6, 0x00, 0x02, 0x02, 0xB6},
    {0xDA, 0xB5, 0x00, 0x02, 0x02, 0xBA},
    {0xDA, 0xB5, 0x00, 0x01, 0x05, 0x00},
    {0xBF, 0xD7, 0x00, 0x04, 0x03, 0x56},
    {0xC2, 0xB6, 0x00, 0x03, 0x03, 0x3E},
    {0xDA, 0x46, 0x00, 0x03, 0x02, 0xE6},
    {0x37, 0xB5, 0x00, 0x03, 0x03, 0xB2},
    {0xC2, 0xB6, 0x00, 0x07, 0x03, 0x1E},
    {0xDA, 0x46, 0x00, 0x07, 0x02, 0xC6},
    {0x37, 0xB5, 0x00, 0x04, 0x03, 0xAE},
    {0xBF, 0xD8, 0x00, 0x05, 0x04, 0xD2},
    {0x01, 0x37, 0x00, 0x05, 0x04, 0xD2},
    {0xC2, 0x37, 0x00, 0x05, 0x04, 0xD2},
    {0xC2, 0x38, 0x00, 0x05, 0x04, 0xD2},
    {0xBF, 0xD8, 0x00, 0x06, 0x04, 0x36},
    {0x01, 0x37, 0x00, 0x06, 0x04, 0x62},
};
// clang-format on

// The profile each row of kFlashProfileTable uses. Rows sharing a profile stand together.
inline constexpr int32_t kProfileNumbers[kProfileRowCount] = {
    0, 1, 2, 2, 3, 4, 5, 6, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 16, 16, 16, 17, 18,
};

// Bytes 4 and 5 of the row as a big-endian number.
constexpr uint16_t ProfileLength(int row)
{
    return static_cast<uint16_t>((kFlashProfileTable[row][4] << 8) | kFlashProfileTable[row][5]);
}

// Where the row's profile starts in the store: the lengths of the profiles before it, each
// counted once, at the row where the profile number changes.
constexpr uint32_t ProfileStoreOffset(int row)
{
    uint32_t offset = 0;
    for (int j = 1; j <= row; ++j) {
        if (kProfileNumbers[j] != kProfileNumbers[j - 1]) offset += ProfileLength(j - 1);
    }
    return offset;
}

// The first row that uses the profile; -1 for a number that no row uses.
constexpr int FirstRowOfProfile(int profile)
{
    for (int row = 0; row < kProfileRowCount; ++row) {
        if (kProfileNumbers[row] == profile) return row;
    }
    return -1;
}

// The tables describe one store: numbers 0..18 in order without gaps, rows that share a profile
// share its length, and no two rows answer to the same key.
consteval bool ProfileTablesAreConsistent()
{
    if (kProfileNumbers[0] != 0 || kProfileNumbers[kProfileRowCount - 1] != kProfileCount - 1) return false;
    for (int row = 1; row < kProfileRowCount; ++row) {
        const int32_t step = kProfileNumbers[row] - kProfileNumbers[row - 1];
        if (step != 0 && step != 1) return false;
        if (step == 0 && ProfileLength(row) != ProfileLength(row - 1)) return false;
    }
    for (int row = 0; row < kProfileRowCount; ++row) {
        for (int other = row + 1; other < kProfileRowCount; ++other) {
            bool same = true;
            for (std::size_t i = 0; i < kProfileKeySize; ++i) {
                same = same && kFlashProfileTable[row][i] == kFlashProfileTable[other][i];
            }
            if (same) return false;
        }
    }
    return true;
}
static_assert(ProfileTablesAreConsistent());

// The last profile ends exactly where the store ends.
static_assert(ProfileStoreOffset(23) == 15926 && ProfileLength(23) == 1122);
static_assert(ProfileStoreOffset(kProfileRowCount - 1) + ProfileLength(kProfileRowCount - 1) == kProfileStoreSize);
static_assert(ProfileStoreOffset(8) == 5120 && ProfileStoreOffset(7) == 5120);
static_assert(ProfileStoreOffset(21) == ProfileStoreOffset(18));

}  // namespace payload
