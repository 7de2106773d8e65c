// The flash profile step: the values derived from the two tables, row by row against figures
// written out here, and SendFlashProfile against the virtual drive, which records the command
// blocks it receives (its trace) and the profile packet itself.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "device/AtapiDevice.h"
#include "flash/FlashProfiles.h"
#include "payload/ProfileStore.h"
#include "sim/VirtualSystem.h"
#include "tests/support/AllocationCounter.h"

namespace {

// One row of the table as the drive maker documents it: key, length bytes, and what follows.
struct RowCase {
    int row;
    uint8_t key[4];
    uint8_t lengthBytes[2];
    uint32_t profileLength;
    int profileNumber;
    uint32_t storeOffset;
    uint32_t headerSize;
    uint32_t transferLength;
    uint32_t bufferOffset;
    uint8_t control;
};

void PrintTo(const RowCase& row, std::ostream* out) { *out << "row " << row.row; }

const RowCase kRows[] = {
    {0, {0xDA, 0xC8, 0x00, 0x00}, {0x01, 0x3A}, 314, 0, 0, 4, 318, 0x080000, 0x00},
    {1, {0xBF, 0xB4, 0x00, 0x00}, {0x01, 0xC4}, 452, 1, 314, 4, 456, 0x080000, 0x00},
    {2, {0xBF, 0xD6, 0x00, 0x01}, {0x05, 0x00}, 1280, 2, 766, 6, 1280, 0, 0x7F},
    {3, {0xBF, 0xB6, 0x00, 0x01}, {0x05, 0x00}, 1280, 2, 766, 6, 1280, 0, 0x7F},
    {4, {0x37, 0x8C, 0x00, 0x01}, {0x05, 0x00}, 1280, 3, 2046, 6, 1280, 0, 0x7F},
    {5, {0xBF, 0xD7, 0x00, 0x03}, {0x03, 0xE6}, 998, 4, 3326, 6, 1004, 0, 0x7F},
    {6, {0x37, 0x0D, 0x00, 0x02}, {0x03, 0x1C}, 796, 5, 4324, 6, 802, 0, 0x7F},
    {7, {0xBF, 0xB6, 0x00, 0x02}, {0x02, 0xB6}, 694, 6, 5120, 6, 700, 0, 0x7F},
    {8, {0xBF, 0xD6, 0x00, 0x02}, {0x02, 0xB6}, 694, 6, 5120, 6, 700, 0, 0x7F},
    {9, {0xDA, 0xB5, 0x00, 0x02}, {0x02, 0xBA}, 698, 7, 5814, 6, 704, 0, 0x7F},
    {10, {0xDA, 0xB5, 0x00, 0x01}, {0x05, 0x00}, 1280, 8, 6512, 6, 1286, 0, 0x7F},
    {11, {0xBF, 0xD7, 0x00, 0x04}, {0x03, 0x56}, 854, 9, 7792, 6, 860, 0, 0x7F},
    {12, {0xC2, 0xB6, 0x00, 0x03}, {0x03, 0x3E}, 830, 10, 8646, 6, 836, 0, 0x7F},
    {13, {0xDA, 0x46, 0x00, 0x03}, {0x02, 0xE6}, 742, 11, 9476, 6, 748, 0, 0x7F},
    {14, {0x37, 0xB5, 0x00, 0x03}, {0x03, 0xB2}, 946, 12, 10218, 6, 952, 0, 0x7F},
    {15, {0xC2, 0xB6, 0x00, 0x07}, {0x03, 0x1E}, 798, 13, 11164, 6, 804, 0, 0x7F},
    {16, {0xDA, 0x46, 0x00, 0x07}, {0x02, 0xC6}, 710, 14, 11962, 6, 716, 0, 0x7F},
    {17, {0x37, 0xB5, 0x00, 0x04}, {0x03, 0xAE}, 942, 15, 12672, 6, 948, 0, 0x7F},
    {18, {0xBF, 0xD8, 0x00, 0x05}, {0x04, 0xD2}, 1234, 16, 13614, 6, 1240, 0, 0x7F},
    {19, {0x01, 0x37, 0x00, 0x05}, {0x04, 0xD2}, 1234, 16, 13614, 6, 1240, 0, 0x7F},
    {20, {0xC2, 0x37, 0x00, 0x05}, {0x04, 0xD2}, 1234, 16, 13614, 6, 1240, 0, 0x7F},
    {21, {0xC2, 0x38, 0x00, 0x05}, {0x04, 0xD2}, 1234, 16, 13614, 6, 1240, 0, 0x7F},
    {22, {0xBF, 0xD8, 0x00, 0x06}, {0x04, 0x36}, 1078, 17, 14848, 6, 1084, 0, 0x7F},
    {23, {0x01, 0x37, 0x00, 0x06}, {0x04, 0x62}, 1122, 18, 15926, 6, 1128, 0, 0x7F},
};

std::string RowName(const testing::TestParamInfo<RowCase>& info) { return "Row" + std::to_string(info.param.row); }

// "BFD60002" for a drive's text form.
std::string ChipText(const uint8_t (&key)[4])
{
    char text[9];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X", key[0], key[1], key[2], key[3]);
    return text;
}

// The WRITE BUFFER that carries a row's packet, as the drive's trace shows it.
std::string ProfileWriteLine(const RowCase& row)
{
    char line[64];
    std::snprintf(line, sizeof line, "3B0501%06X%06X%02X0000 out %u good", row.bufferOffset, row.transferLength,
                  row.control, row.transferLength);
    return line;
}

const std::string kFlashIdLine = "DF1100000000000000000000 in 128 good";

// The synthetic profile's tag, "NVPROF" and its number in two digits.
std::string Tag(int profileNumber)
{
    char tag[9];
    std::snprintf(tag, sizeof tag, "NVPROF%02d", profileNumber);
    return tag;
}

// ---- The tables and what follows from them -----------------------------------------------

class ProfileTable : public testing::TestWithParam<RowCase> {};

TEST_P(ProfileTable, HoldsTheRowsKeyLengthAndProfileNumber)
{
    const RowCase& row = GetParam();
    EXPECT_TRUE(std::equal(row.key, row.key + 4, flash::kFlashProfileTable[row.row]));
    EXPECT_EQ(flash::kFlashProfileTable[row.row][4], row.lengthBytes[0]);
    EXPECT_EQ(flash::kFlashProfileTable[row.row][5], row.lengthBytes[1]);
    EXPECT_EQ(flash::kProfileNumbers[row.row], row.profileNumber);
}

TEST_P(ProfileTable, DerivesLengthOffsetHeaderTransferAndTarget)
{
    const RowCase& row = GetParam();
    EXPECT_EQ(flash::ProfileLength(row.row), row.profileLength);
    EXPECT_EQ(flash::ProfileStoreOffset(row.row), row.storeOffset);
    EXPECT_EQ(flash::ProfileHeaderSize(row.row), row.headerSize);
    EXPECT_EQ(flash::ProfileTransferLength(row.row), row.transferLength);
    EXPECT_EQ(flash::ProfileBufferOffset(row.row), row.bufferOffset);
    EXPECT_EQ(flash::ProfileControl(row.row), row.control);
}

TEST_P(ProfileTable, KeyFindsItsRow)
{
    const RowCase& row = GetParam();
    EXPECT_EQ(flash::FindProfileRow(row.key[0], row.key[1], row.key[2], row.key[3]), row.row);
}

// The delivered store is the synthetic one: each profile starts with its own tag.
TEST_P(ProfileTable, ProfileInTheStoreStartsWithItsTag)
{
    const RowCase& row = GetParam();
    const uint8_t* store = payload::OwnProfileStore();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(store + row.storeOffset), 8), Tag(row.profileNumber));
}

INSTANTIATE_TEST_SUITE_P(AllRows, ProfileTable, testing::ValuesIn(kRows), RowName);

TEST(ProfileTableRules, LastProfileEndsAtTheEndOfTheStore)
{
    EXPECT_EQ(flash::ProfileStoreOffset(23) + flash::ProfileLength(23), 17048u);
    EXPECT_EQ(payload::kProfileStoreSize, 17048u);
}

TEST(ProfileTableRules, OddLengthGainsOneByte)
{
    EXPECT_EQ(flash::EvenLength(313), 314u);
    EXPECT_EQ(flash::EvenLength(1), 2u);
    EXPECT_EQ(flash::EvenLength(314), 314u);
    EXPECT_EQ(flash::EvenLength(0), 0u);
}

TEST(FindProfileRow, MatchesAllFourBytesOrNothing)
{
    EXPECT_FALSE(flash::FindProfileRow(0xBF, 0xD6, 0x00, 0x09).has_value());
    EXPECT_FALSE(flash::FindProfileRow(0x00, 0x00, 0x00, 0x00).has_value());
    EXPECT_FALSE(flash::FindProfileRow(0xD6, 0xBF, 0x01, 0x00).has_value());  // bytes in another order
    EXPECT_FALSE(flash::FindProfileRow(0xBF, 0xD6, 0x01, 0x00).has_value());
    EXPECT_FALSE(flash::FindProfileRow(0xDA, 0xC8, 0x00, 0x01).has_value());
}

// ---- FetchProfile --------------------------------------------------------------------------

TEST(FetchProfile, CopiesTheRowsProfileToTheStartOfTheDestination)
{
    std::vector<uint8_t> destination(2000, 0xEE);
    const uint8_t* fetched = flash::FetchProfile(0xBF, 0xD6, 0x00, 0x02, destination);
    ASSERT_EQ(fetched, destination.data());
    const uint8_t* profile6 = payload::OwnProfileStore() + 5120;
    EXPECT_TRUE(std::equal(destination.begin(), destination.begin() + 694, profile6));
    EXPECT_EQ(std::string(destination.begin(), destination.begin() + 8), "NVPROF06");
    EXPECT_TRUE(std::all_of(destination.begin() + 694, destination.end(), [](uint8_t b) { return b == 0xEE; }));
}

TEST(FetchProfile, CopiesNothingForAnUnknownKey)
{
    std::vector<uint8_t> destination(2000, 0xEE);
    EXPECT_EQ(flash::FetchProfile(0xBF, 0xD6, 0x00, 0x09, destination), nullptr);
    EXPECT_TRUE(std::all_of(destination.begin(), destination.end(), [](uint8_t b) { return b == 0xEE; }));
}

TEST(FetchProfile, CopiesNothingIntoADestinationTooShort)
{
    std::vector<uint8_t> destination(313, 0xEE);
    EXPECT_EQ(flash::FetchProfile(0xDA, 0xC8, 0x00, 0x00, destination), nullptr);
    EXPECT_TRUE(std::all_of(destination.begin(), destination.end(), [](uint8_t b) { return b == 0xEE; }));
    destination.resize(314);
    EXPECT_EQ(flash::FetchProfile(0xDA, 0xC8, 0x00, 0x00, destination), destination.data());
}

// ---- SendFlashProfile against the virtual drive --------------------------------------------

class FlashProfileStep : public testing::Test {
protected:
    // Adds a drive described in the text form, builds the device object (which scans) and
    // selects the drive; the trace then starts empty.
    void Open(const std::string& text)
    {
        std::string reason;
        drive = system.AddDrive(text, reason);
        ASSERT_NE(drive, nullptr) << reason;
        device = std::make_unique<AtapiDevice>(system);
        ASSERT_EQ(device->DriveCount(), 1);
        ASSERT_TRUE(device->SelectDrive(0));
        drive->ClearTrace();
    }

    void AddFault(sim::FaultKind kind, uint8_t opcode)
    {
        sim::Fault fault;
        fault.kind = kind;
        fault.trigger = sim::FaultTrigger::Opcode;
        fault.opcode = opcode;
        fault.number = 1;
        fault.repeat = 0;
        fault.senseKey = 0x5;
        fault.asc = 0x24;
        ASSERT_TRUE(drive->AddFault(fault));
    }

    const std::vector<std::string>& Trace() const { return drive->trace(); }
    const sim::ProfileRecord& Packet() const { return drive->profile(); }
    std::string PacketHex(uint32_t count) const
    {
        std::string text;
        for (uint32_t i = 0; i < count; ++i) {
            char byte[3];
            std::snprintf(byte, sizeof byte, "%02X", Packet().bytes[i]);
            text += byte;
        }
        return text;
    }

    sim::VirtualSystem system;
    sim::VirtualDrive* drive = nullptr;
    std::unique_ptr<AtapiDevice> device;
};

class FlashProfileForRow : public FlashProfileStep, public testing::WithParamInterface<RowCase> {};

TEST_P(FlashProfileForRow, SendsTheHeaderAndTheProfileWithTheRowsWriteBuffer)
{
    const RowCase& row = GetParam();
    Open("disc=1,chip=" + ChipText(row.key));

    ASSERT_TRUE(device->SendFlashProfile());
    ASSERT_EQ(Trace().size(), 2u);
    EXPECT_EQ(Trace()[0], kFlashIdLine);
    EXPECT_EQ(Trace()[1], ProfileWriteLine(row));

    ASSERT_TRUE(Packet().received);
    EXPECT_EQ(Packet().offset, row.bufferOffset);
    EXPECT_EQ(Packet().control, row.control);
    ASSERT_EQ(Packet().length, row.transferLength);
    EXPECT_TRUE(std::equal(row.key, row.key + 4, Packet().bytes));
    if (row.headerSize == 6) {
        EXPECT_EQ(Packet().bytes[4], row.lengthBytes[0]);
        EXPECT_EQ(Packet().bytes[5], row.lengthBytes[1]);
    }
    // Behind the header: the row's profile, as far as the transfer reaches.
    const uint32_t profileBytesSent = std::min(row.profileLength, row.transferLength - row.headerSize);
    const uint8_t* profile = payload::OwnProfileStore() + row.storeOffset;
    EXPECT_TRUE(std::equal(profile, profile + profileBytesSent, Packet().bytes + row.headerSize));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Packet().bytes + row.headerSize), 8), Tag(row.profileNumber));
}

// The drive takes the packet as made for its chip: an image sent after it commits good.
TEST_P(FlashProfileForRow, DriveAcceptsThePacketForItsChip)
{
    const RowCase& row = GetParam();
    Open("disc=1,image=16,chip=" + ChipText(row.key));
    ASSERT_TRUE(device->SendFlashProfile());

    std::memset(device->OutputBuffer(), 0x5A, 16);
    ASSERT_TRUE(device->WriteBuffer(0, 16, 0x00));
    ASSERT_TRUE(device->WriteBuffer(0, 0, 0x80));
    EXPECT_TRUE(drive->lastCommit().profileMatched);
    EXPECT_EQ(drive->flashState(), sim::FlashState::Good);
}

INSTANTIATE_TEST_SUITE_P(AllRows, FlashProfileForRow, testing::ValuesIn(kRows), RowName);

TEST_F(FlashProfileStep, ChipDAC8SelectsRow0AtOffset080000WithControl00)
{
    Open("disc=1,chip=DAC80000");
    ASSERT_TRUE(device->SendFlashProfile());
    ASSERT_EQ(Trace().size(), 2u);
    EXPECT_EQ(Trace()[1], "3B050108000000013E000000 out 318 good");
    EXPECT_EQ(PacketHex(4), "DAC80000");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Packet().bytes + 4), 8), "NVPROF00");
    EXPECT_TRUE(std::equal(Packet().bytes + 4, Packet().bytes + 318, payload::OwnProfileStore()));
}

TEST_F(FlashProfileStep, ChipBFD6Variant1SendsRow2ShortOfItsLastSixBytes)
{
    Open("disc=1,chip=BFD60001");
    ASSERT_TRUE(device->SendFlashProfile());
    ASSERT_EQ(Trace().size(), 2u);
    EXPECT_EQ(Trace()[1], "3B05010000000005007F0000 out 1280 good");
    ASSERT_EQ(Packet().length, 1280u);
    EXPECT_EQ(PacketHex(6), "BFD600010500");
    const uint8_t* profile2 = payload::OwnProfileStore() + 766;
    EXPECT_TRUE(std::equal(profile2, profile2 + 1274, Packet().bytes + 6));
    // The drive received nothing past the transfer length.
    EXPECT_TRUE(std::all_of(Packet().bytes + 1280, Packet().bytes + 1286, [](uint8_t b) { return b == 0; }));
}

TEST_F(FlashProfileStep, ChipBFD6Variant2SendsRow8WithProfile6)
{
    Open("disc=1,chip=BFD60002");
    ASSERT_TRUE(device->SendFlashProfile());
    ASSERT_EQ(Trace().size(), 2u);
    EXPECT_EQ(Trace()[1], "3B05010000000002BC7F0000 out 700 good");
    EXPECT_EQ(PacketHex(6), "BFD6000202B6");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Packet().bytes + 6), 8), "NVPROF06");
    EXPECT_TRUE(std::equal(Packet().bytes + 6, Packet().bytes + 700, payload::OwnProfileStore() + 5120));
}

TEST_F(FlashProfileStep, Rows18To21SendTheSameProfileBehindTheirOwnHeaders)
{
    const char* chips[] = {"BFD80005", "01370005", "C2370005", "C2380005"};
    std::vector<std::vector<uint8_t>> profiles;
    for (const char* chip : chips) {
        sim::VirtualSystem own;
        std::string reason;
        sim::VirtualDrive* ownDrive = own.AddDrive(std::string("disc=1,chip=") + chip, reason);
        ASSERT_NE(ownDrive, nullptr) << reason;
        AtapiDevice ownDevice(own);
        ASSERT_TRUE(ownDevice.SelectDrive(0));
        ASSERT_TRUE(ownDevice.SendFlashProfile()) << chip;
        const sim::ProfileRecord& packet = ownDrive->profile();
        ASSERT_EQ(packet.length, 1240u) << chip;
        char header[13];
        std::snprintf(header, sizeof header, "%02X%02X%02X%02X%02X%02X", packet.bytes[0], packet.bytes[1],
                      packet.bytes[2], packet.bytes[3], packet.bytes[4], packet.bytes[5]);
        EXPECT_EQ(std::string(header), std::string(chip) + "04D2");
        profiles.emplace_back(packet.bytes + 6, packet.bytes + 1240);
    }
    EXPECT_EQ(std::string(profiles[0].begin(), profiles[0].begin() + 8), "NVPROF16");
    for (const auto& profile : profiles) EXPECT_TRUE(profile == profiles[0]);
}

// ---- What is cleared, and nothing allocated ------------------------------------------------

TEST_F(FlashProfileStep, ClearsTheFirst32768BytesOfTheOutputBufferOnly)
{
    Open("disc=1,chip=BFD60002");
    std::memset(device->OutputBuffer(), 0xEE, kBufferSize);
    ASSERT_TRUE(device->SendFlashProfile());
    const uint8_t* out = device->OutputBuffer();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out + 6), 8), "NVPROF06");
    EXPECT_TRUE(std::all_of(out + 700, out + 32768, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(out + 32768, out + kBufferSize, [](uint8_t b) { return b == 0xEE; }));
}

TEST_F(FlashProfileStep, ClearsTheBufferEvenWhenNoRowMatches)
{
    Open("disc=1,chip=BFD60009");
    std::memset(device->OutputBuffer(), 0xEE, kBufferSize);
    EXPECT_FALSE(device->SendFlashProfile());
    const uint8_t* out = device->OutputBuffer();
    EXPECT_TRUE(std::all_of(out, out + 32768, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(out[32768], 0xEE);
}

TEST_F(FlashProfileStep, AllocatesNothing)
{
    Open("disc=1,chip=BFD80005");
    drive->SetTraceEnabled(false);  // the trace is the drive model's, not the program's
    ASSERT_TRUE(device->SendFlashProfile());
    const uint64_t before = testsupport::ProgramAllocationCount();
    EXPECT_TRUE(device->SendFlashProfile());
    EXPECT_EQ(testsupport::ProgramAllocationCount(), before);
}

// ---- Failures: false, and no packet sent ---------------------------------------------------

TEST_F(FlashProfileStep, UnknownChipSendsNothing)
{
    Open("disc=1,chip=BFD60009");
    EXPECT_FALSE(device->SendFlashProfile());
    ASSERT_EQ(Trace().size(), 1u);
    EXPECT_EQ(Trace()[0], kFlashIdLine);
    EXPECT_FALSE(Packet().received);
}

TEST_F(FlashProfileStep, AllZeroIdentificationSendsNothing)
{
    Open("disc=1,chip=none");
    EXPECT_FALSE(device->SendFlashProfile());
    ASSERT_EQ(Trace().size(), 1u);
    EXPECT_EQ(Trace()[0], kFlashIdLine);
    EXPECT_FALSE(Packet().received);
}

TEST_F(FlashProfileStep, FailedIdentificationWithSenseSendsNothing)
{
    Open("disc=1,chip=BFD60002");
    AddFault(sim::FaultKind::Sense, 0xDF);
    EXPECT_FALSE(device->SendFlashProfile());
    ASSERT_EQ(Trace().size(), 1u);
    EXPECT_EQ(Trace()[0], "DF1100000000000000000000 in 128 sense 5/24/00");
    EXPECT_FALSE(Packet().received);
}

TEST_F(FlashProfileStep, FailedIdentificationRequestSendsNothing)
{
    Open("disc=1,chip=BFD60002");
    AddFault(sim::FaultKind::RequestFails, 0xDF);
    EXPECT_FALSE(device->SendFlashProfile());
    ASSERT_EQ(Trace().size(), 1u);
    EXPECT_EQ(Trace()[0], "DF1100000000000000000000 in 128 failed");
    EXPECT_FALSE(Packet().received);
}

TEST_F(FlashProfileStep, FailedWriteBufferIsFalse)
{
    Open("disc=1,chip=BFD60002");
    AddFault(sim::FaultKind::Sense, 0x3B);
    EXPECT_FALSE(device->SendFlashProfile());
    ASSERT_EQ(Trace().size(), 2u);
    EXPECT_EQ(Trace()[1], "3B05010000000002BC7F0000 out 700 sense 5/24/00");
    EXPECT_FALSE(Packet().received);
}

TEST_F(FlashProfileStep, FailedWriteBufferRequestIsFalse)
{
    Open("disc=1,chip=DAC80000");
    AddFault(sim::FaultKind::RequestFails, 0x3B);
    EXPECT_FALSE(device->SendFlashProfile());
    ASSERT_EQ(Trace().size(), 2u);
    EXPECT_EQ(Trace()[1], "3B050108000000013E000000 out 318 failed");
}

TEST_F(FlashProfileStep, AsksTheDriveAgainInsteadOfUsingTheDiscoveredKey)
{
    // Discovery keeps the key; the step asks anew, so a drive that now answers with zeros
    // gets no packet.
    Open("disc=1,chip=BFD60002");
    EXPECT_EQ(device->GetDrive(0)->flashId[0], 0xBF);
    AddFault(sim::FaultKind::Sense, 0xDF);
    EXPECT_FALSE(device->SendFlashProfile());
    EXPECT_EQ(Trace().size(), 1u);
}

TEST_F(FlashProfileStep, FreedBuffersSendNothing)
{
    Open("disc=1,chip=BFD60002");
    device->FreeBuffers();
    EXPECT_FALSE(device->SendFlashProfile());
    EXPECT_TRUE(Trace().empty());
}

// ---- Which way the step ended, as the download learns it -----------------------------------

struct OutcomeCase {
    const char* name;
    const char* drive;
    std::optional<sim::FaultKind> fault;
    uint8_t faultOpcode;
    bool freeBuffers;
    ProfileOutcome expected;
};

// clang-format off
const OutcomeCase kOutcomeCases[] = {
    {"Sent", "disc=1,chip=BFD60002", std::nullopt, 0, false, ProfileOutcome::Sent},
    {"UnknownChip", "disc=1,chip=BFD60009", std::nullopt, 0, false, ProfileOutcome::NoProfile},
    {"AllZeroChip", "disc=1,chip=none", std::nullopt, 0, false, ProfileOutcome::NoProfile},
    {"IdentificationSense", "disc=1,chip=BFD60002", sim::FaultKind::Sense, 0xDF, false, ProfileOutcome::CommandFailed},
    {"IdentificationRequestFails", "disc=1,chip=BFD60002", sim::FaultKind::RequestFails, 0xDF, false,
     ProfileOutcome::CommandFailed},
    {"ProfileWriteSense", "disc=1,chip=BFD60002", sim::FaultKind::Sense, 0x3B, false, ProfileOutcome::CommandFailed},
    {"NoBuffers", "disc=1,chip=BFD60002", std::nullopt, 0, true, ProfileOutcome::CommandFailed},
};
// clang-format on

class FlashProfileOutcome : public FlashProfileStep, public testing::WithParamInterface<OutcomeCase> {};

TEST_P(FlashProfileOutcome, TellsHowTheStepEndedAndAgreesWithTheBoolean)
{
    const OutcomeCase& c = GetParam();
    Open(c.drive);
    if (c.fault) AddFault(*c.fault, c.faultOpcode);
    if (c.freeBuffers) device->FreeBuffers();
    EXPECT_EQ(device->RunFlashProfileStep(), c.expected);
    EXPECT_EQ(Packet().received, c.expected == ProfileOutcome::Sent);
}

INSTANTIATE_TEST_SUITE_P(Cases, FlashProfileOutcome, testing::ValuesIn(kOutcomeCases),
                         [](const testing::TestParamInfo<OutcomeCase>& info) { return info.param.name; });

}  // namespace
