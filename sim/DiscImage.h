#pragma once
// The disc a virtual drive holds: a made-up DVD-ROM of one session with one data track of
// 2,048-byte blocks. Nothing is stored: every block is computed from its address when it is
// read. Blocks 16 to 20 carry an ISO 9660 volume (descriptor, terminator, an empty root
// directory and its path tables), so that software probing a disc for its file system names it;
// every other block starts with its own address, big-endian, followed by a pattern of it.

#include <cstdint>

namespace sim {

constexpr uint32_t kDiscBlocks = 1024;
constexpr uint32_t kDiscBlockSize = 2048;
constexpr char kDiscVolumeName[] = "NORVIK_TEST_DISC";

// Writes the bytes of block lba (below kDiscBlocks) into block.
void ReadDiscBlock(uint32_t lba, uint8_t (&block)[kDiscBlockSize]);

}  // namespace sim
