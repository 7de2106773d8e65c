#pragma once
// The program's own update package, read at run time from the program's data.

#include <cstdint>

namespace payload {

// The first byte of the program's own block (kPackageSize bytes). The packaging step may have
// changed any byte of it in the program file, so its contents are never known when compiling.
const uint8_t* OwnPackageBlock();

// The first byte of the program's own image digest record (kImageDigestsSize bytes), which the
// packaging step writes beside the block whenever it packs the block.
const uint8_t* OwnImageDigests();

}  // namespace payload
