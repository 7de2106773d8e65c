// The drive operations of the Linux seam over a sysfs tree of the test's own and nodes that are
// no drives: how a node is opened, which nodes are refused as not the drive's own, where its
// address comes from, what a refused open leaves. Device nodes are made with mknod, which needs
// root (CAP_MKNOD): without it the cases that need one are skipped.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ProcessSignals.h"
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

std::string ReadText(const std::string& path)
{
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
constexpr const char* kCannotMakeNodes =
    "device nodes cannot be made here (it takes CAP_MKNOD, and a free loop device for a block node)";
constexpr const char* kGenericEntry = "class/block/sr0/device/scsi_generic/sg1";

// The device numbers of two real character devices that any open leaves alone.
dev_t NumberOf(const char* path)
{
    struct stat status;
    return stat(path, &status) == 0 ? status.st_rdev : 0;
}
const dev_t kNullNumber = NumberOf("/dev/null");
const dev_t kZeroNumber = NumberOf("/dev/zero");

// A real block device that an exclusive open may take, for a drive's block node: the first loop
// device that nobody holds; 0 when there is none.
dev_t FreeBlockDeviceNumber()
{
    for (int number = 0; number < 8; ++number) {
        const std::string path = "/dev/loop" + std::to_string(number);
        const int node = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_EXCL | O_CLOEXEC);
        if (node < 0) continue;
        struct stat status;
        const bool examined = fstat(node, &status) == 0 && S_ISBLK(status.st_mode);
        close(node);
        if (examined) return status.st_rdev;
    }
    return 0;
}

class DriveAccessTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sysfs.Made()); }

    // The drive /dev/sr0 whose generic node sg1 has the number of /dev/null in sysfs.
    void AddDriveWithGenericNode()
    {
        sysfs.AddBlockDevice("sr0", "2:0:0:0", "sg1");
        sysfs.SetDeviceNumber(kGenericEntry, kNullNumber);
    }
    // The same, with /dev/sg1 a character device of that number (a twin of /dev/null) and
    // /dev/sr0 a block device that can be held; false when device nodes cannot be made here.
    bool AddDriveWithOwnGenericNode()
    {
        AddDriveWithGenericNode();
        return sysfs.AddDeviceNode("sg1", S_IFCHR, kNullNumber) && AddOwnBlockNode();
    }
    // /dev/sr0 as a twin of a free loop device, which sysfs gives as the drive's number.
    bool AddOwnBlockNode()
    {
        const dev_t number = FreeBlockDeviceNumber();
        if (number == 0) return false;
        sysfs.SetDeviceNumber("class/block/sr0", number);
        return sysfs.AddDeviceNode("sr0", S_IFBLK, number);
    }
    std::string BlockNode() const { return nodeRoot + "/dev/sr0"; }
    std::string PollingSetting() const { return std::string(sysfs.Root()) + "/class/block/sr0/events_poll_msecs"; }
    DriveAccess Access() const { return DriveAccess(sysfs.Root(), nodeRoot.c_str()); }

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
    const std::string nodeRoot = sysfs.NodeRoot();
};

using DriveAccessDiscovery = DriveAccessTest;
using DriveAccessOpen = DriveAccessTest;
using DriveAccessAddress = DriveAccessTest;
using DriveAccessCommands = DriveAccessTest;
using DriveAccessRefusalDeathTest = DriveAccessTest;
using DriveAccessHold = DriveAccessTest;
using DriveAccessHoldDeathTest = DriveAccessTest;

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
    if (!AddDriveWithOwnGenericNode()) GTEST_SKIP() << kCannotMakeNodes;
    DriveAccess access = Access();
    char refusal[platform::kRefusalSize];
    for (const bool exclusive : {false, true}) {
        const DriveHandle drive = exclusive ? access.OpenDriveExclusive("/dev/sr0", refusal)
                                            : access.OpenDrive("/dev/sr0");
        ASSERT_NE(drive, kInvalidDriveHandle) << "exclusive " << exclusive;
        const int descriptor = static_cast<int>(drive);
        const int status = fcntl(descriptor, F_GETFL);
        EXPECT_EQ(status & O_ACCMODE, O_RDWR);
        EXPECT_NE(status & O_NONBLOCK, 0);
        EXPECT_NE(fcntl(descriptor, F_GETFD) & FD_CLOEXEC, 0);

        access.CloseDrive(drive);
        EXPECT_EQ(fcntl(descriptor, F_GETFD), -1);
    }
    EXPECT_STREQ(refusal, "");
    EXPECT_EQ(access.PermissionAdvice(), nullptr);
}

TEST_F(DriveAccessOpen, MissingNodeGivesNoHandleAndNoAdvice)
{
    AddDriveWithGenericNode();
    DriveAccess access = Access();
    EXPECT_EQ(access.OpenDrive("/dev/sr0"), kInvalidDriveHandle);
    EXPECT_EQ(access.OpenDrive(nullptr), kInvalidDriveHandle);
    EXPECT_EQ(access.PermissionAdvice(), nullptr);
}

// What stands at a drive's node, and what an open finds there: only the drive's own node, a
// device of the node's kind with the number sysfs gives, is opened, shared or exclusive.
struct NodeCase {
    const char* what;
    const char* root;
    bool genericNode;    // sysfs lists sg1 under the drive (with the number of /dev/null)
    bool numberInSysfs;  // the number of the node that commands go to is in sysfs
    enum Kind { None, OwnDevice, OtherDevice, LinkToOwnDevice, RegularFile } node;
    bool opensShared;
    const char* exclusiveRefusal;  // empty: the exclusive open succeeds
};

const NodeCase kNodeCases[] = {
    {"the drive's own generic node", "/dev/sr0", true, true, NodeCase::OwnDevice, true, ""},
    {"a device of another number", "/dev/sr0", true, true, NodeCase::OtherDevice, false,
     "/dev/sg1 is not the command node of the drive /dev/sr0: its device number is ZERO, sysfs gives NULL"},
    {"a symbolic link to a device of the right number", "/dev/sr0", true, true, NodeCase::LinkToOwnDevice, false,
     "/dev/sg1 is not the command node of the drive /dev/sr0: it is a symbolic link"},
    {"a regular file", "/dev/sr0", true, true, NodeCase::RegularFile, false,
     "/dev/sg1 is not the command node of the drive /dev/sr0: it is no character device"},
    {"a number sysfs does not give", "/dev/sr0", true, false, NodeCase::OwnDevice, false,
     "/dev/sg1 is not the command node of the drive /dev/sr0: sysfs gives no device number for it"},
    {"no node", "/dev/sr0", true, true, NodeCase::None, false,
     "/dev/sg1 (the drive /dev/sr0) could not be opened: No such file or directory"},
    {"a character device at the block node of a drive without generic node", "/dev/sr0", false, true,
     NodeCase::OwnDevice, false,
     "The drive /dev/sr0 has no SCSI generic node, so other programs could not be kept away from it while its "
     "firmware is written (\"modprobe sg\" loads the driver that makes one)"},
    {"a root that is no optical drive", "/dev/sda", false, false, NodeCase::None, false,
     "/dev/sda is not an optical drive"},
};

void PrintTo(const NodeCase& node, std::ostream* out) { *out << node.what; }

class DriveAccessNodes : public DriveAccessTest, public testing::WithParamInterface<NodeCase> {
protected:
    // Makes the node of the case at the name that commands go to; false when it needs a device
    // node that cannot be made here.
    bool MakeNode(const NodeCase& node, const std::string& name)
    {
        switch (node.node) {
        case NodeCase::None: return true;
        case NodeCase::OwnDevice: return sysfs.AddDeviceNode(name, S_IFCHR, kNullNumber);
        case NodeCase::OtherDevice: return sysfs.AddDeviceNode(name, S_IFCHR, kZeroNumber);
        case NodeCase::LinkToOwnDevice: sysfs.AddNodeLink(name, "/dev/null"); return true;
        case NodeCase::RegularFile: sysfs.AddNodeFile(name); return true;
        }
        return false;
    }

    static std::string WithNumbers(std::string text)
    {
        const auto replace = [&text](const std::string& name, dev_t number) {
            const size_t at = text.find(name);
            if (at != std::string::npos)
                text.replace(at, name.size(), std::to_string(major(number)) + ":" + std::to_string(minor(number)));
        };
        replace("ZERO", kZeroNumber);
        replace("NULL", kNullNumber);
        return text;
    }
};

TEST_P(DriveAccessNodes, OpensOnlyTheDrivesOwnNode)
{
    const NodeCase& node = GetParam();
    sysfs.AddBlockDevice("sr0", "2:0:0:0", node.genericNode ? "sg1" : "");
    sysfs.AddBlockDevice("sda", "0:0:0:0");
    if (node.numberInSysfs) sysfs.SetDeviceNumber(node.genericNode ? kGenericEntry : "class/block/sr0", kNullNumber);
    if (!MakeNode(node, node.genericNode ? "sg1" : "sr0")) GTEST_SKIP() << kCannotMakeNodes;
    if (node.genericNode && node.exclusiveRefusal[0] == '\0' && !AddOwnBlockNode()) GTEST_SKIP() << kCannotMakeNodes;

    DriveAccess access = Access();
    const DriveHandle shared = access.OpenDrive(node.root);
    EXPECT_EQ(shared != kInvalidDriveHandle, node.opensShared);
    access.CloseDrive(shared);

    char refusal[platform::kRefusalSize] = "unchanged";
    const DriveHandle exclusive = access.OpenDriveExclusive(node.root, refusal);
    EXPECT_EQ(exclusive != kInvalidDriveHandle, node.exclusiveRefusal[0] == '\0');
    EXPECT_EQ(std::string(refusal), WithNumbers(node.exclusiveRefusal));
    access.CloseDrive(exclusive);
    EXPECT_EQ(access.PermissionAdvice(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Nodes, DriveAccessNodes, testing::ValuesIn(kNodeCases),
                         [](const testing::TestParamInfo<NodeCase>& info) { return std::to_string(info.index); });

// While a drive is held for its firmware, its block node is held exclusively too (no mount, no
// other exclusive opener) and the kernel's media polling is paused; both are given back as they
// were when the drive is let go.
TEST_F(DriveAccessHold, HoldsTheBlockNodeAndPausesMediaPollingUntilLetGo)
{
    if (!AddDriveWithOwnGenericNode()) GTEST_SKIP() << kCannotMakeNodes;
    DriveAccess access = Access();
    WriteText(PollingSetting(), "-1\n");
    char refusal[platform::kRefusalSize];
    const DriveHandle drive = access.OpenDriveExclusive("/dev/sr0", refusal);
    ASSERT_NE(drive, kInvalidDriveHandle) << refusal;
    EXPECT_EQ(ReadText(PollingSetting()), "0");
    EXPECT_EQ(open(BlockNode().c_str(), O_RDONLY | O_NONBLOCK | O_EXCL), -1) << "the block node is held";
    EXPECT_EQ(errno, EBUSY);

    access.CloseDrive(drive);
    EXPECT_EQ(ReadText(PollingSetting()), "-1");
    const int again = open(BlockNode().c_str(), O_RDONLY | O_NONBLOCK | O_EXCL);
    EXPECT_GE(again, 0) << "the block node is let go";
    close(again);
}

// A block node that another program holds for itself (a mount, a burning program) refuses the
// drive, and nothing stays held or paused.
TEST_F(DriveAccessHold, BlockNodeHeldElsewhereRefusesTheDriveAndLeavesNothingHeld)
{
    if (!AddDriveWithOwnGenericNode()) GTEST_SKIP() << kCannotMakeNodes;
    WriteText(PollingSetting(), "2000\n");
    const int other = open(BlockNode().c_str(), O_RDONLY | O_NONBLOCK | O_EXCL);
    ASSERT_GE(other, 0);
    DriveAccess access = Access();
    char refusal[platform::kRefusalSize];
    EXPECT_EQ(access.OpenDriveExclusive("/dev/sr0", refusal), kInvalidDriveHandle);
    EXPECT_STREQ(refusal,
                 "/dev/sr0 is mounted or held by another program: unmount the disc or end that program, then try "
                 "again");
    EXPECT_EQ(ReadText(PollingSetting()), "2000");
    close(other);
}

// A signal that ends the program gives the paused polling back first.
TEST_F(DriveAccessHoldDeathTest, SignalThatEndsTheProgramGivesThePollingBack)
{
    if (!AddDriveWithOwnGenericNode()) GTEST_SKIP() << kCannotMakeNodes;
    WriteText(PollingSetting(), "2000\n");
    const auto heldWhenTerminated = [&] {
        platform::StartSignalGuard("test");
        DriveAccess access = Access();
        char refusal[platform::kRefusalSize];
        if (access.OpenDriveExclusive("/dev/sr0", refusal) == kInvalidDriveHandle) std::_Exit(2);
        if (ReadText(PollingSetting()) != "0") std::_Exit(3);
        kill(getpid(), SIGTERM);
        for (;;) pause();
    };
    EXPECT_EXIT(heldWhenTerminated(), testing::KilledBySignal(SIGTERM), "");
    EXPECT_EQ(ReadText(PollingSetting()), "2000");
}

TEST_F(DriveAccessRefusalDeathTest, RefusedOpenLeavesAdviceNamingTheNodeAndItsGroup)
{
    // A node this process may not open. Root may open anything, so the open runs in a child that
    // has given up root for nobody; the folder lets nobody in to look at the node's group.
    chmod(sysfs.Root(), 0755);
    sysfs.AddBlockDevice("sr0", "2:0:0:0", "sg7");
    if (!sysfs.AddDeviceNode("sg7", S_IFCHR, kNullNumber, 0)) GTEST_SKIP() << kCannotMakeNodes;
    const std::string node = "/dev/sg7";
    // The drives' group, as udev gives it (24 is Debian's cdrom); root's group is no group to join.
    ASSERT_EQ(chown((nodeRoot + node).c_str(), 0, 24), 0);
    struct stat status;
    ASSERT_EQ(stat((nodeRoot + node).c_str(), &status), 0);
    char group[kGroupNameSize];
    GroupName(status.st_gid, group);
    const std::string quotedGroup = "\"" + std::string(group) + "\"";

    const auto openAsUnprivileged = [&] {
        if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) std::_Exit(2);
        DriveAccess access = Access();
        char refusal[platform::kRefusalSize] = "unchanged";
        if (access.OpenDrive("/dev/sr0") != kInvalidDriveHandle ||
            access.OpenDriveExclusive("/dev/sr0", refusal) != kInvalidDriveHandle)
            std::_Exit(3);
        if (refusal[0] != '\0') std::_Exit(6);
        const char* advice = access.PermissionAdvice();
        if (advice == nullptr) std::_Exit(4);
        const std::string text(advice);
        std::_Exit(text.find("open " + node) != std::string::npos && text.find(quotedGroup) != std::string::npos ? 0
                                                                                                                 : 5);
    };
    EXPECT_EXIT(openAsUnprivileged(), testing::ExitedWithCode(0), "");
}

TEST_F(DriveAccessAddress, ReadsTheAddressOfTheOpenNodeFromSysfs)
{
    if (!AddDriveWithOwnGenericNode()) GTEST_SKIP() << kCannotMakeNodes;
    const std::string number = std::to_string(major(kNullNumber)) + ":" + std::to_string(minor(kNullNumber));
    sysfs.AddDeviceNumber("char", number, "5:0:2:1");
    DriveAccess access = Access();
    const DriveHandle drive = access.OpenDrive("/dev/sr0");
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
    if (!AddDriveWithOwnGenericNode()) GTEST_SKIP() << kCannotMakeNodes;
    DriveAccess access = Access();
    const DriveHandle drive = access.OpenDrive("/dev/sr0");
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
    for (uint8_t byte : descriptor) EXPECT_EQ(byte, 0);
}

TEST_F(DriveAccessCommands, NodeThatIsNoDriveFailsWithoutAdvice)
{
    if (!AddDriveWithOwnGenericNode()) GTEST_SKIP() << kCannotMakeNodes;
    DriveAccess access = Access();
    const DriveHandle drive = access.OpenDrive("/dev/sr0");
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
    for (uint8_t byte : request.sense) EXPECT_EQ(byte, 0);
}

}  // namespace
