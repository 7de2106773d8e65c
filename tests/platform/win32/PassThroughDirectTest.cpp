// The pass-through request block without a drive: what the driver is handed for each direction,
// length and time-out, and how its answer (sense, status, bytes moved) is read back.

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "platform/win32/PassThroughDirect.h"

namespace {

using namespace platform;
using namespace platform::win32;

PassThroughRequest Request(DataDirection direction, uint8_t* data, uint32_t length, uint32_t timeoutMs = 108000)
{
    PassThroughRequest request;
    std::memset(&request, 0, sizeof request);
    for (int i = 0; i < kCdbSize; ++i) request.cdb[i] = static_cast<uint8_t>(0xA0 + i);
    request.direction = direction;
    request.data = data;
    request.length = length;
    request.timeoutMs = timeoutMs;
    return request;
}

uint8_t buffer[65536];

struct FillCase {
    const char* name;
    DataDirection direction;
    uint8_t* data;
    uint32_t length;
    UCHAR dataIn;
    ULONG transferLength;
    void* dataBuffer;
};

void PrintTo(const FillCase& c, std::ostream* os) { *os << c.name; }

class PassThroughFill : public ::testing::TestWithParam<FillCase> {};

TEST_P(PassThroughFill, HandsTheDriverTheCommandItsDataAndTheSenseBuffer)
{
    const FillCase& c = GetParam();
    const PassThroughRequest request = Request(c.direction, c.data, c.length);
    PassThroughBlock block;
    std::memset(&block, 0xCC, sizeof block);
    ASSERT_TRUE(FillPassThroughBlock(request, block));

    const SCSI_PASS_THROUGH_DIRECT& direct = block.request;
    EXPECT_EQ(direct.Length, 44);
    EXPECT_EQ(direct.DataIn, c.dataIn);
    EXPECT_EQ(direct.DataTransferLength, c.transferLength);
    EXPECT_EQ(direct.DataBuffer, c.dataBuffer);
    EXPECT_EQ(direct.CdbLength, kCdbSize);
    EXPECT_EQ(0, std::memcmp(direct.Cdb, request.cdb, kCdbSize));
    EXPECT_EQ(direct.Cdb[12] | direct.Cdb[13] | direct.Cdb[14] | direct.Cdb[15], 0);
    EXPECT_EQ(direct.SenseInfoLength, kSenseSize);
    EXPECT_EQ(direct.SenseInfoOffset, 48u);
    EXPECT_EQ(direct.ScsiStatus | direct.PathId | direct.TargetId | direct.Lun, 0);
    EXPECT_EQ(direct.TimeOutValue, 118u);
    const uint8_t zeros[kSenseSize] = {};
    EXPECT_EQ(0, std::memcmp(block.sense, zeros, kSenseSize));
}

INSTANTIATE_TEST_SUITE_P(
    Directions, PassThroughFill,
    ::testing::Values(FillCase{"Out", DataDirection::Out, buffer, 16384, SCSI_IOCTL_DATA_OUT, 16384, buffer},
                      FillCase{"In", DataDirection::In, buffer, 96, SCSI_IOCTL_DATA_IN, 96, buffer},
                      FillCase{"None", DataDirection::None, nullptr, 0, SCSI_IOCTL_DATA_UNSPECIFIED, 0, nullptr},
                      // A direction without a length, or no direction with one, moves nothing.
                      FillCase{"InWithoutLength", DataDirection::In, buffer, 0, SCSI_IOCTL_DATA_IN, 0, nullptr},
                      FillCase{"NoneWithLength", DataDirection::None, buffer, 512, SCSI_IOCTL_DATA_UNSPECIFIED, 0,
                               nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PassThroughFill, RefusesWhatCannotBeSent)
{
    PassThroughBlock block;
    EXPECT_FALSE(FillPassThroughBlock(Request(DataDirection::In, nullptr, 96), block));
    EXPECT_FALSE(FillPassThroughBlock(Request(DataDirection::Out, nullptr, 16384), block));
    EXPECT_FALSE(FillPassThroughBlock(Request(static_cast<DataDirection>(3), buffer, 96), block));
}

TEST(PassThroughTimeout, DriverLimitIsTheLimitPlusTheMarginInWholeSecondsRoundedUp)
{
    struct {
        uint32_t timeoutMs;
        uint32_t seconds;
    } const cases[] = {
        {108000, 118},
        {0, 10},
        {1, 11},
        {999, 11},
        {1000, 11},
        {1001, 12},
        {30000, 40},
        {UINT32_MAX, kMaxDriverTimeoutSeconds},
        {kMaxDriverTimeoutSeconds * 1000u - kDriverTimeoutMarginMs, kMaxDriverTimeoutSeconds},
    };
    for (const auto& c : cases) EXPECT_EQ(DriverTimeoutSeconds(c.timeoutMs), c.seconds) << c.timeoutMs;
}

// Reading the answer ----------------------------------------------------------------------------

struct ReadCase {
    const char* name;
    DataDirection direction;
    uint32_t length;
    UCHAR scsiStatus;
    ULONG driverTransferred;
    UCHAR senseWritten;
    uint8_t senseHeader[4];  // bytes 0..3 as the drive wrote them
    bool carriedOut;
    uint32_t transferred;
    uint8_t key, asc, ascq;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class PassThroughRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(PassThroughRead, GivesTheSenseAndTheBytesMoved)
{
    const ReadCase& c = GetParam();
    PassThroughRequest request = Request(c.direction, buffer, c.length);
    PassThroughBlock block;
    ASSERT_TRUE(FillPassThroughBlock(request, block));
    // The driver's answer: status, bytes moved, sense bytes written and how many; the bytes past
    // what it says it wrote are left over from elsewhere and must not be read as sense.
    block.request.ScsiStatus = c.scsiStatus;
    block.request.DataTransferLength = c.driverTransferred;
    block.request.SenseInfoLength = c.senseWritten;
    std::memset(block.sense, 0xEE, sizeof block.sense);
    std::memcpy(block.sense, c.senseHeader, 4);
    if (c.senseHeader[0] == 0x70) {
        block.sense[12] = 0x3A;
        block.sense[13] = 0x01;
    }
    std::memset(request.sense, 0x55, sizeof request.sense);
    request.transferred = 12345;

    EXPECT_EQ(ReadPassThroughBlock(block, request), c.carriedOut);
    EXPECT_EQ(request.transferred, c.transferred);
    EXPECT_EQ(request.sense[2] & 0x0F, c.key);
    EXPECT_EQ(request.sense[12], c.asc);
    EXPECT_EQ(request.sense[13], c.ascq);
    for (int i = c.senseWritten; i < kSenseSize && c.senseHeader[0] != 0x72; ++i)
        EXPECT_EQ(request.sense[i], 0) << "sense byte " << i << " was not written by the driver";
}

INSTANTIATE_TEST_SUITE_P(
    Answers, PassThroughRead,
    ::testing::Values(
        ReadCase{"Good", DataDirection::In, 96, 0x00, 96, 0, {}, true, 96, 0, 0, 0},
        ReadCase{"ShortRead", DataDirection::In, 96, 0x00, 36, 0, {}, true, 36, 0, 0, 0},
        ReadCase{"DriverClaimsMoreThanAsked", DataDirection::Out, 512, 0x00, 70000, 0, {}, true, 512, 0, 0, 0},
        ReadCase{"NoDataPhase", DataDirection::None, 0, 0x00, 77, 0, {}, true, 0, 0, 0, 0},
        ReadCase{"FixedSense", DataDirection::None, 0, 0x02, 0, 18, {0x70, 0, 0x02, 0}, true, 0, 2, 0x3A, 0x01},
        ReadCase{"SenseLongerThanTheBuffer",
                 DataDirection::None,
                 0,
                 0x02,
                 0,
                 40,
                 {0x70, 0, 0x02, 0},
                 true,
                 0,
                 2,
                 0x3A,
                 0x01},
        ReadCase{
            "DescriptorSense", DataDirection::None, 0, 0x02, 0, 8, {0x72, 0x06, 0x29, 0x00}, true, 0, 6, 0x29, 0x00},
        ReadCase{"CheckConditionWithoutSense", DataDirection::In, 96, 0x02, 96, 0, {}, true, 96, 0, 0, 0},
        ReadCase{"Busy", DataDirection::In, 96, 0x08, 96, 0, {}, false, 0, 0, 0, 0},
        ReadCase{"ReservationConflict", DataDirection::Out, 512, 0x18, 512, 0, {}, false, 0, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
