// The checked store of declared fields: a value that fits lands in its field alone, big-endian,
// the other bits of a shared byte kept; one that does not fit is refused and changes nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <ostream>
#include <string>

#include "scsi/CommandBlocks.h"

namespace {

struct FieldCase {
    const char* name;
    scsi::Field field;
    uint32_t value;
    bool fits;
    const char* block;  // the twelve bytes after the store, from a block of 5Ah bytes
};

void PrintTo(const FieldCase& fieldCase, std::ostream* out) { *out << fieldCase.name; }

std::string Hex(const uint8_t* bytes, int count)
{
    std::string text;
    char digits[3];
    for (int index = 0; index < count; ++index) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[index]);
        text += digits;
    }
    return text;
}

constexpr const char* kUnchanged = "5A5A5A5A5A5A5A5A5A5A5A5A";

class FieldStore : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FieldStore, StoresAValueThatFitsAndRefusesOneThatDoesNot)
{
    const FieldCase& c = GetParam();
    uint8_t block[scsi::kCommandBlockSize];
    std::fill(std::begin(block), std::end(block), 0x5A);
    EXPECT_EQ(scsi::Put(block, c.field, c.value), c.fits);
    EXPECT_EQ(Hex(block, scsi::kCommandBlockSize), c.fits ? c.block : kUnchanged);
    if (c.fits) {
        EXPECT_EQ(scsi::Get(block, c.field), c.value);
    }
}

const FieldCase kFieldCases[] = {
    {"OffsetLargest", scsi::buffer::kOffset, 0xFFFFFF, true, "5A5A5AFFFFFF5A5A5A5A5A5A"},
    {"OffsetBigEndian", scsi::buffer::kOffset, 0x0FC000, true, "5A5A5A0FC0005A5A5A5A5A5A"},
    {"OffsetPastField", scsi::buffer::kOffset, 0x1000000, false, kUnchanged},
    {"AllocationLargest", scsi::event_status::kAllocation, 0xFFFF, true, "5A5A5A5A5A5A5AFFFF5A5A5A"},
    {"AllocationPastField", scsi::event_status::kAllocation, 0x10000, false, kUnchanged},
    {"ByteLargest", scsi::inquiry::kAllocation, 0xFF, true, "5A5A5A5AFF5A5A5A5A5A5A5A"},
    {"BytePastField", scsi::inquiry::kAllocation, 0x100, false, kUnchanged},
    {"FlagSetKeepsItsNeighbours", scsi::inquiry::kEvpd, 1, true, "5A5B5A5A5A5A5A5A5A5A5A5A"},
    {"FlagClearedKeepsItsNeighbours", scsi::start_stop::kLoadEject, 0, true, "5A5A5A5A585A5A5A5A5A5A5A"},
    {"FlagPastField", scsi::inquiry::kEvpd, 2, false, kUnchanged},
    {"HighNibble", scsi::start_stop::kPowerCondition, 0xF, true, "5A5A5A5AFA5A5A5A5A5A5A5A"},
    {"HighNibblePastField", scsi::start_stop::kPowerCondition, 0x10, false, kUnchanged},
    {"ModeLargest", scsi::buffer::kMode, 0x1F, true, "5A5F5A5A5A5A5A5A5A5A5A5A"},
    {"ModePastField", scsi::buffer::kMode, 0x20, false, kUnchanged},
};

INSTANTIATE_TEST_SUITE_P(Table, FieldStore, ::testing::ValuesIn(kFieldCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
