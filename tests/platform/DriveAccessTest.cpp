// The drive operations of the Linux seam over a sysfs tree of the test's own and nodes that are
// no drives: how a node is opened, where its address comes from, what a refused open leaves.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/linux/DriveAccess.h"
#include "tests/platform/FakeSysfs.h"

namespace {

using namespace platform::linux_sys;
using platform::AddressQuery;
using platform::DataDirection;
using platform::DriveHandle;
using platform::DriveRootList;
using platform::kInvalidDriveHandle;
using platform::PassThroughRequest;
using platform::ScsiAddress;

constexpr uid_t kNobody = 65534;

class DriveAccessTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sysfs.Made()); }

    // A regular file in the test's folder, short enough to be a node path.
    std::string MakeFile(const char* name, mode_t mode)
    {
        const std::string path = std::string(sysfs.Root()) + "/" + name;
        const int file = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, mode);
        EXPECT_GE(file, 0);
        if (file >= 0)
            close(file);
        chmod(path.c_str(), mode);
        return path;
    }

    static PassThroughRequest InquiryRequest(uint8_t* data)
    {
        PassThroughRequest request;
        std::memset(&request, 0, sizeof request);
        request.cdb[0] = 0x12;
        request.cdb[4] = 96;
        request.direction = DataDirection::In;
        request.data = data;
        request.length = 96;
        request.timeoutMs = 108000;
        std::memset(request.sense, 0xEE, sizeof request.sense);
        request.transferred = 77;
        return request;
    }

    norvik_test::FakeSysfs sysfs;
};

using DriveAccessDiscovery = DriveAccessTest;
using DriveAccessOpen = DriveAccessTest;
using DriveAccessAddress = DriveAccessTest;
using DriveAccessCommands = DriveAccessTest;
using DriveAccessRefusalDeathTest = DriveAccessTest;

TEST_F(DriveAccessDiscovery, ListsAndRecognisesTheDrivesOfItsSysfs)
{
    sysfs.AddBlockDevice("sr10", "3:0:0:0");
    sysfs.AddBlockDevice("sr2", "2:0:0:0", "sg4");
    sysfs.AddBlockDevice("sda", "0:0:0:0");
    DriveAccess access(sysfs.Root());
    DriveRootList list;
    access.ListDriveRoots(list);
    ASSERT_EQ(list.count, 2);
    EXPECT_STREQ(list.roots[0], "/dev/sr2");
    EXPECT_STREQ(list.roots[1], "/dev/sr10");
    EXPECT_TRUE(access.IsOpticalDrive("/dev/sr10"));
    EXPECT_FALSE(access.IsOpticalDrive("/dev/sda"));
}

TEST_F(DriveAccessOpen, OpensReadWriteWithoutWaitingAndNotInherited)
{
    const std::string node = MakeFile("node", 0600);
    ASSERT_LT(node.size(), size_t(kNodePathSize));
    DriveAccess access(sysfs.Root());
    const DriveHandle drive = access.OpenDrive(node.c_str());
    ASSERT_NE(drive, kInvalidDriveHandle);
    const int descriptor = static_cast<int>(drive);
    const int status = fcntl(descriptor, F_GETFL);
    EXPECT_EQ(status & O_ACCMODE, O_RDWR);
    EXPECT_NE(status & O_NONBLOCK, 0);
    EXPECT_NE(fcntl(descriptor, F_GETFD) & FD_CLOEXEC, 0);

    access.CloseDrive(drive);
    EXPECT_EQ(fcntl(descriptor, F_GETFD), -1);
    EXPECT_EQ(access.PermissionAdvice(), nullptr);
}

TEST_F(DriveAccessOpen, MissingNodeGivesNoHandleAndNoAdvice)
{
    const std::string node = std::string(sysfs.Root()) + "/absent";
    DriveAccess access(sysfs.Root());
    EXPECT_EQ(access.OpenDrive(node.c_str()), kInvalidDriveHandle);
    EXPECT_EQ(access.OpenDrive(nullptr), kInvalidDriveHandle);
    EXPECT_EQ(access.PermissionAdvice(), nullptr);
}

TEST_F(DriveAccessRefusalDeathTest, RefusedOpenLeavesAdviceNamingTheNodeAndItsGroup)
{
    // A node this process may not open. Root may open anything, so the open runs in a child that
    // has given up root for nobody; the folder lets nobody in to look at the node's group.
    chmod(sysfs.Root(), 0755);
    const std::string node = MakeFile("sg7", 0);
    struct stat status;
    ASSERT_EQ(stat(node.c_str(), &status), 0);
    char group[kGroupNameSize];
    GroupName(status.st_gid, group);
    const std::string quotedGroup = "\"" + std::string(group) + "\"";

    const auto openAsUnprivileged = [&] {
        if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
            std::_Exit(2);
        DriveAccess access(sysfs.Root());
        if (access.OpenDrive(node.c_str()) != kInvalidDriveHandle)
            std::_Exit(3);
        const char* advice = access.PermissionAdvice();
        if (advice == nullptr)
            std::_Exit(4);
        const std::string text(advice);
        std::_Exit(text.find("open " + node) != std::string::npos && text.find(quotedGroup) != std::string::npos
                       ? 0
                       : 5);
    };
    EXPECT_EXIT(openAsUnprivileged(), testing::ExitedWithCode(0), "");
}

TEST_F(DriveAccessAddress, ReadsTheAddressOfTheOpenNodeFromSysfs)
{
    struct stat status;
    ASSERT_EQ(stat("/dev/null", &status), 0);
    const std::string number = std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
    sysfs.AddDeviceNumber("char", number, "5:0:2:1");
    DriveAccess access(sysfs.Root());
    const DriveHandle drive = access.OpenDrive("/dev/null");
    ASSERT_NE(drive, kInvalidDriveHandle);
    ScsiAddress address{};
    EXPECT_EQ(access.QueryScsiAddress(drive, address), AddressQuery::Found);
    EXPECT_EQ(address.host, 5);
    EXPECT_EQ(address.path, 0);
    EXPECT_EQ(address.target, 2);
    EXPECT_EQ(address.lun, 1);
    access.CloseDrive(drive);
}

TEST_F(DriveAccessAddress, NodeWithoutAddressGivesQueryFailed)
{
    const std::string node = MakeFile("plain", 0600);
    DriveAccess access(sysfs.Root());
    const DriveHandle drive = access.OpenDrive(node.c_str());
    ASSERT_NE(drive, kInvalidDriveHandle);
    ScsiAddress address{1, 2, 3, 4};
    EXPECT_EQ(access.QueryScsiAddress(drive, address), AddressQuery::QueryFailed);
    EXPECT_EQ(address.host, -1);
    EXPECT_EQ(address.path, -1);
    EXPECT_EQ(address.target, -1);
    EXPECT_EQ(address.lun, -1);
    access.CloseDrive(drive);

    address = ScsiAddress{1, 2, 3, 4};
    EXPECT_EQ(access.QueryScsiAddress(kInvalidDriveHandle, address), AddressQuery::QueryFailed);
    EXPECT_EQ(address.host, -1);
}

TEST_F(DriveAccessAddress, StorageDescriptorIsNotQueriedAndStaysZero)
{
    DriveAccess access(sysfs.Root());
    uint8_t descriptor[platform::kStorageDescriptorSize];
    std::memset(descriptor, 0xEE, sizeof descriptor);
    EXPECT_FALSE(access.QueryStorageDescriptor(kInvalidDriveHandle, descriptor));
    for (uint8_t byte : descriptor)
        EXPECT_EQ(byte, 0);
}

TEST_F(DriveAccessCommands, NodeThatIsNoDriveFailsWithoutAdvice)
{
    DriveAccess access(sysfs.Root());
    const DriveHandle drive = access.OpenDrive("/dev/null");
    ASSERT_NE(drive, kInvalidDriveHandle);
    uint8_t data[96];
    PassThroughRequest request = InquiryRequest(data);
    EXPECT_FALSE(access.SendPassThrough(drive, request));
    EXPECT_EQ(request.transferred, 0u);
    EXPECT_EQ(request.sense[0], 0);
    EXPECT_EQ(access.PermissionAdvice(), nullptr);
    access.CloseDrive(drive);
}

TEST_F(DriveAccessCommands, NoHandleSendsNothing)
{
    DriveAccess access(sysfs.Root());
    uint8_t data[96];
    PassThroughRequest request = InquiryRequest(data);
    EXPECT_FALSE(access.SendPassThrough(kInvalidDriveHandle, request));
    EXPECT_EQ(request.transferred, 0u);
    for (uint8_t byte : request.sense)
        EXPECT_EQ(byte, 0);
}

}  // namespace
