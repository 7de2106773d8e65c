// Sense of either format read into one record, and the fixed-format rewrite that both system
// seams hand up, over one table.

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "scsi/Sense.h"

namespace {

struct SenseCase {
    const char* name;
    std::vector<uint8_t> bytes;  // what the drive wrote; the buffer is filled with EEh beyond
    bool known;
    uint8_t key, asc, ascq;
    bool informationValid;
    uint64_t information;
};

// clang-format off
const SenseCase kCases[] = {
    {"nothing written", {}, false, 0, 0, 0, false, 0},
    {"fixed", {0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x3A, 0x01, 0, 0, 0, 0}, true, 2, 0x3A, 0x01, false, 0},
    {"fixed with information", {0xF0, 0, 0x03, 0x12, 0x34, 0x56, 0x78, 0x0A, 0, 0, 0, 0, 0x11, 0x00}, true, 3, 0x11, 0,
     true, 0x12345678},
    {"fixed cut before its qualifier", {0x71, 0, 0x04, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x44}, true, 4, 0x44, 0, false, 0},
    {"fixed cut before its key", {0x70, 0}, true, 0, 0, 0, false, 0},
    {"descriptor header", {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0}, true, 5, 0x24, 0, false, 0},
    {"descriptor cut in its header", {0x72, 0x02, 0x3A}, true, 2, 0x3A, 0, false, 0},
    {"descriptor deferred, reserved key bits", {0x73, 0xF6, 0x29, 0x00, 0, 0, 0, 0}, true, 6, 0x29, 0, false, 0},
    {"descriptor with information", {0x72, 0x03, 0x11, 0x00, 0, 0, 0, 12,
                                     0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78}, true, 3, 0x11, 0,
     true, 0x12345678},
    {"descriptor with eight-byte information", {0x72, 0x03, 0x11, 0x00, 0, 0, 0, 12,
                                                0x00, 0x0A, 0x80, 0, 0, 0, 0, 1, 0, 0, 0, 2}, true, 3, 0x11, 0,
     true, 0x100000002},
    {"unknown descriptor stepped over", {0x72, 0x04, 0x08, 0x00, 0, 0, 0, 16,
                                         0x80, 0x02, 0xAA, 0xBB,
                                         0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 9}, true, 4, 0x08, 0, true, 9},
    {"information cut by the written bytes", {0x72, 0x03, 0x11, 0x00, 0, 0, 0, 12,
                                              0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0x12}, true, 3, 0x11, 0, false, 0},
    {"information past the additional length", {0x72, 0x03, 0x11, 0x00, 0, 0, 0, 8,
                                                0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 7}, true, 3, 0x11, 0,
     false, 0},
    {"information not valid", {0x72, 0x03, 0x11, 0x00, 0, 0, 0, 12,
                               0x00, 0x0A, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 7}, true, 3, 0x11, 0, false, 7},
    {"unknown format", {0x7F, 0x01, 0x05, 0x03}, false, 5, 0, 0, false, 0},
};
// clang-format on

constexpr uint32_t kBufferSize = 24;

TEST(ScsiSense, BothFormatsReadAlikeAndSurviveTheSeamsRewrite)
{
    for (const SenseCase& c : kCases) {
        SCOPED_TRACE(c.name);
        uint8_t buffer[kBufferSize];
        std::memset(buffer, 0xEE, sizeof buffer);
        ASSERT_LE(c.bytes.size(), sizeof buffer);
        if (!c.bytes.empty()) std::memcpy(buffer, c.bytes.data(), c.bytes.size());
        const auto written = static_cast<uint32_t>(c.bytes.size());

        scsi::SenseFields read;
        EXPECT_EQ(scsi::NormaliseSense(buffer, written, read), c.known);
        EXPECT_EQ(read.key, c.key);
        EXPECT_EQ(read.asc, c.asc);
        EXPECT_EQ(read.ascq, c.ascq);
        EXPECT_EQ(read.informationValid, c.informationValid);
        EXPECT_EQ(read.information, c.information);

        // The seams' layout: fixed format, nothing of the buffer's old bytes left past the sense.
        scsi::RewriteSenseInFixedFormat(buffer, sizeof buffer, written);
        if (!c.known) continue;
        scsi::SenseFields rewritten;
        ASSERT_TRUE(scsi::NormaliseSense(buffer, sizeof buffer, rewritten));
        EXPECT_EQ(rewritten.responseCode, read.IsDeferred() ? 0x71 : 0x70);
        EXPECT_EQ(rewritten.key, c.key);
        EXPECT_EQ(rewritten.asc, c.asc);
        EXPECT_EQ(rewritten.ascq, c.ascq);
        const bool fits = c.informationValid && c.information <= UINT32_MAX;
        EXPECT_EQ(rewritten.informationValid, fits);
        EXPECT_EQ(rewritten.information, fits ? c.information : 0);
        for (uint32_t index = std::max<uint32_t>(written, scsi::kFixedSenseSize); index < sizeof buffer; ++index)
            EXPECT_EQ(buffer[index], 0) << "byte " << index;
    }
}

}  // namespace
