// What the virtual drive tells about itself to software that recognises a DVD rewriter: held
// sense, vital product data, features and profiles, mode pages, logical units, and which
// commands a pending unit attention stops. Replies are walked as sg3_utils and the kernel read
// them, so that a length that does not add up fails here.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DriveHost.h"
#include "scsi/Fields.h"
#include "scsi/Sense.h"
#include "sim/DriveSetup.h"
#include "sim/VirtualDrive.h"

namespace {

using namespace simtest;
using sim::DriveConfig;
using sim::VirtualDrive;

DriveConfig Drive(bool disc, bool trayOpen = false)
{
    DriveConfig config;
    config.discPresent = disc;
    config.trayOpen = trayOpen;
    return config;
}

struct Answer {
    std::string outcome;
    std::vector<uint8_t> data;
};
Answer Ask(VirtualDrive& drive, const Cdb& cdb, uint32_t length = 1024)
{
    std::vector<uint8_t> data(length, 0xEE);
    const auto reply = Send(drive, cdb, DataDirection::In, data.data(), length);
    data.resize(reply.transferred);
    return {Outcome(reply), data};
}

// The bytes in hex, up to count of them, and hex written with spaces for reading.
std::string Hex(const std::vector<uint8_t>& bytes, size_t count = SIZE_MAX)
{
    std::string text;
    char digits[3];
    for (size_t i = 0; i < std::min(count, bytes.size()); ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        text += digits;
    }
    return text;
}

std::string WithoutSpaces(const char* text)
{
    std::string result;
    for (const char* c = text; *c != '\0'; ++c)
        if (*c != ' ') result += *c;
    return result;
}

// A big-endian number of size bytes at at, read through the field reader of scsi/.
uint32_t BigEndian(const std::vector<uint8_t>& bytes, size_t at, int size)
{
    return at + size <= bytes.size() ? scsi::Get(bytes.data() + at, scsi::Bytes(0, uint8_t(size))) : UINT32_MAX;
}

// The outcome, and whether the list moved whole (good) or not at all (refused).
std::string ModeSelect(VirtualDrive& drive, uint8_t opcode, uint8_t flags, std::vector<uint8_t> list)
{
    const auto length = static_cast<uint8_t>(list.size());
    const Cdb cdb = opcode == 0x55 ? Block({0x55, flags, 0, 0, 0, 0, 0, 0, length})
                                   : Block({0x15, flags, 0, 0, length});
    const auto reply = SendOut(drive, cdb, list);
    EXPECT_EQ(reply.transferred, reply.hasSense ? 0u : length);
    return Outcome(reply);
}

// --- REQUEST SENSE and INQUIRY: one table of command blocks and expected replies --------------

struct IdentityRow {
    const char* name;
    const char* drive;  // the drive's text form
    Cdb cdb;
    const char* outcome;
    const char* reply;  // hex of the whole reply
};

const IdentityRow kIdentityRows[] = {
    {"SenseNone", "disc=1", Block({0x03, 0, 0, 0, 252}), "good", "700000000000000A 00000000 0000 00000000"},
    {"SenseNoMedium", "", Block({0x03, 0, 0, 0, 252}), "good", "700002000000000A 00000000 3A01 00000000"},
    {"SenseDescriptor", "", Block({0x03, 0x01, 0, 0, 252}), "good", "72023A01 00000000"},
    {"InquiryTwoByteAllocation", "disc=1", Block({0x12, 0, 0, 0x01, 0x00}), "good", nullptr},
    {"PageList", "disc=1", Block({0x12, 0x01, 0x00, 0, 64}), "good", "05000003 008083"},
    {"Serial", "disc=1", Block({0x12, 0x01, 0x80, 0, 64}), "good", "0580000C 4B5834303754364130343137"},
    {"DeviceIdentification", "disc=1", Block({0x12, 0x01, 0x83, 0, 255}), "good",
     "05830028 02010024 54414C564F524520 44564452572 04B52582D34303754 2020 4B5834303754364130343137"},
    {"SerialFromTheDriveText", "serial=AB-12 9", Block({0x12, 0x01, 0x80, 0, 64}), "good", "05800007 41422D31322039"},
    {"PageCut", "disc=1", Block({0x12, 0x01, 0x80, 0, 6}), "good", "0580000C4B58"},
    {"PageWithoutEvpd", "disc=1", Block({0x12, 0x00, 0x80, 0, 64}), "sense 5/24/00", ""},
    {"ReportLuns", "disc=1", Block({0xA0, 0, 0, 0, 0, 0, 0, 0, 1, 0}), "good", "00000008 00000000 0000000000000000"},
    {"ReportWellKnownLuns", "disc=1", Block({0xA0, 0, 1, 0, 0, 0, 0, 0, 1, 0}), "good", "00000000 00000000"},
    {"ReportLunsBadSelect", "disc=1", Block({0xA0, 0, 9, 0, 0, 0, 0, 0, 1, 0}), "sense 5/24/00", ""},
    // Removable Medium: tray, load, eject, lock. Core: ATAPI, INQ2.
    {"RemovableMedium", "disc=1", Block({0x46, 2, 0x00, 0x03, 0, 0, 0, 0, 64}), "good",
     "0000000C 00000010 00030304 39000000"},
    {"Core", "", Block({0x46, 2, 0x00, 0x01, 0, 0, 0, 0, 64}), "good", "00000010 00000000 00010B08 00000002 02000000"},
    {"ConfigurationCutKeepsItsLength", "disc=1", Block({0x46, 0, 0, 0, 0, 0, 0, 0, 8}), "good", "000000DC 00000010"},
    {"ConfigurationBadRequestType", "disc=1", Block({0x46, 3, 0, 0, 0, 0, 0, 0, 8}), "sense 5/24/00", ""},
    {"ModeSenseSavedValues", "disc=1", Block({0x5A, 0, 0xEA, 0, 0, 0, 0, 0, 255}), "sense 5/39/00", ""},
    {"ModeSenseNoSuchPage", "disc=1", Block({0x5A, 0, 0x05, 0, 0, 0, 0, 0, 255}), "sense 5/24/00", ""},
    {"ModeSenseNoSuchSubpage", "disc=1", Block({0x5A, 0, 0x2A, 0x01, 0, 0, 0, 0, 255}), "sense 5/24/00", ""},
    {"ModeSenseCut", "disc=1", Block({0x1A, 0, 0x2A, 0, 6}), "good", "2B000000 2A26"},
    // What the kernel's sr driver and cdrom_id read: DVD-ROM and DVD-R read; DVD-R, CD-R and
    // CD-RW write, no DVD-RAM; a tray that ejects and locks, unlocked; 48x.
    {"Capabilities", "", Block({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 24}), "good",
     "002E0000 00000000 2A26 1F 17 F1 13 29 00 2113 0100 0800 2113"},
    {"CapabilitiesLockState", "lock=prevented", Block({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 15}), "good",
     "002E0000 00000000 2A26 1F 17 F1 13 2B"},
};

class DriveIdentityReplies : public testing::TestWithParam<IdentityRow> {};

TEST_P(DriveIdentityReplies, AnswerAsTheTableSays)
{
    const IdentityRow& row = GetParam();
    sim::DriveSetup setup;
    std::string reason;
    ASSERT_TRUE(sim::ParseDriveSetup(row.drive, setup, reason)) << reason;
    VirtualDrive drive(setup.drive);
    const Answer answer = Ask(drive, row.cdb);
    EXPECT_EQ(answer.outcome, row.outcome);
    if (row.reply != nullptr) {
        EXPECT_EQ(Hex(answer.data), WithoutSpaces(row.reply));
    } else {
        EXPECT_EQ(answer.data.size(), 96u);  // the standard data, whole
    }
}

INSTANTIATE_TEST_SUITE_P(Table, DriveIdentityReplies, testing::ValuesIn(kIdentityRows),
                         [](const auto& info) { return std::string(info.param.name); });

// REQUEST SENSE tells what TEST UNIT READY would, without taking one of its polls.
TEST(DriveIdentitySense, RequestSenseAgreesWithTestUnitReadyInEveryState)
{
    DriveConfig config = Drive(true, true);
    config.becomingReadyPolls = 2;
    VirtualDrive drive(config);
    Send(drive, Block({0x1B, 0, 0, 0, 0x03}));  // load: attention, then becoming ready
    const Answer attention = Ask(drive, Block({0x03, 0, 0, 0, 18}));
    EXPECT_EQ(Hex(attention.data, 14), "700006000000000A000000002800");
    for (int poll = 0; poll < 4; ++poll) {
        sim::CommandReply held{};
        held.delivered = held.hasSense = true;
        const Answer answer = Ask(drive, Block({0x03, 0, 0, 0, 18}));
        std::memcpy(held.sense, answer.data.data(), sizeof held.sense);
        const std::string expected = held.sense[2] == 0 ? "good" : Outcome(held);
        EXPECT_EQ(TestUnitReady(drive), expected) << "poll " << poll;
    }
    Send(drive, Block({0x1B, 0, 0, 0, 0x02}));
    EXPECT_EQ(Hex(Ask(drive, Block({0x03, 0, 0, 0, 18})).data, 14), "700002000000000A000000003A02");
    EXPECT_EQ(TestUnitReady(drive), "sense 2/3A/02");
}

// --- The pending unit attention ----------------------------------------------------------------

struct AttentionRow {
    const char* name;
    Cdb cdb;
    const char* outcome;
    const char* testUnitReadyAfter;
};

const AttentionRow kAttentionRows[] = {
    {"Inquiry", Block({0x12, 0, 0, 0, 96}), "good", "sense 6/29/00"},
    {"MediaEvents", Block({0x4A, 1, 0, 0, 0x10, 0, 0, 0, 8}), "good", "sense 6/29/00"},
    {"GetConfiguration", Block({0x46, 0, 0, 0, 0, 0, 0, 0, 8}), "good", "sense 6/29/00"},
    {"ReportLuns", Block({0xA0, 0, 0, 0, 0, 0, 0, 0, 0, 16}), "good", "sense 6/29/00"},
    {"RequestSenseTakesIt", Block({0x03, 0, 0, 0, 18}), "good", "sense 2/04/01"},
    {"ModeSenseReportsIt", Block({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 64}), "sense 6/29/00", "sense 2/04/01"},
};

class DriveIdentityAttention : public testing::TestWithParam<AttentionRow> {};

TEST_P(DriveIdentityAttention, ReportedOnlyByTheCommandsThatMust)
{
    const AttentionRow& row = GetParam();
    VirtualDrive drive(Drive(true));
    drive.Reset();
    EXPECT_EQ(Ask(drive, row.cdb).outcome, row.outcome);
    EXPECT_EQ(TestUnitReady(drive), row.testUnitReadyAfter);
}

INSTANTIATE_TEST_SUITE_P(Table, DriveIdentityAttention, testing::ValuesIn(kAttentionRows),
                         [](const auto& info) { return std::string(info.param.name); });

// --- GET CONFIGURATION -------------------------------------------------------------------------

// Walks a reply as sg_get_config and udev's cdrom_id do: the header's length, then features in
// ascending order with lengths in multiples of four that end exactly at the reply's end.
std::vector<uint16_t> WalkFeatures(const std::vector<uint8_t>& reply, uint16_t& currentProfile)
{
    std::vector<uint16_t> codes;
    EXPECT_GE(reply.size(), 8u);
    EXPECT_EQ(BigEndian(reply, 0, 4), reply.size() - 4);
    currentProfile = static_cast<uint16_t>(BigEndian(reply, 6, 2));
    size_t at = 8;
    while (at + 4 <= reply.size()) {
        const uint16_t code = static_cast<uint16_t>(BigEndian(reply, at, 2));
        const uint8_t length = reply[at + 3];
        EXPECT_EQ(length % 4, 0) << "feature " << code;
        EXPECT_TRUE(codes.empty() || code > codes.back()) << "feature " << code;
        EXPECT_NE(reply[at + 2] & 0x03, 0x02) << "persistent but not current: " << code;
        if (code == 0x0000) {  // the profile list: one current profile, the header's, if any
            int current = 0;
            for (size_t entry = at + 4; entry < at + 4 + length; entry += 4) {
                if ((reply[entry + 2] & 0x01) != 0) {
                    ++current;
                    EXPECT_EQ(BigEndian(reply, entry, 2), currentProfile);
                }
            }
            EXPECT_EQ(current, currentProfile != 0 ? 1 : 0);
        }
        codes.push_back(code);
        at += 4 + length;
    }
    EXPECT_EQ(at, reply.size());
    return codes;
}

struct ConfigurationRow {
    const char* name;
    bool disc;
    uint8_t requestType;
    uint16_t start;
    uint16_t profile;
    std::vector<uint16_t> features;
};

const std::vector<uint16_t> kAllFeatures = {0x00, 0x01, 0x02, 0x03, 0x10, 0x1D, 0x1E,  0x1F,  0x21,  0x23,  0x26,
                                            0x2A, 0x2B, 0x2D, 0x2E, 0x2F, 0x3B, 0x100, 0x104, 0x105, 0x107, 0x108};

const ConfigurationRow kConfigurationRows[] = {
    {"AllWithDisc", true, 0, 0, 0x10, kAllFeatures},
    {"CurrentWithDisc", true, 1, 0, 0x10, {0x00, 0x01, 0x02, 0x03, 0x10, 0x1F, 0x100, 0x104, 0x105, 0x107, 0x108}},
    {"CurrentEmpty", false, 1, 0, 0, {0x00, 0x01, 0x02, 0x03, 0x100, 0x104, 0x105, 0x108}},
    {"FromStartingFeature", true, 0, 0x100, 0x10, {0x100, 0x104, 0x105, 0x107, 0x108}},
    {"OneFeature", false, 2, 0x03, 0, {0x03}},
    {"OneFeatureNotOffered", true, 2, 0x20, 0x10, {}},
};

class DriveConfigurationReplies : public testing::TestWithParam<ConfigurationRow> {};

TEST_P(DriveConfigurationReplies, ListTheFeaturesAsTheTableSays)
{
    const ConfigurationRow& row = GetParam();
    VirtualDrive drive(Drive(row.disc));
    const Answer answer =
        Ask(drive, Block({0x46, row.requestType, uint8_t(row.start >> 8), uint8_t(row.start), 0, 0, 0, 0x04, 0x00}));
    ASSERT_EQ(answer.outcome, "good");
    uint16_t profile = 0xFFFF;
    EXPECT_EQ(WalkFeatures(answer.data, profile), row.features);
    EXPECT_EQ(profile, row.profile);
}

INSTANTIATE_TEST_SUITE_P(Table, DriveConfigurationReplies, testing::ValuesIn(kConfigurationRows),
                         [](const auto& info) { return std::string(info.param.name); });

// --- MODE SENSE and MODE SELECT ----------------------------------------------------------------

// Walks a mode reply as the kernel's mode sense does: data length, no block descriptors, then
// pages whose lengths add up to the end.
std::vector<uint8_t> WalkPages(const std::vector<uint8_t>& reply, bool tenByte)
{
    const size_t header = tenByte ? 8 : 4;
    EXPECT_EQ(tenByte ? BigEndian(reply, 0, 2) + 2 : reply.at(0) + 1u, reply.size());
    EXPECT_EQ(tenByte ? BigEndian(reply, 6, 2) : reply.at(3), 0u);
    std::vector<uint8_t> codes;
    size_t at = header;
    while (at + 2 <= reply.size()) {
        codes.push_back(reply[at] & 0x3F);
        EXPECT_EQ(reply[at] & 0xC0, 0) << "page " << int(codes.back());  // not savable, no subpages
        at += 2 + reply[at + 1];
    }
    EXPECT_EQ(at, reply.size());
    return codes;
}

TEST(DriveModePages, EveryFormAndPageControlWalksWhole)
{
    VirtualDrive drive(Drive(true));
    const std::vector<uint8_t> all = {0x01, 0x0A, 0x1A, 0x1D, 0x2A};
    for (uint8_t control : {0x00, 0x40, 0x80}) {
        for (bool tenByte : {true, false}) {
            const uint8_t page = static_cast<uint8_t>(control | 0x3F);
            const Cdb cdb = tenByte ? Block({0x5A, 0x08, page, 0, 0, 0, 0, 0x01, 0x00})
                                    : Block({0x1A, 0x08, page, 0, 255});
            const Answer answer = Ask(drive, cdb);
            ASSERT_EQ(answer.outcome, "good") << int(control) << tenByte;
            EXPECT_EQ(WalkPages(answer.data, tenByte), all) << int(control) << tenByte;
        }
    }
}

const std::vector<uint8_t> kHeader10 = {0, 0, 0, 0, 0, 0, 0, 0};
std::vector<uint8_t> ControlPage(uint8_t byte2, uint8_t byte3 = 0, uint8_t byte0 = 0x0A)
{
    return {byte0, 0x0A, byte2, byte3, 0, 0, 0, 0, 0, 0, 0, 0};
}
std::vector<uint8_t> List(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> list;
    for (const auto& part : parts) list.insert(list.end(), part.begin(), part.end());
    return list;
}

struct SelectRow {
    const char* name;
    uint8_t opcode;
    uint8_t flags;
    std::vector<uint8_t> list;
    const char* outcome;
    bool descriptorSenseAfter;
};

const SelectRow kSelectRows[] = {
    {"SetsDescriptorSense", 0x55, 0x10, List({kHeader10, ControlPage(0x04)}), "good", true},
    {"SixByteForm", 0x15, 0x10, List({{0, 0, 0, 0}, ControlPage(0x04)}), "good", true},
    {"SavableBitIgnored", 0x55, 0x10, List({kHeader10, ControlPage(0x04, 0, 0x8A)}), "good", true},
    {"PageOfTheDriveUnchanged", 0x55, 0x10, List({kHeader10, {0x1D, 0x0A, 0, 0, 0x01, 0, 0, 10, 0, 20, 0, 0}}), "good",
     false},
    {"UnchangeableBit", 0x55, 0x10, List({kHeader10, ControlPage(0x04, 0x10)}), "sense 5/26/00", false},
    {"AllOrNothing", 0x55, 0x10, List({kHeader10, ControlPage(0x04), {0x01, 0x0A, 0, 0, 0xFF}}), "sense 5/1A/00",
     false},
    {"WrongPageLength", 0x55, 0x10, List({kHeader10, {0x0A, 0x08, 0x04, 0, 0, 0, 0, 0, 0, 0}}), "sense 5/26/00", false},
    {"UnknownPage", 0x55, 0x10, List({kHeader10, {0x05, 0x02, 0, 0}}), "sense 5/26/00", false},
    {"BlockDescriptor", 0x55, 0x10, List({{0, 0, 0, 0, 0, 0, 0, 8}, ControlPage(0x04)}), "sense 5/26/00", false},
    {"SavePages", 0x55, 0x11, List({kHeader10, ControlPage(0x04)}), "sense 5/24/00", false},
    {"NotPageFormat", 0x55, 0x00, List({kHeader10, ControlPage(0x04)}), "sense 5/24/00", false},
};

class DriveModeSelect : public testing::TestWithParam<SelectRow> {};

// After the select: the sense format of a refused command and the control page as stored; REQUEST
// SENSE keeps to its own DESC bit; a reset brings back fixed sense.
TEST_P(DriveModeSelect, TakesOnlyWhatMayChange)
{
    const SelectRow& row = GetParam();
    VirtualDrive drive(Drive(false));
    EXPECT_EQ(ModeSelect(drive, row.opcode, row.flags, row.list), row.outcome);
    const auto refused = Send(drive, Block({0x00}));
    scsi::SenseFields sense;
    ASSERT_TRUE(scsi::NormaliseSense(refused.sense, sim::kSenseDataSize, sense));
    EXPECT_EQ(Hex({refused.sense[0], sense.key, sense.asc, sense.ascq}),
              row.descriptorSenseAfter ? "72023A01" : "70023A01");
    EXPECT_EQ(Ask(drive, Block({0x5A, 0, 0x0A, 0, 0, 0, 0, 0, 255})).data.at(8 + 2), row.descriptorSenseAfter ? 4 : 0);
    EXPECT_EQ(Hex(Ask(drive, Block({0x03, 0, 0, 0, 18})).data, 1), "70");
    drive.Reset();
    EXPECT_EQ(Send(drive, Block({0x00})).sense[0], 0x70);
}

INSTANTIATE_TEST_SUITE_P(Table, DriveModeSelect, testing::ValuesIn(kSelectRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
