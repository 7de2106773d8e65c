#pragma once
// How the package fuzzer reads its input: a few drive identities first, then the package block.
// The block part is cut to, or padded with zeros to, the block's size; the seed generator
// writes the same layout.

#include <cstddef>
#include <cstdint>

#include "payload/PackageLayout.h"

namespace fuzz {

// One drive as the input gives it: the three inquiry texts and whether the drive is present.
struct DriveBytes {
    char vendor[8];
    char product[16];
    char revision[4];
    uint8_t present;
};
static_assert(sizeof(DriveBytes) == 29);

inline constexpr int kInputDrives = 4;
inline constexpr std::size_t kDrivePrefixSize = sizeof(DriveBytes) * kInputDrives;

// The seeds carry the block's fields and the start of its image area: the rest of the area
// only matters as the bytes a bank covers, and zeros serve for those.
inline constexpr std::size_t kSeedBlockBytes = offsetof(payload::PackageBlock, imageArea) + 64;

}  // namespace fuzz
