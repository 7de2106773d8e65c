// Faults injected into the virtual drive, by opcode and occurrence or by position in the
// command sequence.

#include <gtest/gtest.h>

#include "DriveHost.h"
#include "sim/VirtualDrive.h"

namespace {

using namespace simtest;
using sim::Fault;
using sim::FaultKind;
using sim::FaultTrigger;
using sim::VirtualDrive;

sim::DriveConfig ReadyDrive()
{
    sim::DriveConfig config;
    config.discPresent = true;
    return config;
}

Fault OnOpcode(uint8_t opcode, uint32_t number, FaultKind kind)
{
    Fault fault;
    fault.trigger = FaultTrigger::Opcode;
    fault.opcode = opcode;
    fault.number = number;
    fault.kind = kind;
    return fault;
}

Fault AtPosition(uint32_t number, FaultKind kind)
{
    Fault fault;
    fault.trigger = FaultTrigger::Sequence;
    fault.number = number;
    fault.kind = kind;
    return fault;
}

TEST(VirtualDriveFault, SenseOnTheNthCommandOfAnOpcode)
{
    VirtualDrive drive(ReadyDrive());
    Fault fault = OnOpcode(0x00, 2, FaultKind::Sense);
    fault.senseKey = 0x3;
    fault.asc = 0x11;
    fault.ascq = 0x05;
    ASSERT_TRUE(drive.AddFault(fault));
    uint8_t data[96] = {};
    Send(drive, Block({0x12, 0, 0, 0, 96}), DataDirection::In, data, 96);  // another opcode
    EXPECT_EQ(TestUnitReady(drive), "good");
    EXPECT_EQ(TestUnitReady(drive), "sense 3/11/05");
    EXPECT_EQ(TestUnitReady(drive), "good");
}

TEST(VirtualDriveFault, SenseAtAPositionInTheSequence)
{
    VirtualDrive drive(ReadyDrive());
    Fault fault = AtPosition(3, FaultKind::Sense);
    fault.senseKey = 0x4;
    fault.asc = 0x44;
    fault.ascq = 0x00;
    drive.AddFault(fault);
    EXPECT_EQ(TestUnitReady(drive), "good");
    EXPECT_EQ(TestUnitReady(drive), "good");
    EXPECT_EQ(TestUnitReady(drive), "sense 4/44/00");
    EXPECT_EQ(TestUnitReady(drive), "good");
}

TEST(VirtualDriveFault, CommandEndingInSenseHasNoEffect)
{
    VirtualDrive drive(ReadyDrive());
    Fault fault = OnOpcode(0x1B, 1, FaultKind::Sense);
    fault.senseKey = 0x2;
    fault.asc = 0x04;
    fault.ascq = 0x01;
    drive.AddFault(fault);
    EXPECT_EQ(Outcome(Send(drive, Block({0x1B, 0, 0, 0, 0x02}))), "sense 2/04/01");
    EXPECT_FALSE(drive.trayOpen());
}

TEST(VirtualDriveFault, RequestThatFailsAsSuchReachesNothing)
{
    VirtualDrive drive(ReadyDrive());
    drive.AddFault(OnOpcode(0x3B, 1, FaultKind::RequestFails));
    const auto reply = SendOut(drive, WriteBufferCdb(0, 16, 0x00), std::vector<uint8_t>(16, 0x77));
    EXPECT_FALSE(reply.delivered);
    EXPECT_FALSE(reply.hasSense);
    EXPECT_EQ(reply.transferred, 0u);
    EXPECT_EQ(drive.buffer()[0], 0x00);
    EXPECT_EQ(Outcome(SendOut(drive, WriteBufferCdb(0, 16, 0x00), std::vector<uint8_t>(16, 0x77))), "good");
    EXPECT_EQ(drive.buffer()[0], 0x77);
}

TEST(VirtualDriveFault, SlowCommandTakesTheGivenTime)
{
    VirtualDrive drive(ReadyDrive());
    Fault fault = OnOpcode(0x00, 1, FaultKind::Slow);
    fault.seconds = 200.0;
    drive.AddFault(fault);
    const auto slow = Send(drive, Block({0x00}));
    EXPECT_EQ(Outcome(slow), "good");
    EXPECT_DOUBLE_EQ(slow.seconds, 200.0);
    EXPECT_DOUBLE_EQ(Send(drive, Block({0x00})).seconds, 0.0);
}

TEST(VirtualDriveFault, SlowCommandIsCutOffAtTheHostsTimeOut)
{
    VirtualDrive drive(ReadyDrive());
    Fault fault = OnOpcode(0x00, 1, FaultKind::Slow);
    fault.seconds = 200.0;
    drive.AddFault(fault);
    sim::CommandRequest request{};
    request.direction = DataDirection::None;
    request.timeoutSeconds = 108.0;
    const auto reply = drive.Execute(request);
    EXPECT_FALSE(reply.delivered);
    EXPECT_DOUBLE_EQ(reply.seconds, 108.0);
    EXPECT_EQ(drive.trace().back(), "000000000000000000000000 none 0 failed");
}

TEST(VirtualDriveFault, OneChangedByteInAReadBufferReply)
{
    VirtualDrive drive(ReadyDrive());
    const std::vector<uint8_t> block(16384, 0x5A);
    SendOut(drive, WriteBufferCdb(0, 16384, 0x00), block);
    Fault fault = OnOpcode(0x3C, 1, FaultKind::CorruptReply);
    fault.replyOffset = 100;
    drive.AddFault(fault);

    std::vector<uint8_t> back(16384);
    EXPECT_EQ(Outcome(Send(drive, ReadBufferCdb(0, 16384), DataDirection::In, back.data(), 16384)), "good");
    for (uint32_t i = 0; i < back.size(); ++i) {
        if (i == 100)
            EXPECT_NE(back[i], 0x5A);
        else
            EXPECT_EQ(back[i], 0x5A) << "byte " << i;
    }
    EXPECT_EQ(drive.buffer()[100], 0x5A);  // the buffer itself is intact
    Send(drive, ReadBufferCdb(0, 16384), DataDirection::In, back.data(), 16384);
    EXPECT_EQ(back, block);
}

TEST(VirtualDriveFault, DisappearingDriveFailsEveryLaterRequest)
{
    VirtualDrive drive(ReadyDrive());
    drive.AddFault(AtPosition(2, FaultKind::Disappear));
    EXPECT_EQ(TestUnitReady(drive), "good");
    EXPECT_FALSE(drive.gone());
    EXPECT_EQ(TestUnitReady(drive), "failed");
    EXPECT_TRUE(drive.gone());
    uint8_t data[96] = {};
    EXPECT_EQ(Outcome(Send(drive, Block({0x12, 0, 0, 0, 96}), DataDirection::In, data, 96)), "failed");
}

TEST(VirtualDriveFault, RepeatCoversSeveralOrAllLaterMatches)
{
    VirtualDrive drive(ReadyDrive());
    Fault twice = OnOpcode(0x00, 2, FaultKind::RequestFails);
    twice.repeat = 2;
    drive.AddFault(twice);
    Fault forever = OnOpcode(0x1B, 2, FaultKind::RequestFails);
    forever.repeat = 0;
    drive.AddFault(forever);

    EXPECT_EQ(TestUnitReady(drive), "good");
    EXPECT_EQ(TestUnitReady(drive), "failed");
    EXPECT_EQ(TestUnitReady(drive), "failed");
    EXPECT_EQ(TestUnitReady(drive), "good");
    EXPECT_EQ(Outcome(Send(drive, Block({0x1B}))), "good");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Outcome(Send(drive, Block({0x1B}))), "failed");
}

TEST(VirtualDriveFault, FaultListHasAFixedSize)
{
    VirtualDrive drive;
    for (int i = 0; i < sim::kMaxFaults; ++i) {
        EXPECT_TRUE(drive.AddFault(AtPosition(1000 + i, FaultKind::RequestFails)));
    }
    EXPECT_FALSE(drive.AddFault(AtPosition(1, FaultKind::RequestFails)));
    EXPECT_EQ(TestUnitReady(drive), "sense 2/3A/01");  // the refused fault is not there
    drive.ClearFaults();
    EXPECT_TRUE(drive.AddFault(AtPosition(3, FaultKind::RequestFails)));
}

TEST(VirtualDriveFault, TraceShowsWhatTheHostGot)
{
    VirtualDrive drive(ReadyDrive());
    Fault sense = AtPosition(1, FaultKind::Sense);
    sense.senseKey = 0xB;
    sense.asc = 0x47;
    sense.ascq = 0x00;
    drive.AddFault(sense);
    drive.AddFault(AtPosition(2, FaultKind::RequestFails));
    Send(drive, Block({0x00}));
    Send(drive, Block({0x00}));
    Send(drive, Block({0x00}));
    const std::vector<std::string> expected = {
        "000000000000000000000000 none 0 sense B/47/00",
        "000000000000000000000000 none 0 failed",
        "000000000000000000000000 none 0 good",
    };
    EXPECT_EQ(drive.trace(), expected);
}

}  // namespace
