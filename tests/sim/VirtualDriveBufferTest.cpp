// The drive buffer, the flash profile packet and the commit that programs the flash.

#include <gtest/gtest.h>

#include <cstring>

#include "DriveHost.h"
#include "sim/VirtualDrive.h"

namespace {

using namespace simtest;
using sim::DriveConfig;
using sim::FlashState;
using sim::VirtualDrive;

constexpr uint32_t kBlock = 16384;
constexpr uint32_t kImage = sim::kDriveBufferSize;

// The default drive's chip is BF D6 00 01.
std::vector<uint8_t> MatchingProfile() { return MakeProfile({0xBF, 0xD6, 0x00, 0x01}, 1280); }

std::string SendProfileAtZero(VirtualDrive& drive, const std::vector<uint8_t>& packet)
{
    return Outcome(SendOut(drive, WriteBufferCdb(0, static_cast<uint32_t>(packet.size()), 0x7F), packet));
}

// --- Buffer ----------------------------------------------------------------------------------

TEST(VirtualDriveBuffer, WrittenBlockReadsBack)
{
    VirtualDrive drive;
    const std::vector<uint8_t> image = MakeImage(kImage);
    std::vector<uint8_t> block(image.begin() + 5 * kBlock, image.begin() + 6 * kBlock);
    EXPECT_EQ(Outcome(SendOut(drive, WriteBufferCdb(5 * kBlock, kBlock, 0x00), block)), "good");

    std::vector<uint8_t> back(kBlock, 0);
    const auto reply = Send(drive, ReadBufferCdb(5 * kBlock, kBlock), DataDirection::In, back.data(), kBlock);
    EXPECT_EQ(Outcome(reply), "good");
    EXPECT_EQ(reply.transferred, kBlock);
    EXPECT_EQ(back, block);
}

TEST(VirtualDriveBuffer, LastBlockFitsOneByteFurtherDoesNot)
{
    VirtualDrive drive;
    std::vector<uint8_t> block(kBlock, 0x42);
    EXPECT_EQ(Outcome(SendOut(drive, WriteBufferCdb(0x0FC000, kBlock, 0x00), block)), "good");
    EXPECT_EQ(Outcome(SendOut(drive, WriteBufferCdb(0x0FC001, kBlock, 0x00), block)), "sense 5/24/00");
    std::vector<uint8_t> back(kBlock + 1);
    EXPECT_EQ(Outcome(Send(drive, ReadBufferCdb(0x0FC000, kBlock + 1), DataDirection::In, back.data(), kBlock + 1)),
              "sense 5/24/00");
    EXPECT_EQ(Outcome(Send(drive, ReadBufferCdb(0x0FC000, kBlock), DataDirection::In, back.data(), kBlock)), "good");
    EXPECT_EQ(back[kBlock - 1], 0x42);
}

TEST(VirtualDriveBuffer, WrongModeOrBufferIdIsRefused)
{
    VirtualDrive drive;
    std::vector<uint8_t> data(16, 0);
    EXPECT_EQ(Outcome(SendOut(drive, Block({0x3B, 0x02, 0x01, 0, 0, 0, 0, 0, 16}), data)), "sense 5/24/00");
    EXPECT_EQ(Outcome(SendOut(drive, Block({0x3B, 0x05, 0x00, 0, 0, 0, 0, 0, 16}), data)), "sense 5/24/00");
    EXPECT_EQ(Outcome(Send(drive, Block({0x3C, 0x02, 0x01, 0, 0, 0, 0, 0, 16}), DataDirection::In, data.data(), 16)),
              "sense 5/24/00");
    EXPECT_EQ(Outcome(Send(drive, Block({0x3C, 0x01, 0x00, 0, 0, 0, 0, 0, 16}), DataDirection::In, data.data(), 16)),
              "sense 5/24/00");
}

TEST(VirtualDriveBuffer, DataPhaseMustMatchTheAnnouncedLength)
{
    VirtualDrive drive;
    EXPECT_EQ(Outcome(SendOut(drive, WriteBufferCdb(0, kBlock, 0x00), std::vector<uint8_t>(100))), "sense 5/24/00");
    EXPECT_EQ(Outcome(Send(drive, WriteBufferCdb(0, 16, 0x00))), "sense 5/24/00");
}

TEST(VirtualDriveBuffer, UnknownControlByteIsRefused)
{
    VirtualDrive drive;
    EXPECT_EQ(Outcome(SendOut(drive, WriteBufferCdb(0, 16, 0x01), std::vector<uint8_t>(16))), "sense 5/24/00");
}

// --- Flash profile packet --------------------------------------------------------------------

TEST(VirtualDriveProfile, PacketWithControl7FAtZeroIsRecordedNotBuffered)
{
    VirtualDrive drive;
    const std::vector<uint8_t> packet = MakeProfile({0xBF, 0xD6, 0x00, 0x02, 0x02, 0xB6}, 700);
    EXPECT_EQ(SendProfileAtZero(drive, packet), "good");

    const sim::ProfileRecord& profile = drive.profile();
    EXPECT_TRUE(profile.received);
    EXPECT_EQ(profile.offset, 0u);
    EXPECT_EQ(profile.control, 0x7F);
    EXPECT_EQ(profile.length, 700u);
    EXPECT_EQ(0, std::memcmp(profile.bytes, packet.data(), 700));
    EXPECT_EQ(drive.buffer()[0], 0);  // the profile does not land in the image buffer
}

TEST(VirtualDriveProfile, ShortPacketAt080000hBeforeAnyImageIsTheProfile)
{
    VirtualDrive drive;
    const std::vector<uint8_t> packet = MakeProfile({0xDA, 0xC8, 0x00, 0x00}, 318);
    EXPECT_EQ(Outcome(SendOut(drive, WriteBufferCdb(0x080000, 318, 0x00), packet)), "good");
    EXPECT_TRUE(drive.profile().received);
    EXPECT_EQ(drive.profile().offset, 0x080000u);
    EXPECT_EQ(drive.profile().control, 0x00);
    EXPECT_EQ(drive.profile().length, 318u);
}

TEST(VirtualDriveProfile, Block32At080000hAmongImageDataIsImage)
{
    VirtualDrive drive;
    const std::vector<uint8_t> image = MakeImage(kImage);
    ASSERT_TRUE(WriteImage(drive, image, kImage));
    EXPECT_FALSE(drive.profile().received);
    EXPECT_EQ(0, std::memcmp(drive.buffer(), image.data(), kImage));
}

TEST(VirtualDriveProfile, EmptyOrOversizedOrMisplacedPacketIsRefused)
{
    VirtualDrive drive;
    EXPECT_EQ(Outcome(Send(drive, WriteBufferCdb(0, 0, 0x7F))), "sense 5/24/00");
    EXPECT_EQ(SendProfileAtZero(drive, std::vector<uint8_t>(sim::kMaxProfilePacket + 1)), "sense 5/24/00");
    EXPECT_EQ(Outcome(SendOut(drive, WriteBufferCdb(0x10, 16, 0x7F), std::vector<uint8_t>(16))), "sense 5/24/00");
    EXPECT_FALSE(drive.profile().received);
}

// --- Commit ----------------------------------------------------------------------------------

TEST(VirtualDriveCommit, WholeImageAfterMatchingProfileProgramsAGoodImage)
{
    VirtualDrive drive;
    const std::vector<uint8_t> image = MakeImage(kImage);
    EXPECT_EQ(drive.flashState(), FlashState::Untouched);
    ASSERT_EQ(SendProfileAtZero(drive, MatchingProfile()), "good");
    ASSERT_TRUE(WriteImage(drive, image, kImage));
    EXPECT_EQ(Commit(drive, 0x80), "good");

    EXPECT_EQ(drive.flashState(), FlashState::Good);
    EXPECT_EQ(drive.lastCommit().bytesProgrammed, kImage);
    EXPECT_EQ(drive.lastCommit().control, 0x80);
    EXPECT_TRUE(drive.lastCommit().profileMatched);
    EXPECT_EQ(0, std::memcmp(drive.flash(), image.data(), kImage));
    EXPECT_EQ(InquiryRevision(drive), "RN08");
}

TEST(VirtualDriveCommit, DriveResetsAfterTheCommit)
{
    DriveConfig config;
    config.becomingReadyPolls = 1;
    VirtualDrive drive(config);
    SendProfileAtZero(drive, MatchingProfile());
    WriteImage(drive, MakeImage(kImage), kImage);
    Commit(drive, 0xA0);
    EXPECT_EQ(drive.lastCommit().control, 0xA0);
    EXPECT_EQ(TestUnitReady(drive), "sense 6/29/00");
    EXPECT_EQ(TestUnitReady(drive), "sense 2/04/01");
    EXPECT_EQ(TestUnitReady(drive), "sense 2/3A/01");
}

TEST(VirtualDriveCommit, ConfiguredNewRevisionAndImageSize)
{
    DriveConfig config;
    std::memcpy(config.newRevision, "RN09", 4);
    config.imageSize = 2 * kBlock;
    VirtualDrive drive(config);
    SendProfileAtZero(drive, MatchingProfile());
    WriteImage(drive, MakeImage(2 * kBlock), 2 * kBlock);
    Commit(drive);
    EXPECT_EQ(drive.flashState(), FlashState::Good);
    EXPECT_EQ(drive.lastCommit().bytesProgrammed, 2 * kBlock);
    EXPECT_STREQ(drive.revision(), "RN09");
}

TEST(VirtualDriveCommit, IncompleteImageLeavesADamagedDrive)
{
    VirtualDrive drive;
    SendProfileAtZero(drive, MatchingProfile());
    WriteImage(drive, MakeImage(kImage), kImage - kBlock);  // the last block never came
    EXPECT_EQ(Commit(drive), "good");
    EXPECT_EQ(drive.flashState(), FlashState::Damaged);
    EXPECT_EQ(drive.lastCommit().bytesProgrammed, kImage - kBlock);
    EXPECT_EQ(InquiryRevision(drive), "DEAD");
}

TEST(VirtualDriveCommit, ImageWithoutProfileLeavesADamagedDrive)
{
    VirtualDrive drive;
    WriteImage(drive, MakeImage(kImage), kImage);
    Commit(drive);
    EXPECT_EQ(drive.flashState(), FlashState::Damaged);
    EXPECT_FALSE(drive.lastCommit().profileMatched);
    EXPECT_EQ(InquiryRevision(drive), "DEAD");
}

TEST(VirtualDriveCommit, ProfileOfAnotherChipLeavesADamagedDrive)
{
    VirtualDrive drive;
    SendProfileAtZero(drive, MakeProfile({0xBF, 0xD6, 0x00, 0x02}, 700));
    WriteImage(drive, MakeImage(kImage), kImage);
    Commit(drive);
    EXPECT_EQ(drive.flashState(), FlashState::Damaged);
    EXPECT_FALSE(drive.lastCommit().profileMatched);
}

TEST(VirtualDriveCommit, ProfileAfterTheImageLeavesADamagedDrive)
{
    VirtualDrive drive;
    WriteImage(drive, MakeImage(kImage), kImage);
    SendProfileAtZero(drive, MatchingProfile());
    Commit(drive);
    EXPECT_EQ(drive.flashState(), FlashState::Damaged);
    EXPECT_EQ(drive.lastCommit().bytesProgrammed, 0u);
}

TEST(VirtualDriveCommit, RepeatedPassesCountAsTheWholeImage)
{
    VirtualDrive drive;
    const std::vector<uint8_t> image = MakeImage(kImage);
    SendProfileAtZero(drive, MatchingProfile());
    WriteImage(drive, image, kImage / 2);
    WriteImage(drive, image, kImage);
    Commit(drive);
    EXPECT_EQ(drive.flashState(), FlashState::Good);
}

TEST(VirtualDriveCommit, DamagedRevisionIsConfigurable)
{
    DriveConfig config;
    std::memcpy(config.damagedRevision, "XXXX", 4);
    VirtualDrive drive(config);
    Commit(drive);
    EXPECT_EQ(InquiryRevision(drive), "XXXX");
}

TEST(VirtualDriveCommit, MalformedCommitIsRefusedAndProgramsNothing)
{
    VirtualDrive drive;
    EXPECT_EQ(Outcome(SendOut(drive, WriteBufferCdb(0, 16, 0x80), std::vector<uint8_t>(16))), "sense 5/24/00");
    EXPECT_EQ(Outcome(SendOut(drive, WriteBufferCdb(0, 0, 0x80), std::vector<uint8_t>(15))), "sense 5/24/00");
    EXPECT_EQ(drive.flashState(), FlashState::Untouched);
    EXPECT_EQ(drive.lastCommit().commitCount, 0u);
    EXPECT_STREQ(drive.revision(), "RN05");
}

TEST(VirtualDriveCommit, ResetForgetsTheProfile)
{
    VirtualDrive drive;
    SendProfileAtZero(drive, MatchingProfile());
    drive.Reset();
    EXPECT_EQ(TestUnitReady(drive), "sense 6/29/00");
    ASSERT_TRUE(WriteImage(drive, MakeImage(kImage), kImage));
    Commit(drive);
    EXPECT_EQ(drive.flashState(), FlashState::Damaged);
}

}  // namespace
