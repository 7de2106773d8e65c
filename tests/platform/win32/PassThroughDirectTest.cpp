// The pass-through request block without a drive: what the driver is handed for each direction,
// length and time-out, and how its answer (sense, status, bytes moved) is read back. Each table
// is one test: under Wine every test program start costs seconds.

#include <gtest/gtest.h>

#include <cstring>

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

TEST(PassThroughFill, HandsTheDriverTheCommandItsDataAndTheSenseBuffer)
{
    struct {
        const char* name;
        DataDirection direction;
        uint8_t* data;
        uint32_t length;
        UCHAR dataIn;
        ULONG transferLength;
        void* dataBuffer;
    } const cases[] = {
        {"out", DataDirection::Out, buffer, 16384, SCSI_IOCTL_DATA_OUT, 16384, buffer},
        {"in", DataDirection::In, buffer, 96, SCSI_IOCTL_DATA_IN, 96, buffer},
        {"none", DataDirection::None, nullptr, 0, SCSI_IOCTL_DATA_UNSPECIFIED, 0, nullptr},
        // A direction without a length, or no direction with one, moves nothing.
        {"in without length", DataDirection::In, buffer, 0, SCSI_IOCTL_DATA_IN, 0, nullptr},
        {"none with length", DataDirection::None, buffer, 512, SCSI_IOCTL_DATA_UNSPECIFIED, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
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
}

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

// The driver's answer: status, bytes moved, how many sense bytes it wrote. The sense buffer is
// filled with bytes left over from elsewhere first; only what the driver says it wrote is sense.
TEST(PassThroughRead, GivesTheSenseTheDriverWroteAndTheBytesMoved)
{
    struct {
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
    } const cases[] = {
        {"good", DataDirection::In, 96, 0x00, 96, 0, {}, true, 96, 0, 0, 0},
        {"short read", DataDirection::In, 96, 0x00, 36, 0, {}, true, 36, 0, 0, 0},
        {"driver claims more than asked", DataDirection::Out, 512, 0x00, 70000, 0, {}, true, 512, 0, 0, 0},
        {"no data phase", DataDirection::None, 0, 0x00, 77, 0, {}, true, 0, 0, 0, 0},
        {"fixed sense", DataDirection::None, 0, 0x02, 0, 18, {0x70, 0, 0x02, 0}, true, 0, 2, 0x3A, 0x01},
        {"sense longer than the buffer",
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
        {"descriptor sense", DataDirection::None, 0, 0x02, 0, 8, {0x72, 0x06, 0x29, 0x00}, true, 0, 6, 0x29, 0x00},
        {"check condition without sense", DataDirection::In, 96, 0x02, 96, 0, {}, true, 96, 0, 0, 0},
        {"busy", DataDirection::In, 96, 0x08, 96, 0, {}, false, 0, 0, 0, 0},
        {"reservation conflict", DataDirection::Out, 512, 0x18, 512, 0, {}, false, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PassThroughRequest request = Request(c.direction, buffer, c.length);
        PassThroughBlock block;
        ASSERT_TRUE(FillPassThroughBlock(request, block));
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
}

}  // namespace
