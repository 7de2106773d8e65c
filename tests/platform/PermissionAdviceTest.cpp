// The advice about a refused right: the texts, the group name, and the record that keeps the
// first refusal of a run, also when several workers meet one at once.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/PermissionAdvice.h"

namespace {

using namespace platform::linux_sys;

std::string Advice(RefusedStep step, const char* node, const char* group)
{
    char advice[kAdviceSize];
    std::memset(advice, 'x', sizeof advice);
    FormatPermissionAdvice(step, node, group, advice);
    return advice;
}

TEST(PermissionError, OnlyMissingRightsCount)
{
    EXPECT_TRUE(IsPermissionError(EPERM));
    EXPECT_TRUE(IsPermissionError(EACCES));
    for (int error : {0, ENOENT, ENODEV, ENXIO, EIO, EBUSY, ENOTTY, EROFS})
        EXPECT_FALSE(IsPermissionError(error)) << error;
}

TEST(PermissionAdviceText, RefusedOpenNamesTheNodeAndItsGroup)
{
    EXPECT_EQ(Advice(RefusedStep::Open, "/dev/sg3", "cdrom"),
              "No permission to open /dev/sg3 for drive commands.\n"
              "Run Norvik as root, or add your user to the group \"cdrom\" of /dev/sg3 "
              "(sudo usermod -aG cdrom $USER) and log in again.");
}

// Joining root's group would be the wrong advice: the node wants the drives' group instead.
TEST(PermissionAdviceText, NodeOfRootsGroupIsNotAGroupToJoin)
{
    for (const char* group : {"root", "0"}) {
        const std::string advice = Advice(RefusedStep::Open, "/dev/sg0", group);
        EXPECT_EQ(advice.find("usermod"), std::string::npos) << advice;
        EXPECT_NE(advice.find("give /dev/sg0 to the group of the machine's drives"), std::string::npos) << advice;
    }
}

TEST(PermissionAdviceText, RefusedOpenWithoutKnownGroupStillSaysWhatToDo)
{
    const std::string advice = Advice(RefusedStep::Open, "/dev/sr0", "");
    EXPECT_NE(advice.find("/dev/sr0"), std::string::npos);
    EXPECT_NE(advice.find("group that owns /dev/sr0"), std::string::npos);
    EXPECT_EQ(advice.find("\"\""), std::string::npos);
}

TEST(PermissionAdviceText, RefusedCommandOnTheGenericNodeAsksForRoot)
{
    EXPECT_EQ(Advice(RefusedStep::Command, "/dev/sg3", "cdrom"),
              "The system refused a drive command sent through /dev/sg3.\nRun Norvik as root.");
}

TEST(PermissionAdviceText, RefusedCommandOnTheDriveNodePointsToTheGenericDriver)
{
    const std::string advice = Advice(RefusedStep::Command, "/dev/sr0", "");
    EXPECT_NE(advice.find("only root send firmware commands through /dev/sr0"), std::string::npos);
    EXPECT_NE(advice.find("sudo modprobe sg"), std::string::npos);
    EXPECT_EQ(advice.find("Run Norvik as root"), std::string::npos) << "root cannot update it without the node either";
}

TEST(PermissionAdviceText, LongNodePathIsCutInsideTheBuffer)
{
    const std::string node = "/dev/" + std::string(kAdviceSize * 2, 'n');
    const std::string advice = Advice(RefusedStep::Open, node.c_str(), "cdrom");
    EXPECT_EQ(advice.size(), size_t(kAdviceSize - 1));
}

TEST(PermissionAdviceText, MissingNodeTextStillGivesAnAdvice)
{
    EXPECT_NE(Advice(RefusedStep::Command, nullptr, nullptr).find("sudo modprobe sg"), std::string::npos);
}

TEST(PermissionGroupName, NamesAKnownGroupAndNumbersAnUnknownOne)
{
    char name[kGroupNameSize];
    GroupName(0, name);
    EXPECT_STREQ(name, "root");
    GroupName(3999999999u, name);
    EXPECT_STREQ(name, "3999999999");
}

TEST(PermissionRecordKeeping, NoAdviceUntilARefusalIsNoted)
{
    PermissionRecord record;
    EXPECT_EQ(record.Advice(), nullptr);
    record.Note(RefusedStep::Open, "/dev/sg3", "cdrom");
    ASSERT_NE(record.Advice(), nullptr);
    EXPECT_EQ(std::string(record.Advice()), Advice(RefusedStep::Open, "/dev/sg3", "cdrom"));
}

TEST(PermissionRecordKeeping, KeepsTheFirstRefusal)
{
    PermissionRecord record;
    record.Note(RefusedStep::Open, "/dev/sg3", "cdrom");
    const char* first = record.Advice();
    record.Note(RefusedStep::Command, "/dev/sr1", "");
    EXPECT_EQ(record.Advice(), first);
    EXPECT_EQ(std::string(record.Advice()), Advice(RefusedStep::Open, "/dev/sg3", "cdrom"));
}

TEST(PermissionRecordKeeping, WorkersNotingAtOnceLeaveOneWholeAdvice)
{
    PermissionRecord record;
    std::vector<std::string> nodes;
    for (int index = 0; index < 8; ++index) nodes.push_back("/dev/sg" + std::to_string(index));
    std::vector<std::thread> workers;
    for (const std::string& node : nodes)
        workers.emplace_back([&record, &node] { record.Note(RefusedStep::Open, node.c_str(), "cdrom"); });
    for (std::thread& worker : workers) worker.join();

    ASSERT_NE(record.Advice(), nullptr);
    int matches = 0;
    for (const std::string& node : nodes)
        matches += std::string(record.Advice()) == Advice(RefusedStep::Open, node.c_str(), "cdrom");
    EXPECT_EQ(matches, 1);
}

}  // namespace
