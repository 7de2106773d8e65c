// SG_IO without a drive: the request header built from a pass-through request, the judgement
// of the result, the sense data in one layout, the bytes moved, the address requests' answer.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <ostream>
#include <thread>

#include "platform/linux/SgIo.h"
#include "scsi/CommandOutcome.h"

namespace {

using namespace platform::linux_sys;
using namespace scsi;
using platform::DataDirection;
using platform::kSenseSize;
using platform::PassThroughRequest;
using platform::ScsiAddress;

PassThroughRequest Request(DataDirection direction, uint8_t* data, uint32_t length)
{
    PassThroughRequest request;
    std::memset(&request, 0, sizeof request);
    request.cdb[0] = 0x12;  // INQUIRY
    request.cdb[4] = 96;
    request.direction = direction;
    request.data = data;
    request.length = length;
    request.timeoutMs = 108000;
    return request;
}

sg_io_hdr Result(uint16_t hostStatus, uint16_t driverStatus, uint8_t status)
{
    sg_io_hdr header;
    std::memset(&header, 0, sizeof header);
    header.host_status = hostStatus;
    header.driver_status = driverStatus;
    header.status = status;
    return header;
}

// Time-out ----------------------------------------------------------------------------------

TEST(SgIoTimeout, KernelLimitIsTheProgramsLimitPlusTheMargin)
{
    EXPECT_EQ(KernelTimeoutMs(108000), 118000u);
    EXPECT_EQ(KernelTimeoutMs(0), kKernelTimeoutMarginMs);
    EXPECT_EQ(KernelTimeoutMs(1), kKernelTimeoutMarginMs + 1);
}

TEST(SgIoTimeout, KernelLimitSaturatesBelowTheNoLimitRange)
{
    EXPECT_EQ(KernelTimeoutMs(kMaxKernelTimeoutMs - kKernelTimeoutMarginMs - 1), kMaxKernelTimeoutMs - 1);
    EXPECT_EQ(KernelTimeoutMs(kMaxKernelTimeoutMs - kKernelTimeoutMarginMs), kMaxKernelTimeoutMs);
    EXPECT_EQ(KernelTimeoutMs(UINT32_MAX - 5), kMaxKernelTimeoutMs);
    EXPECT_EQ(KernelTimeoutMs(UINT32_MAX), kMaxKernelTimeoutMs);
}

// Request header ----------------------------------------------------------------------------

TEST(SgIoHeader, DataInRequestPointsAtTheRequestsOwnBuffers)
{
    uint8_t data[96];
    PassThroughRequest request = Request(DataDirection::In, data, sizeof data);
    sg_io_hdr header;
    std::memset(&header, 0xAB, sizeof header);
    ASSERT_TRUE(BuildSgIoHeader(request, header));
    EXPECT_EQ(header.interface_id, 'S');
    EXPECT_EQ(header.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(header.cmd_len, 12);
    EXPECT_EQ(header.cmdp, request.cdb);
    EXPECT_EQ(header.mx_sb_len, 24);
    EXPECT_EQ(header.sbp, request.sense);
    EXPECT_EQ(header.dxferp, data);
    EXPECT_EQ(header.dxfer_len, 96u);
    EXPECT_EQ(header.timeout, 118000u);
    EXPECT_EQ(header.iovec_count, 0);
    EXPECT_EQ(header.flags, 0u);
    EXPECT_EQ(header.usr_ptr, nullptr);
}

TEST(SgIoHeader, DataOutRequestGoesToTheDevice)
{
    uint8_t data[16384] = {};
    PassThroughRequest request = Request(DataDirection::Out, data, sizeof data);
    request.cdb[0] = 0x3B;  // WRITE BUFFER
    sg_io_hdr header;
    ASSERT_TRUE(BuildSgIoHeader(request, header));
    EXPECT_EQ(header.dxfer_direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(header.dxferp, data);
    EXPECT_EQ(header.dxfer_len, 16384u);
    EXPECT_EQ(header.cmdp[0], 0x3B);
}

TEST(SgIoHeader, RequestWithoutDataHasNoDataPhase)
{
    PassThroughRequest request = Request(DataDirection::None, nullptr, 0);
    request.cdb[0] = 0x00;  // TEST UNIT READY
    sg_io_hdr header;
    ASSERT_TRUE(BuildSgIoHeader(request, header));
    EXPECT_EQ(header.dxfer_direction, SG_DXFER_NONE);
    EXPECT_EQ(header.dxferp, nullptr);
    EXPECT_EQ(header.dxfer_len, 0u);
}

TEST(SgIoHeader, ZeroLengthHasNoDataPhaseWhateverTheDirection)
{
    uint8_t data[4];
    PassThroughRequest request = Request(DataDirection::In, data, 0);
    sg_io_hdr header;
    ASSERT_TRUE(BuildSgIoHeader(request, header));
    EXPECT_EQ(header.dxfer_direction, SG_DXFER_NONE);
    EXPECT_EQ(header.dxferp, nullptr);
}

TEST(SgIoHeader, DataPhaseWithoutDataAddressIsNotSent)
{
    PassThroughRequest in = Request(DataDirection::In, nullptr, 96);
    PassThroughRequest out = Request(DataDirection::Out, nullptr, 16384);
    sg_io_hdr header;
    EXPECT_FALSE(BuildSgIoHeader(in, header));
    EXPECT_FALSE(BuildSgIoHeader(out, header));
}

TEST(SgIoHeader, UnknownDirectionIsNotSent)
{
    uint8_t data[4];
    PassThroughRequest request = Request(static_cast<DataDirection>(7), data, sizeof data);
    sg_io_hdr header;
    EXPECT_FALSE(BuildSgIoHeader(request, header));
    request.length = 0;
    EXPECT_FALSE(BuildSgIoHeader(request, header));
}

// Judgement ---------------------------------------------------------------------------------

struct Outcome {
    const char* name;
    uint16_t hostStatus;
    uint16_t driverStatus;
    uint8_t status;
    bool failed;
};

void PrintTo(const Outcome& outcome, std::ostream* stream) { *stream << outcome.name; }

class SgIoJudgement : public testing::TestWithParam<Outcome> {};

TEST_P(SgIoJudgement, FailsOnlyWhenTheTransportOrTheDriveDidNotCarryItOut)
{
    const Outcome& outcome = GetParam();
    EXPECT_EQ(TransportFailed(Result(outcome.hostStatus, outcome.driverStatus, outcome.status)), outcome.failed)
        << outcome.name;
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SgIoJudgement,
    testing::Values(Outcome{"good", kHostOk, kDriverOk, kStatusGood, false},
                    Outcome{"check condition with sense", kHostOk, kDriverSense, kStatusCheckCondition, false},
                    Outcome{"sense with retry suggestion", kHostOk, 0x18, kStatusCheckCondition, false},
                    Outcome{"check condition alone", kHostOk, kDriverOk, kStatusCheckCondition, false},
                    Outcome{"condition met", kHostOk, kDriverOk, 0x04, false},
                    Outcome{"host time-out", kHostTimeOut, kDriverOk, kStatusGood, true},
                    Outcome{"no connection", kHostNoConnect, kDriverOk, kStatusGood, true},
                    Outcome{"bus busy", kHostBusBusy, kDriverOk, kStatusGood, true},
                    Outcome{"aborted", kHostAbort, kDriverOk, kStatusGood, true},
                    Outcome{"bus reset", kHostReset, kDriverOk, kStatusGood, true},
                    Outcome{"adapter error with sense", kHostError, kDriverSense, kStatusCheckCondition, true},
                    Outcome{"driver time-out", kHostOk, kDriverTimeout, kStatusGood, true},
                    Outcome{"driver error", kHostOk, kDriverError, kStatusGood, true},
                    Outcome{"drive busy", kHostOk, kDriverOk, kStatusBusy, true},
                    Outcome{"reservation conflict", kHostOk, kDriverOk, kStatusReservationConflict, true},
                    Outcome{"task set full", kHostOk, kDriverOk, kStatusTaskSetFull, true},
                    Outcome{"ACA active", kHostOk, kDriverOk, kStatusAcaActive, true},
                    Outcome{"task aborted", kHostOk, kDriverOk, kStatusTaskAborted, true}));

// Sense data --------------------------------------------------------------------------------

using Sense = uint8_t[kSenseSize];

void FillSense(Sense& sense, std::initializer_list<uint8_t> bytes, uint8_t rest)
{
    std::memset(sense, rest, kSenseSize);
    ASSERT_LE(bytes.size(), size_t(kSenseSize));
    int index = 0;
    for (uint8_t byte : bytes) sense[index++] = byte;
}

void ExpectFixedSense(const Sense& sense, uint8_t responseCode, uint8_t key, uint8_t asc, uint8_t ascq)
{
    EXPECT_EQ(sense[0], responseCode);
    EXPECT_EQ(sense[2] & 0x0F, key);
    EXPECT_EQ(sense[12], asc);
    EXPECT_EQ(sense[13], ascq);
}

TEST(SgIoSense, FixedFormatStaysAsWrittenAndTheRestIsCleared)
{
    Sense sense;
    FillSense(sense, {0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x3A, 0x01, 0, 0, 0, 0}, 0xEE);
    NormaliseSense(sense, 18);
    ExpectFixedSense(sense, 0x70, 0x02, 0x3A, 0x01);
    EXPECT_EQ(sense[7], 0x0A);
    for (int index = 18; index < kSenseSize; ++index) EXPECT_EQ(sense[index], 0) << index;
}

TEST(SgIoSense, FixedFormatWithValidInformationKeepsIt)
{
    Sense sense;
    FillSense(sense, {0xF1, 0, 0x03, 0x00, 0x01, 0x02, 0x03, 0x0A, 0, 0, 0, 0, 0x11, 0x00}, 0);
    NormaliseSense(sense, 14);
    ExpectFixedSense(sense, 0xF1, 0x03, 0x11, 0x00);
    EXPECT_EQ(sense[6], 0x03);
}

TEST(SgIoSense, NothingWrittenLeavesNoSense)
{
    Sense sense;
    FillSense(sense, {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x24}, 0xEE);
    NormaliseSense(sense, 0);
    for (int index = 0; index < kSenseSize; ++index) EXPECT_EQ(sense[index], 0) << index;
}

TEST(SgIoSense, DescriptorFormatIsRewrittenInFixedFormat)
{
    Sense sense;
    FillSense(sense, {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0}, 0xEE);
    NormaliseSense(sense, 8);
    ExpectFixedSense(sense, 0x70, 0x05, 0x24, 0x00);
    EXPECT_EQ(sense[7], 0x0A);
    for (int index : {1, 3, 4, 5, 6, 8, 9, 10, 11, 14, 15, 16, 17, 18, 23}) EXPECT_EQ(sense[index], 0) << index;
}

TEST(SgIoSense, DeferredDescriptorFormatBecomesDeferredFixedFormat)
{
    Sense sense;
    FillSense(sense, {0x73, 0x06, 0x29, 0x00, 0, 0, 0, 0}, 0);
    NormaliseSense(sense, 8);
    ExpectFixedSense(sense, 0x71, 0x06, 0x29, 0x00);
}

TEST(SgIoSense, DescriptorSenseKeyLosesTheReservedBits)
{
    Sense sense;
    FillSense(sense, {0x72, 0xF2, 0x04, 0x01, 0, 0, 0, 0}, 0);
    NormaliseSense(sense, 8);
    ExpectFixedSense(sense, 0x70, 0x02, 0x04, 0x01);
}

TEST(SgIoSense, DescriptorsCarryInformationProgressAndUnit)
{
    Sense sense;
    // clang-format off
    FillSense(sense,
              {0x72, 0x02, 0x04, 0x07, 0, 0, 0, 16,
               0x02, 0x06, 0, 0, 0x80, 0x40, 0x00, 0,                  // sense-key specific: progress
               0x00, 0x0A, 0x80, 0, 0, 0, 0, 0},                      // information, cut short
              0);
    // clang-format on
    // The information descriptor ends past the 24 bytes of the buffer: only what fits is read.
    NormaliseSense(sense, kSenseSize);
    ExpectFixedSense(sense, 0x70, 0x02, 0x04, 0x07);
    EXPECT_EQ(sense[15], 0x80);
    EXPECT_EQ(sense[16], 0x40);
    EXPECT_EQ(sense[17], 0x00);
    EXPECT_EQ(sense[3], 0);
    EXPECT_EQ(sense[6], 0);
}

TEST(SgIoSense, InformationThatFitsFourBytesIsMarkedValid)
{
    Sense sense;
    // clang-format off
    FillSense(sense,
              {0x72, 0x03, 0x11, 0x00, 0, 0, 0, 16,
               0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78,  // information
               0x03, 0x02, 0, 0x5C},                                     // replaceable unit
              0);
    // clang-format on
    NormaliseSense(sense, kSenseSize);
    ExpectFixedSense(sense, 0xF0, 0x03, 0x11, 0x00);
    EXPECT_EQ(sense[3], 0x12);
    EXPECT_EQ(sense[4], 0x34);
    EXPECT_EQ(sense[5], 0x56);
    EXPECT_EQ(sense[6], 0x78);
    EXPECT_EQ(sense[14], 0x5C);
}

TEST(SgIoSense, InformationTooWideForFixedFormatIsLeftOut)
{
    Sense sense;
    FillSense(sense, {0x72, 0x03, 0x11, 0x00, 0, 0, 0, 12, 0x00, 0x0A, 0x80, 0, 0, 0, 0, 1, 0x12, 0x34, 0x56, 0x78}, 0);
    NormaliseSense(sense, 20);
    ExpectFixedSense(sense, 0x70, 0x03, 0x11, 0x00);
    EXPECT_EQ(sense[3], 0);
    EXPECT_EQ(sense[6], 0);
}

TEST(SgIoSense, DescriptorTooShortForItsFieldIsNotCarried)
{
    Sense sense;
    FillSense(sense, {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 8, 0x02, 0x02, 0, 0, 0x03, 0x02, 0, 0x5C}, 0);
    NormaliseSense(sense, 16);
    ExpectFixedSense(sense, 0x70, 0x05, 0x24, 0x00);
    EXPECT_EQ(sense[15], 0);
    EXPECT_EQ(sense[16], 0);
    EXPECT_EQ(sense[14], 0x5C);
}

TEST(SgIoSense, DescriptorLengthsThatOverrunTheBufferAreNotFollowed)
{
    Sense sense;
    FillSense(sense, {0x72, 0x05, 0x26, 0x00, 0, 0, 0, 0xFF, 0x02, 0xC8, 0x80, 0x00, 0x05}, 0xEE);
    NormaliseSense(sense, 255);
    ExpectFixedSense(sense, 0x70, 0x05, 0x26, 0x00);
    EXPECT_EQ(sense[15], 0);
}

TEST(SgIoSense, ShortDescriptorSenseStillGivesKeyAndCodes)
{
    Sense sense;
    FillSense(sense, {0x72, 0x02, 0x3A, 0x02}, 0xEE);
    NormaliseSense(sense, 4);
    ExpectFixedSense(sense, 0x70, 0x02, 0x3A, 0x02);
    for (int index = 14; index < kSenseSize; ++index) EXPECT_EQ(sense[index], 0) << index;
}

TEST(SgIoSense, UnknownFormatStaysAsWritten)
{
    Sense sense;
    FillSense(sense, {0x7F, 0x01, 0x05, 0x03}, 0x11);
    NormaliseSense(sense, 14);
    EXPECT_EQ(sense[0], 0x7F);
    EXPECT_EQ(sense[2], 0x05);
    EXPECT_EQ(sense[13], 0x11);
    EXPECT_EQ(sense[14], 0);
}

// Bytes moved -------------------------------------------------------------------------------

TEST(SgIoBytesMoved, LengthLessTheResidualWithinTheLength)
{
    EXPECT_EQ(BytesMoved(96, 0), 96u);
    EXPECT_EQ(BytesMoved(96, 40), 56u);
    EXPECT_EQ(BytesMoved(96, 96), 0u);
    EXPECT_EQ(BytesMoved(96, 200), 0u);
    EXPECT_EQ(BytesMoved(96, -5), 96u);
    EXPECT_EQ(BytesMoved(0, 0), 0u);
    EXPECT_EQ(BytesMoved(65536, 1), 65535u);
}

// Result ------------------------------------------------------------------------------------

TEST(SgIoResultReading, GoodCommandReportsTheBytesMoved)
{
    uint8_t data[96];
    PassThroughRequest request = Request(DataDirection::In, data, sizeof data);
    sg_io_hdr header;
    ASSERT_TRUE(BuildSgIoHeader(request, header));
    header.resid = 60;
    EXPECT_TRUE(ReadSgIoResult(header, request));
    EXPECT_EQ(request.transferred, 36u);
    EXPECT_EQ(request.sense[2], 0);
}

TEST(SgIoResultReading, CheckConditionIsCarriedOutWithSenseInFixedFormat)
{
    uint8_t data[16];
    PassThroughRequest request = Request(DataDirection::In, data, sizeof data);
    sg_io_hdr header;
    ASSERT_TRUE(BuildSgIoHeader(request, header));
    const uint8_t descriptorSense[] = {0x72, 0x05, 0x20, 0x00, 0, 0, 0, 0};
    std::memcpy(request.sense, descriptorSense, sizeof descriptorSense);
    header.status = kStatusCheckCondition;
    header.driver_status = kDriverSense;
    header.sb_len_wr = sizeof descriptorSense;
    header.resid = 16;
    EXPECT_TRUE(ReadSgIoResult(header, request));
    EXPECT_EQ(request.sense[0], 0x70);
    EXPECT_EQ(request.sense[2], 0x05);
    EXPECT_EQ(request.sense[12], 0x20);
    EXPECT_EQ(request.transferred, 0u);
}

TEST(SgIoResultReading, TransportFailureMovesNothing)
{
    uint8_t data[96];
    PassThroughRequest request = Request(DataDirection::In, data, sizeof data);
    sg_io_hdr header;
    ASSERT_TRUE(BuildSgIoHeader(request, header));
    std::memset(request.sense, 0xEE, sizeof request.sense);
    header.host_status = kHostTimeOut;
    EXPECT_FALSE(ReadSgIoResult(header, request));
    EXPECT_EQ(request.transferred, 0u);
    EXPECT_EQ(request.sense[2], 0);
}

TEST(SgIoResultReading, CommandWithoutDataMovesNothing)
{
    PassThroughRequest request = Request(DataDirection::None, nullptr, 0);
    sg_io_hdr header;
    ASSERT_TRUE(BuildSgIoHeader(request, header));
    EXPECT_TRUE(ReadSgIoResult(header, request));
    EXPECT_EQ(request.transferred, 0u);
}

// Sending -----------------------------------------------------------------------------------

TEST(SgIoSend, NodeThatIsNoScsiDeviceFailsAndLeavesNoSense)
{
    const int node = open("/dev/null", O_RDWR | O_CLOEXEC);
    ASSERT_GE(node, 0);
    uint8_t data[96];
    PassThroughRequest request = Request(DataDirection::In, data, sizeof data);
    std::memset(request.sense, 0xEE, sizeof request.sense);
    request.transferred = 1234;
    EXPECT_EQ(SendSgIo(node, request), SgIoResult::Failed);
    EXPECT_EQ(request.transferred, 0u);
    for (uint8_t byte : request.sense) EXPECT_EQ(byte, 0);
    ScsiAddress address{};
    EXPECT_FALSE(ReadIoctlAddress(node, address));
    close(node);
}

TEST(SgIoSend, ClosedNodeFails)
{
    PassThroughRequest request = Request(DataDirection::None, nullptr, 0);
    EXPECT_EQ(SendSgIo(-1, request), SgIoResult::Failed);
    ScsiAddress address{};
    EXPECT_FALSE(ReadIoctlAddress(-1, address));
}

TEST(SgIoSend, RequestThatCannotBeBuiltFailsWithoutSense)
{
    PassThroughRequest request = Request(DataDirection::Out, nullptr, 16384);
    std::memset(request.sense, 0xEE, sizeof request.sense);
    request.transferred = 99;
    EXPECT_EQ(SendSgIo(-1, request), SgIoResult::Failed);
    EXPECT_EQ(request.transferred, 0u);
    EXPECT_EQ(request.sense[0], 0);
}

// The generic driver's queue, with a bounded wait ------------------------------------------

TEST(SgIoQueue, AnswerWaitIsTheKernelLimitPlusItsOwnMargin)
{
    EXPECT_EQ(AnswerWaitMs(108000), 108000u + kKernelTimeoutMarginMs + kAnswerWaitMarginMs);
    EXPECT_EQ(AnswerWaitMs(0), kKernelTimeoutMarginMs + kAnswerWaitMarginMs);
    EXPECT_EQ(AnswerWaitMs(UINT32_MAX), kMaxKernelTimeoutMs);
}

TEST(SgIoQueue, OnlyGenericDevicesGoThroughTheQueue)
{
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    EXPECT_FALSE(IsGenericNode(null));
    EXPECT_FALSE(IsGenericNode(pair[0]));
    EXPECT_FALSE(IsGenericNode(-1));
    close(null);
    close(pair[0]);
    close(pair[1]);
}

// The other end of a socket pair plays the generic driver: it takes the request header, answers
// with a check condition and sense data written where the header points, and hands it back.
TEST(SgIoQueue, AnswerFromTheQueueIsReadLikeSgIo)
{
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    std::thread driver([end = pair[1]] {
        sg_io_hdr header;
        ASSERT_EQ(read(end, &header, sizeof header), static_cast<ssize_t>(sizeof header));
        EXPECT_EQ(header.interface_id, 'S');
        EXPECT_EQ(header.cmdp[0], 0x12);
        EXPECT_EQ(header.timeout, 108000u + kKernelTimeoutMarginMs);
        const uint8_t sense[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
        std::memcpy(header.sbp, sense, sizeof sense);
        header.sb_len_wr = sizeof sense;
        header.status = kStatusCheckCondition;
        header.driver_status = kDriverSense;
        header.resid = 96;
        ASSERT_EQ(write(end, &header, sizeof header), static_cast<ssize_t>(sizeof header));
    });
    uint8_t data[96];
    PassThroughRequest request = Request(DataDirection::In, data, sizeof data);
    EXPECT_EQ(SendQueued(pair[0], request, 5000), SgIoResult::CarriedOut);
    driver.join();
    EXPECT_EQ(request.sense[2], 0x05);
    EXPECT_EQ(request.sense[12], 0x24);
    EXPECT_EQ(request.transferred, 0u);
    close(pair[0]);
    close(pair[1]);
}

int64_t NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

TEST(SgIoQueue, UnansweredRequestFailsAfterTheWaitAndItsLateAnswerCannotArrive)
{
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    uint8_t data[96];
    PassThroughRequest request = Request(DataDirection::In, data, sizeof data);
    const int64_t start = NowMs();
    EXPECT_EQ(SendQueued(pair[0], request, 200), SgIoResult::Failed);
    const int64_t waited = NowMs() - start;
    EXPECT_GE(waited, 200);
    EXPECT_LT(waited, 2000);
    EXPECT_EQ(request.transferred, 0u);
    EXPECT_EQ(request.sense[0], 0);

    // The number now names /dev/null (a socket cannot be opened again by its path): the request
    // left behind can no longer answer into this process, and every later request fails.
    struct stat status;
    ASSERT_EQ(fstat(pair[0], &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode));
    EXPECT_EQ(status.st_rdev, makedev(1, 3));
    EXPECT_EQ(SendQueued(pair[0], request, 200), SgIoResult::Failed);
    close(pair[0]);
    close(pair[1]);
}

// Address requests --------------------------------------------------------------------------

TEST(SgIoAddress, IdLunAnswerGivesTargetLunChannelAndTheBusNumberTheHost)
{
    // id 3, lun 1, channel 2, host byte 5
    const uint32_t deviceId = 0x05020103;
    ScsiAddress address{};
    ASSERT_TRUE(DecodeIdLun(deviceId, 5, address));
    EXPECT_EQ(address.host, 5);
    EXPECT_EQ(address.path, 2);
    EXPECT_EQ(address.target, 3);
    EXPECT_EQ(address.lun, 1);
}

TEST(SgIoAddress, HostNumberComesWholeFromTheBusNumber)
{
    ScsiAddress address{};
    ASSERT_TRUE(DecodeIdLun(0x2C000000, 300, address));
    EXPECT_EQ(address.host, 300);
}

TEST(SgIoAddress, HostNumberOutsideTheAddressIsNoAddress)
{
    ScsiAddress address{1, 1, 1, 1};
    EXPECT_FALSE(DecodeIdLun(0, -1, address));
    EXPECT_FALSE(DecodeIdLun(0, 40000, address));
    EXPECT_EQ(address.host, 1);
}

}  // namespace
