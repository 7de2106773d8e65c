// The iSCSI target as an initiator meets it: login and negotiation, commands with their data in
// both directions, sense data, held responses and task management, the target's own answers,
// and malformed input, which must never crash it or make it read outside what it received.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <thread>

#include "IscsiInitiator.h"
#include "iscsi/IscsiTarget.h"
#include "scsi/CommandOutcome.h"
#include "sim/DiscImage.h"
#include "sim/DriveSetup.h"
#include "sim/VirtualDrive.h"

namespace {

using namespace iscsitest;
using platform::DataDirection;
using scsi::kStatusTaskSetFull;

constexpr uint8_t kCheckCondition = 0x02;
constexpr uint8_t kTaskAborted = 0x40;
constexpr uint8_t kStageSecurity = 0;
constexpr uint8_t kStageOperational = 1;
constexpr uint8_t kStageFull = 3;

sim::DriveConfig DriveFrom(const char* text)
{
    sim::DriveSetup setup;
    std::string reason;
    EXPECT_TRUE(sim::ParseDriveSetup(text, setup, reason)) << reason;
    return setup.drive;
}

// A connection to a target with one drive (LUN 0), driven through a DirectLink.
class IscsiConnectionTest : public ::testing::Test {
protected:
    void SetUp() override { AddDrive("rev=RN05"); }

    sim::VirtualDrive& AddDrive(const char* text)
    {
        sim::DriveSetup setup;
        std::string reason;
        EXPECT_TRUE(sim::ParseDriveSetup(text, setup, reason)) << reason;
        drives.push_back(std::make_unique<sim::VirtualDrive>(setup.drive));
        for (int i = 0; i < setup.faultCount; ++i) drives.back()->AddFault(setup.faults[i]);
        units.Add(*drives.back());
        return *drives.back();
    }

    void Open()
    {
        units.SetAnswerAttachCommands(settings.answerAttachCommands);
        connection = std::make_unique<Connection>(units, settings, 7);
        link = std::make_unique<DirectLink>(*connection);
    }

    // The security stage, then the operational stage with these keys; the last login response.
    Pdu LogIn(const std::vector<uint8_t>& operational = OperationalKeys())
    {
        Open();
        link->Send(LoginRequest(kStageSecurity, kStageOperational, true, 0x10, commandSn),
                   Text({{"InitiatorName", "iqn.2026-12.test.norvik:initiator"},
                         {"TargetName", settings.name},
                         {"SessionType", "Normal"},
                         {"AuthMethod", "None"}}));
        const Pdu security = Single();
        EXPECT_EQ(security.header.bytes[field::kLoginStatusClass], kLoginSuccess);
        link->Send(LoginRequest(kStageOperational, kStageFull, true, 0x11, commandSn), operational);
        return Single();
    }

    // Exactly one PDU from the target.
    Pdu Single()
    {
        std::vector<Pdu> pdus = link->Take();
        EXPECT_EQ(pdus.size(), 1u);
        return pdus.empty() ? Pdu{} : pdus.front();
    }

    uint32_t NextTag() { return ++taskTag; }

    // A command without data out; every PDU it brought back.
    std::vector<Pdu> Command(std::initializer_list<uint8_t> cdb, uint8_t direction, uint32_t length, uint16_t lun = 0)
    {
        link->Send(CommandRequest(cdb, direction, length, NextTag(), commandSn++, lun));
        return link->Take();
    }

    std::vector<std::unique_ptr<sim::VirtualDrive>> drives;
    LogicalUnits units;
    TargetSettings settings;
    std::unique_ptr<Connection> connection;
    std::unique_ptr<DirectLink> link;
    uint32_t commandSn = 1;
    uint32_t taskTag = 0x100;
};

// The data of Data-In PDUs joined in order of their buffer offsets.
std::vector<uint8_t> JoinDataIn(const std::vector<Pdu>& pdus)
{
    std::vector<uint8_t> data;
    for (const Pdu& pdu : pdus) {
        if (pdu.opcode() != Opcode::DataIn) continue;
        EXPECT_EQ(pdu.header.Get32(field::kBufferOffset), data.size());
        data.insert(data.end(), pdu.data.begin(), pdu.data.end());
    }
    return data;
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
    return bytes;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t offset, size_t length)
{
    return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                                bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

// ---- login ----

TEST_F(IscsiConnectionTest, NormalLoginNegotiatesTheTargetsValues)
{
    settings.firstBurstLength = 16384;
    const Pdu response = LogIn();
    EXPECT_EQ(response.opcode(), Opcode::LoginResponse);
    EXPECT_EQ(response.header.bytes[field::kLoginStatusClass], kLoginSuccess);
    EXPECT_EQ(response.header.flags(), kTransitBit | (kStageOperational << 2) | kStageFull);
    EXPECT_EQ(response.header.Get16(field::kTsih), 7u);
    EXPECT_EQ(response.taskTag(), 0x11u);
    EXPECT_EQ(ValueOf(response, "HeaderDigest"), "None");
    EXPECT_EQ(ValueOf(response, "DataDigest"), "None");
    EXPECT_EQ(ValueOf(response, "InitialR2T"), "No");
    EXPECT_EQ(ValueOf(response, "ImmediateData"), "Yes");
    EXPECT_EQ(ValueOf(response, "FirstBurstLength"), "16384");
    EXPECT_EQ(ValueOf(response, "MaxRecvDataSegmentLength"), "262144");
    EXPECT_EQ(ValueOf(response, "MaxConnections"), "1");
    EXPECT_EQ(ValueOf(response, "ErrorRecoveryLevel"), "0");
    EXPECT_EQ(ValueOf(response, "IFMarker"), "No");
    EXPECT_EQ(connection->state(), ConnectionState::FullFeature);
    EXPECT_EQ(connection->parameters().firstBurstLength, 16384u);
    // The login is immediate: the first command carries the login's CmdSN.
    EXPECT_EQ(response.header.Get32(field::kExpCommandSn), 1u);
    EXPECT_EQ(response.header.Get32(field::kMaxCommandSn), 1u + kMaxTasks - 1);
}

TEST_F(IscsiConnectionTest, FirstLoginResponseNamesThePortalGroupAndAuthentication)
{
    Open();
    link->Send(LoginRequest(kStageSecurity, kStageOperational, true, 0x10, 1),
               Text({{"InitiatorName", "iqn.x:i"}, {"TargetName", settings.name}, {"AuthMethod", "CHAP,None"}}));
    const Pdu response = Single();
    EXPECT_EQ(ValueOf(response, "TargetPortalGroupTag"), "1");
    EXPECT_EQ(ValueOf(response, "AuthMethod"), "None");
    EXPECT_EQ(response.header.flags(), kTransitBit | (kStageSecurity << 2) | kStageOperational);
    EXPECT_EQ(connection->state(), ConnectionState::Login);
}

struct LoginRefusal {
    const char* name;
    std::vector<uint8_t> keys;
    uint8_t versionMin;
    uint8_t statusDetail;
};

class IscsiLoginRefusal : public IscsiConnectionTest, public ::testing::WithParamInterface<LoginRefusal> {};

TEST_P(IscsiLoginRefusal, IsAnsweredWithItsStatusAndEndsTheConnection)
{
    Open();
    Bhs request = LoginRequest(kStageSecurity, kStageFull, true, 0x10, 1);
    request.bytes[field::kVersionActive] = GetParam().versionMin;
    link->Send(request, GetParam().keys);
    const Pdu response = Single();
    EXPECT_EQ(response.opcode(), Opcode::LoginResponse);
    EXPECT_EQ(response.header.bytes[field::kLoginStatusClass], kLoginInitiatorError);
    EXPECT_EQ(response.header.bytes[field::kLoginStatusDetail], GetParam().statusDetail);
    EXPECT_EQ(response.header.Get16(field::kTsih), 0u);
    EXPECT_TRUE(connection->finished());
}

INSTANTIATE_TEST_SUITE_P(
    Login, IscsiLoginRefusal,
    ::testing::Values(LoginRefusal{"UnknownTarget", Text({{"InitiatorName", "iqn.x:i"}, {"TargetName", "iqn.x:other"}}),
                                   0, kDetailNotFound},
                      LoginRefusal{"NoInitiatorName", Text({{"TargetName", "iqn.2026-12.test.norvik:drives"}}), 0,
                                   kDetailMissingParameter},
                      LoginRefusal{"NoTargetName", Text({{"InitiatorName", "iqn.x:i"}}), 0, kDetailMissingParameter},
                      LoginRefusal{"ChapOnly",
                                   Text({{"InitiatorName", "iqn.x:i"},
                                         {"TargetName", "iqn.2026-12.test.norvik:drives"},
                                         {"AuthMethod", "CHAP"}}),
                                   0, kDetailAuthenticationFailed},
                      LoginRefusal{"NewerProtocolOnly", Text({{"InitiatorName", "iqn.x:i"}}), 1,
                                   kDetailUnsupportedVersion},
                      LoginRefusal{"LengthOutOfRange",
                                   Text({{"InitiatorName", "iqn.x:i"},
                                         {"TargetName", "iqn.2026-12.test.norvik:drives"},
                                         {"MaxBurstLength", "12"}}),
                                   0, kDetailMisc}),
    [](const ::testing::TestParamInfo<LoginRefusal>& info) { return std::string(info.param.name); });

TEST_F(IscsiConnectionTest, DiscoverySessionListsTheTarget)
{
    Open();
    link->Send(LoginRequest(kStageSecurity, kStageFull, true, 0x10, 1),
               Text({{"InitiatorName", "iqn.x:i"}, {"SessionType", "Discovery"}, {"AuthMethod", "None"}}));
    const Pdu login = Single();
    ASSERT_EQ(login.header.bytes[field::kLoginStatusClass], kLoginSuccess);
    EXPECT_EQ(ValueOf(login, "TargetPortalGroupTag"), "(none)");
    link->Send(SimpleRequest(Opcode::TextRequest, 0x20, commandSn++), Text({{"SendTargets", "All"}}));
    const Pdu text = Single();
    EXPECT_EQ(text.opcode(), Opcode::TextResponse);
    EXPECT_EQ(ValueOf(text, "TargetName"), "iqn.2026-12.test.norvik:drives");
    EXPECT_EQ(ValueOf(text, "TargetAddress"), "127.0.0.1:3260,1");
    // A discovery session carries no SCSI commands.
    const std::vector<Pdu> refused = Command({0x00}, 0, 0);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].opcode(), Opcode::Reject);
    EXPECT_EQ(drives[0]->commandCount(), 0u);
}

TEST_F(IscsiConnectionTest, RequestBeforeTheLoginEndsTheConnection)
{
    Open();
    link->Send(CommandRequest({0x12, 0, 0, 0, 96}, kReadBit, 96, 1, 1));
    EXPECT_TRUE(link->Take().empty());
    EXPECT_TRUE(connection->finished());
    EXPECT_EQ(drives[0]->commandCount(), 0u);
}

// ---- commands and data ----

TEST_F(IscsiConnectionTest, InquiryComesBackWithStatusInTheLastDataIn)
{
    LogIn();
    const std::vector<Pdu> pdus = Command({0x12, 0, 0, 0, 96}, kReadBit, 96);
    ASSERT_EQ(pdus.size(), 1u);
    const Pdu& dataIn = pdus[0];
    EXPECT_EQ(dataIn.opcode(), Opcode::DataIn);
    EXPECT_EQ(dataIn.header.flags(), kFinalBit | kStatusBit);
    EXPECT_EQ(dataIn.header.bytes[field::kStatus], 0x00);
    EXPECT_EQ(dataIn.taskTag(), taskTag);
    ASSERT_EQ(dataIn.data.size(), 96u);
    EXPECT_EQ(dataIn.data[0], 0x05);
    EXPECT_EQ(std::string(dataIn.data.begin() + 8, dataIn.data.begin() + 36), "TALVORE DVDRW KRX-407T  RN05");
    EXPECT_EQ(dataIn.header.Get32(field::kExpCommandSn), 2u);
    EXPECT_EQ(drives[0]->trace().back(), "120000006000000000000000 in 96 good");
}

TEST_F(IscsiConnectionTest, ShortReplyReportsTheResidual)
{
    LogIn();
    const std::vector<Pdu> pdus = Command({0x12, 0, 0, 0, 36}, kReadBit, 96);
    ASSERT_EQ(pdus.size(), 1u);
    EXPECT_EQ(pdus[0].data.size(), 36u);
    EXPECT_EQ(pdus[0].header.flags(), kFinalBit | kStatusBit | kResidualUnderflowBit);
    EXPECT_EQ(pdus[0].header.Get32(field::kResidualCount), 60u);
}

TEST_F(IscsiConnectionTest, LongReadIsSplitIntoSegmentsAndBursts)
{
    const std::vector<uint8_t> image = Pattern(65536, 3);
    sim::CommandRequest fill{};
    const uint8_t writeBuffer[10] = {0x3B, 0x05, 0x01, 0, 0, 0, 0x01, 0x00, 0x00, 0x00};
    std::memcpy(fill.cdb, writeBuffer, sizeof writeBuffer);
    std::vector<uint8_t> copy = image;
    fill.direction = DataDirection::Out;
    fill.data = copy.data();
    fill.length = static_cast<uint32_t>(copy.size());
    ASSERT_FALSE(drives[0]->Execute(fill).hasSense);

    LogIn(OperationalKeys("No", "Yes", "8192", "16384"));
    const std::vector<Pdu> pdus = Command({0x3C, 0x01, 0x01, 0, 0, 0, 0x01, 0x00, 0x00}, kReadBit, 65536);
    ASSERT_EQ(pdus.size(), 8u);
    for (size_t i = 0; i < pdus.size(); ++i) {
        EXPECT_EQ(pdus[i].opcode(), Opcode::DataIn);
        EXPECT_EQ(pdus[i].data.size(), 8192u);
        EXPECT_EQ(pdus[i].header.Get32(field::kDataSn), i);
        const uint8_t expected = (i % 2 == 1 ? kFinalBit : 0) | (i == 7 ? kStatusBit : 0);
        EXPECT_EQ(pdus[i].header.flags(), expected) << "PDU " << i;
    }
    EXPECT_EQ(JoinDataIn(pdus), image);
}

TEST_F(IscsiConnectionTest, WriteWaitsForItsDataAfterReadyToTransfer)
{
    LogIn(OperationalKeys("Yes", "No"));
    EXPECT_TRUE(connection->parameters().initialR2T);
    EXPECT_FALSE(connection->parameters().immediateData);
    const std::vector<uint8_t> block = Pattern(16384, 9);
    const uint32_t tag = NextTag();
    link->Send(CommandRequest({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0x40, 0x00, 0x00}, kWriteBit, 16384, tag, commandSn++));
    const Pdu r2t = Single();
    ASSERT_EQ(r2t.opcode(), Opcode::ReadyToTransfer);
    EXPECT_EQ(r2t.taskTag(), tag);
    EXPECT_EQ(r2t.header.Get32(field::kBufferOffset), 0u);
    EXPECT_EQ(r2t.header.Get32(field::kDesiredLength), 16384u);
    EXPECT_EQ(r2t.header.Get32(field::kDataSn), 0u);  // R2TSN
    EXPECT_EQ(drives[0]->commandCount(), 0u);         // nothing goes to the drive before its data

    const uint32_t transferTag = r2t.header.Get32(field::kTransferTag);
    link->Send(DataOutRequest(tag, transferTag, 0, 0, false), Slice(block, 0, 8192));
    EXPECT_TRUE(link->Take().empty());
    link->Send(DataOutRequest(tag, transferTag, 8192, 1, true), Slice(block, 8192, 8192));
    const Pdu response = Single();
    EXPECT_EQ(response.opcode(), Opcode::ScsiResponse);
    EXPECT_EQ(response.header.bytes[field::kStatus], 0x00);
    EXPECT_EQ(response.header.flags(), kFinalBit);
    EXPECT_EQ(std::vector<uint8_t>(drives[0]->buffer(), drives[0]->buffer() + 16384), block);
    EXPECT_EQ(drives[0]->trace().back(), "3B0501000000004000000000 out 16384 good");
}

TEST_F(IscsiConnectionTest, WriteTakesImmediateAndUnsolicitedDataThenAsksForTheRest)
{
    settings.firstBurstLength = 16384;
    settings.receiveSegmentLength = 8192;
    LogIn(OperationalKeys("No", "Yes", "262144", "16384"));
    const std::vector<uint8_t> data = Pattern(40960, 1);
    const uint32_t tag = NextTag();
    link->Send(CommandRequest({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0xA0, 0x00, 0x00}, kWriteBit, 40960, tag, commandSn++, 0,
                              false),
               Slice(data, 0, 8192));
    EXPECT_TRUE(link->Take().empty());  // the rest of the first burst comes unasked
    link->Send(DataOutRequest(tag, kReservedTag, 8192, 0, true), Slice(data, 8192, 8192));
    Pdu r2t = Single();
    ASSERT_EQ(r2t.opcode(), Opcode::ReadyToTransfer);
    EXPECT_EQ(r2t.header.Get32(field::kBufferOffset), 16384u);
    EXPECT_EQ(r2t.header.Get32(field::kDesiredLength), 16384u);  // one burst
    uint32_t transferTag = r2t.header.Get32(field::kTransferTag);
    link->Send(DataOutRequest(tag, transferTag, 16384, 0, false), Slice(data, 16384, 8192));
    link->Send(DataOutRequest(tag, transferTag, 24576, 1, true), Slice(data, 24576, 8192));
    r2t = Single();
    ASSERT_EQ(r2t.opcode(), Opcode::ReadyToTransfer);
    EXPECT_EQ(r2t.header.Get32(field::kBufferOffset), 32768u);
    EXPECT_EQ(r2t.header.Get32(field::kDesiredLength), 8192u);
    EXPECT_EQ(r2t.header.Get32(field::kDataSn), 1u);
    transferTag = r2t.header.Get32(field::kTransferTag);
    link->Send(DataOutRequest(tag, transferTag, 32768, 0, true), Slice(data, 32768, 8192));
    const Pdu response = Single();
    EXPECT_EQ(response.opcode(), Opcode::ScsiResponse);
    EXPECT_EQ(response.header.bytes[field::kStatus], 0x00);
    EXPECT_EQ(std::vector<uint8_t>(drives[0]->buffer(), drives[0]->buffer() + 40960), data);
}

TEST_F(IscsiConnectionTest, CheckConditionCarriesTheSenseAfterItsLength)
{
    LogIn();
    const std::vector<Pdu> pdus = Command({0x00}, 0, 0);
    ASSERT_EQ(pdus.size(), 1u);
    const Pdu& response = pdus[0];
    EXPECT_EQ(response.opcode(), Opcode::ScsiResponse);
    EXPECT_EQ(response.header.bytes[field::kResponse], 0x00);
    EXPECT_EQ(response.header.bytes[field::kStatus], kCheckCondition);
    ASSERT_EQ(response.data.size(), 2u + sim::kSenseDataSize);
    EXPECT_EQ(GetBE16(response.data.data()), sim::kSenseDataSize);
    EXPECT_EQ(response.data[2], 0x70);
    EXPECT_EQ(response.data[2 + 2] & 0x0F, 0x02);
    EXPECT_EQ(response.data[2 + 12], 0x3A);
    EXPECT_EQ(response.data[2 + 13], 0x01);
}

TEST_F(IscsiConnectionTest, SenseCanTravelInDescriptorFormat)
{
    settings.descriptorSense = true;
    LogIn();
    const std::vector<Pdu> pdus = Command({0x00}, 0, 0);
    ASSERT_EQ(pdus.size(), 1u);
    EXPECT_EQ(pdus[0].header.bytes[field::kStatus], kCheckCondition);
    EXPECT_EQ(pdus[0].data, (std::vector<uint8_t>{0x00, 0x08, 0x72, 0x02, 0x3A, 0x01, 0, 0, 0, 0}));
}

TEST_F(IscsiConnectionTest, RequestThatFailedAsSuchIsAnAbortedTask)
{
    drives.clear();
    units = LogicalUnits();
    AddDrive("rev=RN05,fault=12#1:fail");
    LogIn();
    const std::vector<Pdu> pdus = Command({0x12, 0, 0, 0, 96}, kReadBit, 96);
    ASSERT_EQ(pdus.size(), 1u);
    EXPECT_EQ(pdus[0].opcode(), Opcode::ScsiResponse);
    EXPECT_EQ(pdus[0].header.bytes[field::kStatus], kTaskAborted);
    EXPECT_TRUE(pdus[0].data.empty());
    EXPECT_EQ(pdus[0].header.Get32(field::kResidualCount), 96u);
    EXPECT_EQ(drives[0]->trace().back(), "120000006000000000000000 in 96 failed");
}

TEST_F(IscsiConnectionTest, ReportLunsListsEveryDriveAndMissingLunsAreNotSupported)
{
    AddDrive("rev=RN05");
    LogIn();
    std::vector<Pdu> pdus = Command({0xA0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00}, kReadBit, 256, 5);
    std::vector<uint8_t> list = JoinDataIn(pdus);
    ASSERT_EQ(list.size(), 24u);
    EXPECT_EQ(GetBE32(list.data()), 16u);
    EXPECT_EQ(list[8 + 1], 0u);
    EXPECT_EQ(list[16 + 1], 1u);

    pdus = Command({0x12, 0, 0, 0, 36}, kReadBit, 36, 5);
    list = JoinDataIn(pdus);
    ASSERT_EQ(list.size(), 36u);
    EXPECT_EQ(list[0], 0x7F);
    pdus = Command({0x00}, 0, 0, 5);
    ASSERT_EQ(pdus.size(), 1u);
    EXPECT_EQ(pdus[0].data[2 + 12], 0x25);
    EXPECT_EQ(drives[0]->commandCount() + drives[1]->commandCount(), 0u);
}

// A drive that refuses READ CAPACITY (here by a fault: the drive answers it) is refused; the
// target steps in only for a drive without a medium.
TEST_F(IscsiConnectionTest, AttachCommandsAreTheDrivesOwnAnswers)
{
    sim::Fault refusal;
    std::string reason;
    ASSERT_TRUE(sim::ParseFault("25#1+:sense:5/20/00", refusal, reason) && drives[0]->AddFault(refusal)) << reason;
    LogIn();
    std::vector<uint8_t> pages = JoinDataIn(Command({0x12, 0x01, 0x00, 0, 64}, kReadBit, 64));
    EXPECT_EQ(pages, (std::vector<uint8_t>{0x05, 0x00, 0x00, 0x03, 0x00, 0x80, 0x83}));
    const std::vector<Pdu> capacity = Command({0x25}, kReadBit, 8);
    ASSERT_EQ(capacity.size(), 1u);
    EXPECT_EQ(capacity[0].data[2 + 12], 0x20);
    const std::vector<std::string>& trace = drives[0]->trace();
    ASSERT_EQ(trace.size(), 2u);
    EXPECT_EQ(trace[0], "120100004000000000000000 in 64 short 7");
    EXPECT_EQ(trace[1], "250000000000000000000000 in 8 sense 5/20/00");
    EXPECT_EQ(units.attachAnswers(), 0u);
    // A page the drive does not have is the drive's refusal.
    const std::vector<Pdu> other = Command({0x12, 0x01, 0xB0, 0, 64}, kReadBit, 64);
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].header.bytes[field::kStatus], kCheckCondition);
}

// An empty drive reports no medium for READ CAPACITY, and QEMU's iSCSI driver attaches no LUN
// without a capacity: the connection's first capacity read alone is answered in the drive's place.
TEST_F(IscsiConnectionTest, OnlyTheFirstCapacityReadOfAConnectionIsAnsweredForAnEmptyDrive)
{
    for (int connectionCount = 0; connectionCount < 2; ++connectionCount) {
        LogIn();
        EXPECT_EQ(JoinDataIn(Command({0x25}, kReadBit, 8)), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0x08, 0x00}));
        const std::vector<Pdu> later = Command({0x25}, kReadBit, 8);
        ASSERT_EQ(later.size(), 1u);
        EXPECT_EQ(later[0].header.bytes[field::kStatus], kCheckCondition);
        EXPECT_EQ(later[0].data[2 + 12], 0x3A);
    }
    EXPECT_EQ(units.attachAnswers(), 2u);
    EXPECT_EQ(drives[0]->trace(), std::vector<std::string>(4, "250000000000000000000000 in 8 sense 2/3A/01"));
}

TEST_F(IscsiConnectionTest, CapacityOfADiscIsTheDrivesOwnAnswer)
{
    drives.clear();
    units = LogicalUnits();
    AddDrive("rev=RN05,disc=1");
    LogIn();
    const std::vector<uint8_t> capacity = JoinDataIn(Command({0x25}, kReadBit, 8));
    ASSERT_EQ(capacity.size(), 8u);
    EXPECT_EQ(GetBE32(capacity.data()) + 1, sim::kDiscBlocks);
    EXPECT_EQ(GetBE32(capacity.data() + 4), 2048u);
    EXPECT_EQ(units.attachAnswers(), 0u);
    EXPECT_EQ(drives[0]->trace(), std::vector<std::string>{"250000000000000000000000 in 8 good"});
}

TEST_F(IscsiConnectionTest, WithoutAttachAnswersAnEmptyDrivesCapacityReadGoesThrough)
{
    settings.answerAttachCommands = false;
    LogIn();
    const std::vector<Pdu> pdus = Command({0x25}, kReadBit, 8);
    ASSERT_EQ(pdus.size(), 1u);
    EXPECT_EQ(pdus[0].header.bytes[field::kStatus], kCheckCondition);
    EXPECT_EQ(pdus[0].data[2 + 12], 0x3A);
}

TEST_F(IscsiConnectionTest, CommandsReachTheDriveInTheirOrderWhileAWriteCollectsData)
{
    LogIn(OperationalKeys("Yes", "No"));
    const uint32_t writeTag = NextTag();
    link->Send(CommandRequest({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0x00, 0x10, 0x00}, kWriteBit, 16, writeTag, commandSn++));
    const Pdu r2t = Single();
    link->Send(CommandRequest({0x12, 0, 0, 0, 96}, kReadBit, 96, NextTag(), commandSn++));
    EXPECT_TRUE(link->Take().empty());           // the inquiry waits behind the write
    EXPECT_LT(connection->NextWakeTime(), 0.0);  // for the initiator's data, not for a time
    link->Send(DataOutRequest(writeTag, r2t.header.Get32(field::kTransferTag), 0, 0, true), Pattern(16, 0));
    const std::vector<Pdu> pdus = link->Take();
    ASSERT_EQ(pdus.size(), 2u);
    EXPECT_EQ(pdus[0].taskTag(), writeTag);
    ASSERT_EQ(drives[0]->trace().size(), 2u);
    EXPECT_EQ(drives[0]->trace()[0].substr(0, 6), "3B0501");
    EXPECT_EQ(drives[0]->trace()[1].substr(0, 2), "12");
}

TEST_F(IscsiConnectionTest, ObserverHearsOfEveryCommandADriveReceivedWithItsTime)
{
    std::vector<std::pair<uint8_t, double>> seen;
    units.SetObserver([&](uint16_t lun, const UnitCommand& command, double now) {
        EXPECT_EQ(lun, 0u);
        EXPECT_DOUBLE_EQ(command.arrivedAt, now);  // nothing waited
        seen.emplace_back(command.cdb[0], now);
    });
    LogIn();
    Command({0x00}, 0, 0);
    link->Advance(2.5);
    Command({0xA0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00}, kReadBit, 256);  // the target's own answer
    Command({0x12, 0, 0, 0, 96}, kReadBit, 96);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, 0x00);
    EXPECT_EQ(seen[1].first, 0x12);
    EXPECT_DOUBLE_EQ(seen[1].second - seen[0].second, 2.5);
}

TEST_F(IscsiConnectionTest, FullTaskTableAnswersTaskSetFull)
{
    drives.clear();
    units = LogicalUnits();
    AddDrive("rev=RN05,fault=00#1+:slow:10");
    LogIn();
    // An immediate command takes a slot outside the sequence; the window announced at the
    // login stays, so the last command of it finds the table full.
    Bhs immediate = CommandRequest({0x00}, 0, 0, NextTag(), commandSn);
    immediate.bytes[0] |= kImmediateBit;
    link->Send(immediate);
    for (int i = 1; i < kMaxTasks; ++i) EXPECT_TRUE(Command({0x00}, 0, 0).empty());
    const std::vector<Pdu> pdus = Command({0x00}, 0, 0);
    ASSERT_EQ(pdus.size(), 1u);
    EXPECT_EQ(pdus[0].header.bytes[field::kStatus], kStatusTaskSetFull);
    EXPECT_EQ(pdus[0].header.Get32(field::kMaxCommandSn), commandSn - 1);
}

// ---- time, task management, NOP, logout ----

TEST_F(IscsiConnectionTest, ModelledDurationHoldsTheResponseAndTheUnit)
{
    drives.clear();
    units = LogicalUnits();
    AddDrive("rev=RN05,fault=00#1:slow:30");
    LogIn();
    EXPECT_TRUE(Command({0x00}, 0, 0).empty());
    EXPECT_DOUBLE_EQ(connection->NextWakeTime(), link->now + 30.0);
    EXPECT_TRUE(Command({0x12, 0, 0, 0, 96}, kReadBit, 96).empty());  // the drive is busy
    EXPECT_EQ(drives[0]->commandCount(), 1u);
    link->Advance(29.0);
    EXPECT_TRUE(link->Take().empty());
    link->Advance(1.0);
    const std::vector<Pdu> pdus = link->Take();
    ASSERT_EQ(pdus.size(), 2u);
    EXPECT_EQ(pdus[0].opcode(), Opcode::ScsiResponse);
    EXPECT_EQ(pdus[1].opcode(), Opcode::DataIn);
}

TEST_F(IscsiConnectionTest, CommandWaitingForABusyUnitKeepsItsArrivalTime)
{
    drives.clear();
    units = LogicalUnits();
    AddDrive("rev=RN05,fault=00#1:slow:30");
    std::vector<std::pair<double, double>> seen;
    units.SetObserver(
        [&](uint16_t, const UnitCommand& command, double now) { seen.emplace_back(command.arrivedAt, now); });
    LogIn();
    const double start = link->now;
    Command({0x00}, 0, 0);
    link->Advance(5.0);
    Command({0x12, 0, 0, 0, 96}, kReadBit, 96);
    link->Advance(25.0);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_DOUBLE_EQ(seen[1].first, start + 5.0);
    EXPECT_DOUBLE_EQ(seen[1].second, start + 30.0);
}

TEST_F(IscsiConnectionTest, AbortTaskDropsTheHeldResponseAndFreesTheUnit)
{
    drives.clear();
    units = LogicalUnits();
    AddDrive("rev=RN05,fault=00#1:slow:130");
    LogIn();
    EXPECT_TRUE(Command({0x00}, 0, 0).empty());
    const uint32_t heldTag = taskTag;
    link->Advance(118.0);
    link->Send(TaskRequest(TaskFunction::AbortTask, 0x900, heldTag, commandSn));
    const Pdu response = Single();
    EXPECT_EQ(response.opcode(), Opcode::TaskResponse);
    EXPECT_EQ(response.header.bytes[field::kResponse], kTaskFunctionComplete);
    EXPECT_EQ(response.taskTag(), 0x900u);
    EXPECT_EQ(connection->events().abortedTasks, 1u);
    EXPECT_EQ(connection->events().lastAbortedOpcode, 0x00);
    // The next command runs at once, and the aborted one never answers.
    const std::vector<Pdu> next = Command({0x12, 0, 0, 0, 96}, kReadBit, 96);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].opcode(), Opcode::DataIn);
    link->Advance(60.0);
    EXPECT_TRUE(link->Take().empty());
    EXPECT_LT(connection->NextWakeTime(), 0.0);
}

TEST_F(IscsiConnectionTest, AbortOfAnUnknownTaskSaysSo)
{
    LogIn();
    link->Send(TaskRequest(TaskFunction::AbortTask, 0x900, 0x4242, commandSn));
    EXPECT_EQ(Single().header.bytes[field::kResponse], kTaskDoesNotExist);
}

TEST_F(IscsiConnectionTest, LogicalUnitResetResetsTheDrive)
{
    LogIn();
    link->Send(TaskRequest(TaskFunction::LogicalUnitReset, 0x901, kReservedTag, commandSn));
    EXPECT_EQ(Single().header.bytes[field::kResponse], kTaskFunctionComplete);
    const std::vector<Pdu> pdus = Command({0x00}, 0, 0);
    ASSERT_EQ(pdus.size(), 1u);
    EXPECT_EQ(pdus[0].data[2 + 2] & 0x0F, 0x06);
    EXPECT_EQ(pdus[0].data[2 + 12], 0x29);
    link->Send(TaskRequest(TaskFunction::LogicalUnitReset, 0x902, kReservedTag, commandSn, 9));
    EXPECT_EQ(Single().header.bytes[field::kResponse], kTaskLunDoesNotExist);
}

TEST_F(IscsiConnectionTest, NopOutIsEchoedUnlessItWantsNoAnswer)
{
    LogIn();
    link->Send(SimpleRequest(Opcode::NopOut, 0x77, commandSn++), {1, 2, 3, 4, 5});
    const Pdu nopIn = Single();
    EXPECT_EQ(nopIn.opcode(), Opcode::NopIn);
    EXPECT_EQ(nopIn.taskTag(), 0x77u);
    EXPECT_EQ(nopIn.header.Get32(field::kTransferTag), kReservedTag);
    EXPECT_EQ(nopIn.data, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(nopIn.header.Get32(field::kExpCommandSn), commandSn);
    link->Send(SimpleRequest(Opcode::NopOut, kReservedTag, commandSn, true));
    EXPECT_TRUE(link->Take().empty());
}

TEST_F(IscsiConnectionTest, LogoutAnswersAndEndsTheConnection)
{
    LogIn();
    link->Send(SimpleRequest(Opcode::LogoutRequest, 0x55, commandSn++));
    const Pdu response = Single();
    EXPECT_EQ(response.opcode(), Opcode::LogoutResponse);
    EXPECT_EQ(response.header.bytes[field::kResponse], 0x00);
    EXPECT_TRUE(connection->events().loggedOut);
    EXPECT_TRUE(connection->finished());
}

TEST_F(IscsiConnectionTest, StatusSequenceNumbersCountEveryStatus)
{
    const Pdu login = LogIn();
    const uint32_t first = login.header.Get32(field::kStatSn) + 1;
    const std::vector<Pdu> a = Command({0x00}, 0, 0);
    const std::vector<Pdu> b = Command({0x12, 0, 0, 0, 96}, kReadBit, 96);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(a[0].header.Get32(field::kStatSn), first);
    EXPECT_EQ(b[0].header.Get32(field::kStatSn), first + 1);
}

// ---- the command window ----

// A SCSI command as the initiator numbers it: CmdSN relative to the login's, and whether it is
// for immediate delivery.
struct Numbered {
    uint32_t offset;
    bool immediate = false;
};

struct WindowCase {
    const char* name;
    uint32_t loginCommandSn;
    std::vector<Numbered> sent;
    std::vector<int> answered;   // indices into sent, in the order the answers came
    uint32_t expCommandSnAfter;  // relative to the login's
    uint32_t ignored;
};

class IscsiCommandWindow : public IscsiConnectionTest, public ::testing::WithParamInterface<WindowCase> {};

// Every command is a TEST UNIT READY (answered at once); what matters is which are answered, in
// which order, and that the connection stays up.
TEST_P(IscsiCommandWindow, AnswersTheCommandsOfTheWindowAndIgnoresTheRest)
{
    const WindowCase& row = GetParam();
    commandSn = row.loginCommandSn;
    LogIn();
    std::vector<uint32_t> answeredTags;
    uint32_t lastExpCommandSn = 0;
    for (const Numbered& numbered : row.sent) {
        Bhs request = CommandRequest({0x00}, 0, 0, NextTag(), row.loginCommandSn + numbered.offset);
        if (numbered.immediate) request.bytes[0] |= kImmediateBit;
        link->Send(request);
        for (const Pdu& pdu : link->Take()) {
            EXPECT_EQ(pdu.opcode(), Opcode::ScsiResponse);
            answeredTags.push_back(pdu.taskTag());
            lastExpCommandSn = pdu.header.Get32(field::kExpCommandSn);
        }
    }
    std::vector<uint32_t> expectedTags;
    for (int index : row.answered) expectedTags.push_back(0x101u + static_cast<uint32_t>(index));
    EXPECT_EQ(answeredTags, expectedTags);
    EXPECT_EQ(lastExpCommandSn, row.loginCommandSn + row.expCommandSnAfter);
    EXPECT_EQ(connection->events().ignoredCommands, row.ignored);
    EXPECT_EQ(connection->state(), ConnectionState::FullFeature);
    EXPECT_EQ(drives[0]->commandCount(), row.answered.size());
}

INSTANTIATE_TEST_SUITE_P(
    Sequence, IscsiCommandWindow,
    ::testing::Values(WindowCase{"InOrder", 1, {{0}, {1}, {2}}, {0, 1, 2}, 3, 0},
                      WindowCase{"BeyondMaxCmdSnIsIgnored", 1, {{kMaxTasks}, {0}}, {1}, 1, 1},
                      WindowCase{"LastOfTheWindowIsTaken", 1, {{kMaxTasks - 1}, {0}}, {1}, 1, 0},
                      WindowCase{"DuplicateIsIgnored", 1, {{0}, {0}, {1}}, {0, 2}, 2, 1},
                      WindowCase{"AfterAGapWaitsForTheMissingOne", 1, {{1}, {2}, {0}}, {0, 1, 2}, 3, 0},
                      WindowCase{"NumbersWrapAround", 0xFFFFFFFE, {{0}, {1}, {2}, {3}}, {0, 1, 2, 3}, 4, 0},
                      WindowCase{"BeyondTheWindowAcrossTheWrap", 0xFFFFFFF8, {{kMaxTasks}, {0}}, {1}, 1, 1},
                      WindowCase{"ImmediateStandsOutsideTheWindow", 1, {{40, true}, {0}}, {0, 1}, 1, 0}),
    [](const ::testing::TestParamInfo<WindowCase>& info) { return std::string(info.param.name); });

TEST_F(IscsiConnectionTest, AbortOfACommandNeverReceivedLetsTheCommandsAfterItRun)
{
    LogIn();
    const uint32_t waiting = NextTag();
    link->Send(CommandRequest({0x00}, 0, 0, waiting, commandSn + 1));  // the one before it is lost
    EXPECT_TRUE(link->Take().empty());
    EXPECT_LT(connection->NextWakeTime(), 0.0);
    Bhs abort = TaskRequest(TaskFunction::AbortTask, 0x900, 0x4242, commandSn + 2);
    abort.Set32(field::kRefCommandSn, commandSn);
    link->Send(abort);
    const std::vector<Pdu> pdus = link->Take();
    ASSERT_EQ(pdus.size(), 2u);
    EXPECT_EQ(pdus[0].opcode(), Opcode::TaskResponse);
    EXPECT_EQ(pdus[0].header.bytes[field::kResponse], kTaskFunctionComplete);
    EXPECT_EQ(pdus[1].taskTag(), waiting);
    EXPECT_EQ(pdus[1].header.Get32(field::kExpCommandSn), commandSn + 2);
}

// ---- residual overflow and underflow ----

struct ResidualCase {
    const char* name;
    const char* faults;  // added to the drive's text
    const char* cdb;     // hex
    uint8_t direction;
    uint32_t expected;  // the initiator's expected data transfer length
    uint32_t moved;
    uint8_t residualBits;
    uint32_t residual;
};

constexpr uint8_t kOver = kResidualOverflowBit;
constexpr uint8_t kUnder = kResidualUnderflowBit;

class IscsiResidual : public IscsiConnectionTest, public ::testing::WithParamInterface<ResidualCase> {};

// The status comes in the last Data-In, or in a SCSI Response after the data (a check
// condition, a write through R2T); its flags and count weigh the expected length against the data.
TEST_P(IscsiResidual, StatusWeighsTheExpectedLengthAgainstTheData)
{
    const ResidualCase& row = GetParam();
    drives.clear();
    units = LogicalUnits();
    AddDrive((std::string("rev=RN05") + row.faults).c_str());
    LogIn(OperationalKeys("Yes", "No", "8192", "16384"));  // data out only through R2T
    const uint32_t tag = NextTag();
    Bhs request = CommandRequest({}, row.direction, row.expected, tag, commandSn++);
    for (size_t i = 0; row.cdb[2 * i] != '\0'; ++i) {
        request.bytes[field::kCdb + i] = uint8_t(std::stoi(std::string(row.cdb + 2 * i, 2), nullptr, 16));
    }
    link->Send(request);
    std::vector<Pdu> pdus = link->Take();
    if (row.direction == kWriteBit) {
        ASSERT_EQ(pdus.size(), 1u);
        link->Send(DataOutRequest(tag, pdus[0].header.Get32(field::kTransferTag), 0, 0, true),
                   Pattern(row.expected, 5));
        pdus = link->Take();
    }
    ASSERT_FALSE(pdus.empty());
    EXPECT_EQ(pdus.back().header.flags() & (kOver | kUnder), row.residualBits);
    EXPECT_EQ(pdus.back().header.Get32(field::kResidualCount), row.residual);
    EXPECT_EQ(JoinDataIn(pdus).size(), row.direction == kReadBit ? row.moved : 0u);
    for (size_t i = 0; i + 1 < pdus.size(); ++i) EXPECT_EQ(pdus[i].header.flags() & (kOver | kUnder), 0) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Status, IscsiResidual,
    ::testing::Values(
        ResidualCase{"InquiryAsksMoreThanExpected", "", "1200000060", kReadBit, 36, 36, kOver, 60},
        ResidualCase{"LongReadAsksMoreThanExpected", "", "3C0101000000010000", kReadBit, 32768, 32768, kOver, 32768},
        ResidualCase{"DriveStopsShort", ",fault=12#1:short:10", "1200000060", kReadBit, 36, 10, kUnder, 26},
        ResidualCase{"ReadOfTheDiscAsksMoreThanExpected", ",disc=1", "28000000000000000200", kReadBit, 2048, 2048,
                     kOver, 2048},
        ResidualCase{"RefusedReadMovesNothing", "", "F10000000000000040", kReadBit, 64, 0, kUnder, 64},
        ResidualCase{"DriveTakesPartOfTheWrite", ",fault=3B#1:short:4096", "3B0501000000004000", kWriteBit, 16384, 4096,
                     kUnder, 12288}),
    [](const ::testing::TestParamInfo<ResidualCase>& info) { return std::string(info.param.name); });

// ---- malformed input ----

TEST_F(IscsiConnectionTest, PduArrivingByteByByteIsReadWhole)
{
    LogIn();
    const std::vector<uint8_t> bytes = Serialise(CommandRequest({0x12, 0, 0, 0, 96}, kReadBit, 96, 9, commandSn++), {});
    for (uint8_t byte : bytes) {
        EXPECT_TRUE(link->Take().empty());
        link->SendBytes({byte});
    }
    EXPECT_EQ(link->Take().size(), 1u);
}

TEST_F(IscsiConnectionTest, OversizedDataSegmentIsRejectedAndEndsTheConnection)
{
    LogIn();
    Bhs header = CommandRequest({0x3B, 0x05, 0x01}, kWriteBit, 1048576, 9, commandSn++);
    header.SetDataLength(kMaxDataSegmentLength);
    link->SendBytes(std::vector<uint8_t>(header.bytes, header.bytes + kBhsSize));
    const Pdu reject = Single();
    EXPECT_EQ(reject.opcode(), Opcode::Reject);
    EXPECT_EQ(reject.data.size(), kBhsSize);
    EXPECT_TRUE(connection->finished());
    EXPECT_EQ(drives[0]->commandCount(), 0u);
}

TEST_F(IscsiConnectionTest, DataOutOfOrderEndsTheConnection)
{
    LogIn(OperationalKeys("Yes", "No"));
    const uint32_t tag = NextTag();
    link->Send(CommandRequest({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0x20, 0x00}, kWriteBit, 8192, tag, commandSn++));
    const Pdu r2t = Single();
    link->Send(DataOutRequest(tag, r2t.header.Get32(field::kTransferTag), 4096, 0, true), Pattern(4096, 0));
    EXPECT_EQ(Single().opcode(), Opcode::Reject);
    EXPECT_TRUE(connection->finished());
    EXPECT_EQ(drives[0]->commandCount(), 0u);
}

TEST_F(IscsiConnectionTest, DataBeyondTheTransferEndsTheConnection)
{
    LogIn(OperationalKeys("Yes", "No"));
    const uint32_t tag = NextTag();
    link->Send(CommandRequest({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0x00, 0x10}, kWriteBit, 16, tag, commandSn++));
    const Pdu r2t = Single();
    link->Send(DataOutRequest(tag, r2t.header.Get32(field::kTransferTag), 0, 0, true), Pattern(64, 0));
    EXPECT_EQ(Single().opcode(), Opcode::Reject);
    EXPECT_TRUE(connection->finished());
}

TEST_F(IscsiConnectionTest, UnsolicitedDataThatWereNotNegotiatedEndTheConnection)
{
    LogIn(OperationalKeys("Yes", "No"));
    link->Send(CommandRequest({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0x00, 0x10}, kWriteBit, 16, NextTag(), commandSn++),
               Pattern(16, 0));
    EXPECT_TRUE(connection->finished());
    EXPECT_STREQ(connection->events().closeReason, "immediate data that were not negotiated");
}

TEST_F(IscsiConnectionTest, DataForAnUnknownTaskAreDropped)
{
    LogIn();
    link->Send(DataOutRequest(0x4444, 0x10, 0, 0, true), Pattern(512, 0));
    EXPECT_TRUE(link->Take().empty());
    EXPECT_EQ(connection->state(), ConnectionState::FullFeature);
    EXPECT_EQ(Command({0x00}, 0, 0).size(), 1u);
}

TEST_F(IscsiConnectionTest, UnknownOpcodeIsRejectedAndTheSessionGoesOn)
{
    LogIn();
    Bhs header;
    header.Start(static_cast<Opcode>(0x1C), kFinalBit);
    link->Send(header);
    const Pdu reject = Single();
    EXPECT_EQ(reject.opcode(), Opcode::Reject);
    EXPECT_EQ(reject.header.bytes[field::kResponse], kRejectCommandNotSupported);
    EXPECT_EQ(connection->state(), ConnectionState::FullFeature);
}

TEST_F(IscsiConnectionTest, MalformedLoginTextFailsTheLogin)
{
    Open();
    std::vector<uint8_t> text = Text({{"InitiatorName", "iqn.x:i"}});
    text.pop_back();  // no terminating zero
    text.insert(text.end(), {'N', 'o', 'E', 'q', 'u', 'a', 'l', 's'});
    link->Send(LoginRequest(kStageSecurity, kStageFull, true, 1, 1), text);
    EXPECT_EQ(Single().header.bytes[field::kLoginStatusClass], kLoginInitiatorError);
    EXPECT_TRUE(connection->finished());
}

TEST_F(IscsiConnectionTest, BidirectionalAndOversizedTransfersAreRefused)
{
    LogIn();
    std::vector<Pdu> pdus = Command({0x3C}, kReadBit | kWriteBit, 16);
    ASSERT_EQ(pdus.size(), 1u);
    EXPECT_EQ(pdus[0].header.bytes[field::kStatus], kCheckCondition);
    pdus = Command({0x3C}, kReadBit, kMaxTransferLength + 1);
    ASSERT_EQ(pdus.size(), 1u);
    EXPECT_EQ(pdus[0].data[2 + 12], 0x24);
    EXPECT_EQ(drives[0]->commandCount(), 0u);
}

TEST_F(IscsiConnectionTest, TaskTagInUseEndsTheConnection)
{
    drives.clear();
    units = LogicalUnits();
    AddDrive("rev=RN05,fault=00#1:slow:5");
    LogIn();
    link->Send(CommandRequest({0x00}, 0, 0, 0x33, commandSn++));
    link->Send(CommandRequest({0x00}, 0, 0, 0x33, commandSn++));
    EXPECT_TRUE(connection->finished());
}

bool IsTargetOpcode(Opcode opcode)
{
    switch (opcode) {
    case Opcode::NopIn:
    case Opcode::ScsiResponse:
    case Opcode::TaskResponse:
    case Opcode::LoginResponse:
    case Opcode::TextResponse:
    case Opcode::DataIn:
    case Opcode::LogoutResponse:
    case Opcode::ReadyToTransfer:
    case Opcode::Reject: return true;
    default: return false;
    }
}

// Random bytes, and valid sessions with random bytes mixed in, against fresh connections: the
// target answers only with PDUs of its own kinds and sizes, and the address sanitizer watches
// every read.
TEST_F(IscsiConnectionTest, RandomInputNeverBreaksTheTarget)
{
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> byte(0, 255);
    const Opcode opcodes[] = {Opcode::NopOut,      Opcode::ScsiCommand, Opcode::TaskRequest,   Opcode::LoginRequest,
                              Opcode::TextRequest, Opcode::DataOut,     Opcode::LogoutRequest, Opcode::Snack};
    int answers = 0;
    for (int round = 0; round < 400; ++round) {
        if (round % 2 == 0)
            LogIn(OperationalKeys(round % 4 == 0 ? "Yes" : "No", "Yes", "8192", "16384"));
        else
            Open();
        for (int pdu = 0; pdu < 12; ++pdu) {
            Bhs header;
            for (uint8_t& value : header.bytes) value = static_cast<uint8_t>(byte(random));
            header.bytes[0] = static_cast<uint8_t>(opcodes[byte(random) % 8]) | (header.bytes[0] & kImmediateBit);
            header.bytes[field::kTotalAhsLength] %= 3;
            if (byte(random) % 2 == 0) header.Set32(field::kCommandSn, commandSn);
            // Two draws in a fixed order, so that every build sees the same sequence.
            const int dataUnit = byte(random);
            const int dataUnits = byte(random) % 4;
            std::vector<uint8_t> data(static_cast<size_t>(dataUnit * dataUnits));
            for (uint8_t& value : data) value = static_cast<uint8_t>(byte(random));
            std::vector<uint8_t> bytes = Serialise(header, data);
            bytes.resize(bytes.size() + header.ahsLength());
            if (byte(random) % 6 == 0) {
                for (int i = 0; i < 3; ++i) bytes[field::kDataSegmentLength + i] = static_cast<uint8_t>(byte(random));
            }
            if (byte(random) % 5 == 0) bytes.resize(bytes.size() / 2);  // cut short
            link->SendBytes(bytes);
            link->Advance(byte(random) / 10.0);
        }
        const uint32_t sendLimit = std::max(kDefaultDataSegmentLength, connection->parameters().sendSegmentLength);
        for (const Pdu& answer : link->Take()) {
            EXPECT_TRUE(IsTargetOpcode(answer.opcode())) << int(answer.opcode());
            EXPECT_LE(answer.data.size(), sendLimit);
            ++answers;
        }
    }
    EXPECT_GT(answers, 200) << "the target went on answering the sessions it could";
    EXPECT_EQ(drives[0]->revision(), std::string("RN05"));
}

// ---- the target on sockets ----

TEST(IscsiTargetSocket, ServesALoginACommandAndALogoutOnLoopback)
{
    sim::VirtualDrive drive(DriveFrom("rev=RN05"));
    IscsiTarget target;
    ASSERT_TRUE(target.AddLun(drive));
    std::string error;
    ASSERT_TRUE(target.Listen(0, error)) << error;
    ASSERT_NE(target.port(), 0u);
    std::vector<std::string> events;
    target.SetEventSink([&](std::string_view text) { events.emplace_back(text); });
    std::thread server([&] { target.Run(); });

    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(target.port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    SocketLink link(socket);
    ASSERT_TRUE(link.Send(LoginRequest(kStageSecurity, kStageFull, true, 1, 1),
                          Text({{"InitiatorName", "iqn.x:i"},
                                {"TargetName", "iqn.2026-12.test.norvik:drives"},
                                {"AuthMethod", "None"}})));
    Pdu pdu;
    ASSERT_TRUE(link.Receive(pdu));
    EXPECT_EQ(pdu.header.bytes[field::kLoginStatusClass], kLoginSuccess);
    ASSERT_TRUE(link.Send(CommandRequest({0x12, 0, 0, 0, 96}, kReadBit, 96, 2, 1)));
    ASSERT_TRUE(link.Receive(pdu));
    EXPECT_EQ(pdu.opcode(), Opcode::DataIn);
    EXPECT_EQ(pdu.data.size(), 96u);
    ASSERT_TRUE(link.Send(SimpleRequest(Opcode::LogoutRequest, 3, 2)));
    ASSERT_TRUE(link.Receive(pdu));
    EXPECT_EQ(pdu.opcode(), Opcode::LogoutResponse);
    EXPECT_TRUE(link.Closed());

    target.Stop();
    server.join();
    EXPECT_EQ(target.totals().logins, 1u);
    EXPECT_EQ(target.totals().commands, 1u);
    EXPECT_EQ(drive.trace().size(), 1u);
    EXPECT_EQ(events, (std::vector<std::string>{"connection", "login: normal session",
                                                "logout: close the session, answered closed successfully",
                                                "connection closed after logout"}));
}

TEST(IscsiTargetSocket, AdoptedSocketIsServedAndClosedOnAProtocolError)
{
    sim::VirtualDrive drive(DriveFrom("rev=RN05"));
    IscsiTarget target;
    target.AddLun(drive);
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ASSERT_TRUE(target.Adopt(pair[0]));
    std::vector<std::string> events;
    target.SetEventSink([&](std::string_view text) { events.emplace_back(text); });
    std::thread server([&] { target.Run(); });
    SocketLink link(pair[1]);
    ASSERT_TRUE(link.Send(CommandRequest({0x00}, 0, 0, 1, 1)));  // before any login
    EXPECT_TRUE(link.Closed());
    target.Stop();
    server.join();
    EXPECT_EQ(target.totals().protocolErrors, 1u);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "connection closed: a request other than login before the login");
}

}  // namespace
