// The drive's disc, tray, door lock and power: one table of command blocks and their answers
// per command family, and the tray, lock and event state machine under random sequences.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "DriveHost.h"
#include "sim/DriveSetup.h"
#include "sim/VirtualDrive.h"

namespace {

using namespace simtest;
using sim::VirtualDrive;

std::unique_ptr<VirtualDrive> MakeDrive(const char* text)
{
    sim::DriveSetup setup;
    std::string reason;
    EXPECT_TRUE(sim::ParseDriveSetup(text, setup, reason)) << reason;
    return std::make_unique<VirtualDrive>(setup.drive);
}

std::string Hex(const uint8_t* bytes, size_t count)
{
    std::string text;
    char digits[3];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        text += digits;
    }
    return text;
}

// One command against a drive made from its text, after an optional command that must end good;
// the answer's first bytes in hex and the bytes moved.
struct CommandCase {
    const char* name;
    const char* drive;
    Cdb before;  // opcode 0 and all zero: none
    Cdb command;
    uint32_t hostLength;
    const char* outcome;
    uint32_t moved;
    const char* leadingBytes;
};

class DriveMediumCommand : public testing::TestWithParam<CommandCase> {};

TEST_P(DriveMediumCommand, AnswersAsTheTableSays)
{
    const CommandCase& row = GetParam();
    auto drive = MakeDrive(row.drive);
    if (row.before.bytes[0] != 0) {
        ASSERT_EQ(Outcome(Send(*drive, row.before)), "good");
    }
    std::vector<uint8_t> data(row.hostLength, 0xEE);
    const DataDirection direction = row.hostLength != 0 ? DataDirection::In : DataDirection::None;
    const auto reply = Send(*drive, row.command, direction, data.data(), row.hostLength);
    EXPECT_EQ(Outcome(reply), row.outcome);
    EXPECT_EQ(reply.transferred, row.moved);
    const std::string expected = row.leadingBytes;
    EXPECT_EQ(Hex(data.data(), std::min(data.size(), expected.size() / 2)), expected);
}

const Cdb kNone{};
const Cdb kReadCapacity = Block({0x25});
const Cdb kMechanism = Block({0xBD, 0, 0, 0, 0, 0, 0, 0, 0, 8});
const Cdb kEject = Block({0x1B, 0, 0, 0, 0x02});
Cdb Toc(uint8_t msf, uint8_t format, uint8_t track, uint8_t allocation, uint8_t control = 0)
{
    return Block({0x43, msf, format, 0, 0, 0, track, 0, allocation, control});
}
Cdb Events(uint8_t classes) { return Block({0x4A, 0x01, 0, 0, classes, 0, 0, 0, 8}); }

// The table of contents: track 1 at block 0 and the lead-out at 1,024, each a data track
// (control 4) with a position (ADR 1); as minute, second, frame 00:02:00 and 00:15:49. Disc
// information: complete, last session complete, not erasable, first track 1, one session of
// track 1, no further lead-in or lead-out. Track information: track 1 of session 1, mode 4
// (data), data mode 1, from block 0, 16 blocks to an error-correction block, 1,024 long.
// Event status: length 6, the class, supported classes 16h, then the class's descriptor.
INSTANTIATE_TEST_SUITE_P(
    Commands, DriveMediumCommand,
    testing::Values(
        CommandCase{"CapacityOfTheDisc", "disc=1", kNone, kReadCapacity, 8, "good", 8, "000003FF00000800"},
        CommandCase{"CapacityWithoutDisc", "", kNone, kReadCapacity, 8, "sense 2/3A/01", 0, "EEEE"},
        CommandCase{"Toc", "disc=1", kNone, Toc(0, 0, 1, 64), 64, "good", 20,
                    "00120101"
                    "0014010000000000"
                    "0014AA0000000400"},
        CommandCase{"TocMsf", "disc=1", kNone, Toc(0x02, 0, 0, 64), 64, "good", 20,
                    "00120101"
                    "0014010000000200"
                    "0014AA0000000F31"},
        CommandCase{"TocTrackBeyondTheLast", "disc=1", kNone, Toc(0, 0, 2, 64), 64, "sense 5/24/00", 0, ""},
        CommandCase{"SessionInformation", "disc=1", kNone, Toc(0, 1, 0, 12), 64, "good", 12,
                    "000A01010014010000000000"},
        CommandCase{"SessionInformationInTheControlByte", "disc=1", kNone, Toc(0, 0, 0, 12, 0x40), 64, "good", 12,
                    "000A01010014010000000000"},
        CommandCase{"DiscInformation", "disc=1", kNone, Block({0x51, 0, 0, 0, 0, 0, 0, 0, 64}), 64, "good", 34,
                    "00200E01010101000000000000000000FFFFFFFFFFFFFFFF"},
        CommandCase{"TrackByNumber", "disc=1", kNone, Block({0x52, 1, 0, 0, 0, 1, 0, 0, 64}), 64, "good", 48,
                    "002E0101000401000000000000000000000000000000001000000400"},
        CommandCase{"TrackOfABlockPastTheDisc", "disc=1", kNone, Block({0x52, 0, 0, 0, 0x04, 0, 0, 0, 64}), 64,
                    "sense 5/21/00", 0, ""},
        CommandCase{"NoSuchTrack", "disc=1", kNone, Block({0x52, 1, 0, 0, 0, 2, 0, 0, 64}), 64, "sense 5/24/00", 0, ""},
        CommandCase{"Read10StartsWithTheBlocksAddress", "disc=1", kNone, Block({0x28, 0, 0, 0, 0x02, 0x9A, 0, 0, 2}),
                    4096, "good", 4096, "0000029A"},
        CommandCase{"Read12IsoVolumeDescriptor", "disc=1", kNone, Block({0xA8, 0, 0, 0, 0, 16, 0, 0, 0, 1}), 2048,
                    "good", 2048, "01434430303101"},
        CommandCase{"ReadPastTheLastBlock", "disc=1", kNone, Block({0x28, 0, 0, 0, 0x03, 0xFF, 0, 0, 2}), 4096,
                    "sense 5/21/00", 0, "EE"},
        CommandCase{"MechanismDoorOpen", "tray=open", kNone, kMechanism, 8, "good", 8, "0010000000000000"},
        CommandCase{"MechanismAfterARead", "disc=1", Block({0x28, 0, 0, 0, 0, 0x20, 0, 0, 1}), kMechanism, 8, "good", 8,
                    "0000000020000000"},
        CommandCase{"EjectWhilePersistentlyPrevented", "disc=1", Block({0x1E, 0, 0, 0, 3}), kEject, 0, "sense 5/53/02",
                    0, ""},
        CommandCase{"PowerConditionIgnoresLoadEject", "disc=1", Block({0x1B, 0, 0, 0, 0x32}), kMechanism, 8, "good", 8,
                    "0000"},
        CommandCase{"StandbyInThePowerClass", "disc=1", Block({0x1B, 0x01, 0, 0, 0x30}), Events(0x04), 8, "good", 8,
                    "0006021601030000"},
        CommandCase{"NoEventFirstClassAsked", "disc=1", kNone, Events(0x16), 8, "good", 8, "0006011600000000"},
        CommandCase{"EventBeforeTheFirstClassAsked", "disc=1,tray=open", Block({0x1B, 0, 0, 0, 0x03}), Events(0x16), 8,
                    "good", 8, "0006041602020000"},
        CommandCase{"PersistentPreventInTheOperationalClass", "disc=1", Block({0x1E, 0, 0, 0, 3}), Events(0x02), 8,
                    "good", 8, "0006011600800000"}),
    [](const auto& info) { return std::string(info.param.name); });

std::string EventHex(VirtualDrive& drive, uint8_t classes)
{
    uint8_t event[8] = {};
    Send(drive, Events(classes), DataDirection::In, event, sizeof event);
    return Hex(event, sizeof event);
}

// After a load the commands that read the disc report it becoming ready, leaving the count of
// polls to TEST UNIT READY. With events of two classes waiting the power class goes first, and
// each is reported once. A read wakes a resting drive; a reset ends the lock.
TEST(DriveMediumSequence, BecomingReadyEventsOnceWakingAndReset)
{
    auto drive = MakeDrive("disc=1,tray=open,lock=prevented,polls=1");
    Send(*drive, Block({0x1B, 0, 0, 0, 0x03}));
    EXPECT_EQ(TestUnitReady(*drive), "sense 6/28/00");
    uint8_t data[2048] = {};
    EXPECT_EQ(Outcome(Send(*drive, kReadCapacity, DataDirection::In, data, 8)), "sense 2/04/01");
    EXPECT_EQ(Outcome(Send(*drive, kReadCapacity, DataDirection::In, data, 8)), "sense 2/04/01");
    EXPECT_EQ(TestUnitReady(*drive), "sense 2/04/01");
    EXPECT_EQ(Outcome(Send(*drive, kReadCapacity, DataDirection::In, data, 8)), "good");

    ASSERT_EQ(Outcome(Send(*drive, Block({0x1B, 0, 0, 0, 0x30}))), "good");
    EXPECT_EQ(EventHex(*drive, 0x14), "0006021601030000");
    EXPECT_EQ(EventHex(*drive, 0x14), "0006041602020000");
    EXPECT_EQ(EventHex(*drive, 0x14), "0006021600030000");
    ASSERT_EQ(Outcome(Send(*drive, Block({0x28, 0, 0, 0, 0, 0, 0, 0, 1}), DataDirection::In, data, 2048)), "good");
    EXPECT_EQ(EventHex(*drive, 0x04), "0006021601010000");
    drive->Reset();
    EXPECT_FALSE(drive->mediumRemovalPrevented());
}

// ---- The tray, lock and event state machine -------------------------------------------------

enum class Step { Eject, Load, Prevent, Allow, Button, Insert, Remove };
constexpr const char* kStepNames[] = {"eject", "load", "prevent", "allow", "button", "insert", "remove"};

// What the drive should be, kept by the test from the steps alone.
struct Expected {
    bool open;
    bool disc;
    bool prevented;
    uint8_t event;  // media event code the step leaves to report
};

// The step's command outcome, whether the tray button moved the tray, or "" for a hand.
std::string Apply(VirtualDrive& drive, Step step)
{
    switch (step) {
    case Step::Eject: return Outcome(Send(drive, kEject));
    case Step::Load: return Outcome(Send(drive, Block({0x1B, 0, 0, 0, 0x03})));
    case Step::Prevent: return Outcome(Send(drive, Block({0x1E, 0, 0, 0, 1})));
    case Step::Allow: return Outcome(Send(drive, Block({0x1E, 0, 0, 0, 0})));
    case Step::Button: return drive.PressTrayButton() ? "moved" : "stayed";
    case Step::Insert: drive.InsertDisc(); return "";
    case Step::Remove: drive.TakeDiscAway(); return "";
    }
    return "";
}

// The rules, written out on their own: an eject is refused while prevented; the button opens a
// closed tray unless prevented and always reports the request, a disc going out with it as a
// removal; loading is never prevented; a hand reaches the disc only on an open tray.
std::string Expect(Expected& state, Step step)
{
    state.event = 0;
    switch (step) {
    case Step::Eject:
        if (state.prevented) return "sense 5/53/02";
        if (!state.open && state.disc) state.event = 0x03;
        state.open = true;
        return "good";
    case Step::Load:
        if (state.open && state.disc) state.event = 0x02;
        state.open = false;
        return "good";
    case Step::Prevent: state.prevented = true; return "good";
    case Step::Allow: state.prevented = false; return "good";
    case Step::Button:
        if (state.open) {
            state.event = state.disc ? 0x02 : 0x00;
            state.open = false;
            return "moved";
        }
        state.event = state.prevented || !state.disc ? 0x01 : 0x03;
        state.open = !state.prevented;
        return state.open ? "moved" : "stayed";
    case Step::Insert: state.disc = state.disc || state.open; return "";
    case Step::Remove: state.disc = state.disc && !state.open; return "";
    }
    return "";
}

// After every step: the media event once, then the media class, TEST UNIT READY (once it has
// settled) and MECHANISM STATUS tell the same story as the rules.
void CheckAgreement(VirtualDrive& drive, const Expected& state)
{
    uint8_t event[8] = {};
    Send(drive, Events(0x10), DataDirection::In, event, 8);
    EXPECT_EQ(event[4], state.event) << "media event";
    Send(drive, Events(0x10), DataDirection::In, event, 8);
    EXPECT_EQ(event[4], 0x00) << "an event is reported once";
    EXPECT_EQ((event[5] & 0x01) != 0, state.open) << "tray bit";
    EXPECT_EQ((event[5] & 0x02) != 0, state.disc && !state.open) << "media present bit";

    EXPECT_EQ(PollUntilSettled(drive), state.open ? "sense 2/3A/02" : state.disc ? "good" : "sense 2/3A/01");
    uint8_t mechanism[8] = {};
    ASSERT_EQ(Outcome(Send(drive, kMechanism, DataDirection::In, mechanism, 8)), "good");
    EXPECT_EQ((mechanism[1] & 0x10) != 0, state.open) << "door open bit";
    EXPECT_EQ(drive.mediumRemovalPrevented(), state.prevented);
}

// 300 seeded sequences of 40 steps from random starting states; a failure names the seed, the
// drive text and the steps up to it.
TEST(DriveMediumStateMachine, EventsReadinessAndMechanismAlwaysAgree)
{
    for (uint32_t seed = 1; seed <= 300 && !testing::Test::HasFailure(); ++seed) {
        std::mt19937 random(seed);
        Expected state{random() % 2 == 0, random() % 2 == 0, random() % 2 == 0, 0};
        const std::string text = std::string("disc=") + (state.disc ? "1" : "0") +
                                 ",tray=" + (state.open ? "open" : "closed") +
                                 ",lock=" + (state.prevented ? "prevented" : "allowed");
        auto drive = MakeDrive(text.c_str());
        std::string sequence = "seed " + std::to_string(seed) + ", drive " + text + ":";
        for (int i = 0; i < 40 && !testing::Test::HasFailure(); ++i) {
            const Step step = static_cast<Step>(random() % 7);
            sequence += std::string(" ") + kStepNames[static_cast<int>(step)];
            SCOPED_TRACE(sequence);
            EXPECT_EQ(Apply(*drive, step), Expect(state, step));
            CheckAgreement(*drive, state);
        }
    }
}

}  // namespace
