// The optical drives from sysfs: which roots are listed and in what order, the optical test,
// the node that commands go to, and the address.

#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "platform/linux/SysfsDrives.h"
#include "tests/platform/FakeSysfs.h"

namespace {

using namespace platform::linux_sys;
using platform::AddressQuery;
using platform::DriveRootList;
using platform::ScsiAddress;

std::vector<std::string> Roots(const DriveRootList& list)
{
    std::vector<std::string> roots;
    for (int index = 0; index < list.count; ++index) roots.emplace_back(list.roots[index]);
    return roots;
}

class SysfsDrives : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sysfs.Made()); }

    std::vector<std::string> ListedRoots()
    {
        DriveRootList list;
        std::memset(&list, 0x5A, sizeof list);
        ListOpticalRoots(sysfs.Root(), list);
        return Roots(list);
    }

    norvik_test::FakeSysfs sysfs;
};

// Listing -----------------------------------------------------------------------------------

TEST_F(SysfsDrives, ListsOnlyTheOpticalDrives)
{
    sysfs.AddBlockDevice("sda", "0:0:0:0");
    sysfs.AddBlockDevice("sr0", "1:0:0:0", "sg3");
    sysfs.AddPlainBlockEntry("sda1");
    sysfs.AddPlainBlockEntry("loop0");
    EXPECT_EQ(ListedRoots(), std::vector<std::string>{"/dev/sr0"});
}

TEST_F(SysfsDrives, ListsDrivesInTheOrderOfTheirNumbers)
{
    sysfs.AddBlockDevice("sr10", "4:0:0:0");
    sysfs.AddBlockDevice("sr2", "3:0:0:0");
    sysfs.AddBlockDevice("sr0", "1:0:0:0");
    sysfs.AddBlockDevice("sr1", "2:0:0:0");
    EXPECT_EQ(ListedRoots(), (std::vector<std::string>{"/dev/sr0", "/dev/sr1", "/dev/sr2", "/dev/sr10"}));
}

TEST_F(SysfsDrives, ListsDrivesWithoutGenericNodeOrAddress)
{
    sysfs.AddBlockDevice("sr0", "1:0:0:0");
    sysfs.AddPlainBlockEntry("sr1");
    EXPECT_EQ(ListedRoots(), (std::vector<std::string>{"/dev/sr0", "/dev/sr1"}));
}

TEST_F(SysfsDrives, ListsNothingWithoutBlockClass) { EXPECT_TRUE(ListedRoots().empty()); }

TEST_F(SysfsDrives, ListsNothingUnderAMissingMountPoint)
{
    DriveRootList list;
    ListOpticalRoots("/nonexistent/norvik/sysfs", list);
    EXPECT_EQ(list.count, 0);
}

TEST_F(SysfsDrives, IgnoresNamesThatOnlyLookLikeDrives)
{
    for (const char* name : {"sr", "sr01", "srx", "sr1a", "scd0", "sr-1", "xsr1"}) sysfs.AddPlainBlockEntry(name);
    EXPECT_TRUE(ListedRoots().empty());
}

TEST_F(SysfsDrives, KeepsTheLowestNumbersWhenThereAreMoreDrivesThanTheListHolds)
{
    for (int number = 39; number >= 0; --number) sysfs.AddPlainBlockEntry("sr" + std::to_string(number));
    const std::vector<std::string> roots = ListedRoots();
    ASSERT_EQ(roots.size(), size_t(platform::kMaxDriveRoots));
    for (int index = 0; index < platform::kMaxDriveRoots; ++index)
        EXPECT_EQ(roots[index], "/dev/sr" + std::to_string(index));
}

TEST_F(SysfsDrives, LeavesOutANumberWhoseRootWouldNotFit)
{
    sysfs.AddPlainBlockEntry("sr99999999");
    sysfs.AddPlainBlockEntry("sr123456789");
    EXPECT_EQ(ListedRoots(), std::vector<std::string>{"/dev/sr99999999"});
}

TEST_F(SysfsDrives, ClearsTheListItFills)
{
    sysfs.AddBlockDevice("sr0", "1:0:0:0");
    DriveRootList list;
    std::memset(&list, 0x5A, sizeof list);
    ListOpticalRoots(sysfs.Root(), list);
    ASSERT_EQ(list.count, 1);
    for (int index = 1; index < platform::kMaxDriveRoots; ++index) EXPECT_EQ(list.roots[index][0], '\0') << index;
}

// Optical test ------------------------------------------------------------------------------

TEST_F(SysfsDrives, AnOpticalRootIsAListedDriveNode)
{
    sysfs.AddBlockDevice("sr0", "1:0:0:0");
    sysfs.AddBlockDevice("sda", "0:0:0:0");
    EXPECT_TRUE(IsOpticalRoot(sysfs.Root(), "/dev/sr0"));
    EXPECT_FALSE(IsOpticalRoot(sysfs.Root(), "/dev/sda"));
    EXPECT_FALSE(IsOpticalRoot(sysfs.Root(), "/dev/sr1"));
    EXPECT_FALSE(IsOpticalRoot(sysfs.Root(), "sr0"));
    EXPECT_FALSE(IsOpticalRoot(sysfs.Root(), "/dev/sr0x"));
    EXPECT_FALSE(IsOpticalRoot(sysfs.Root(), "D:\\"));
    EXPECT_FALSE(IsOpticalRoot(sysfs.Root(), nullptr));
}

// Command node ------------------------------------------------------------------------------

TEST_F(SysfsDrives, FindsTheGenericNodeOfADrive)
{
    sysfs.AddBlockDevice("sr0", "1:0:0:0", "sg3");
    char node[kNodePathSize];
    ASSERT_TRUE(FindGenericNode(sysfs.Root(), "/dev/sr0", node));
    EXPECT_STREQ(node, "/dev/sg3");
}

TEST_F(SysfsDrives, CommandsGoToTheGenericNodeWhenThereIsOne)
{
    sysfs.AddBlockDevice("sr0", "1:0:0:0", "sg3");
    sysfs.AddBlockDevice("sr1", "2:0:0:0", "sg12");
    char node[kNodePathSize];
    ASSERT_TRUE(ChooseCommandNode(sysfs.Root(), "/dev/sr1", node));
    EXPECT_STREQ(node, "/dev/sg12");
}

TEST_F(SysfsDrives, CommandsGoToTheDriveNodeWithoutGenericNode)
{
    sysfs.AddBlockDevice("sr1", "2:0:0:0");
    char node[kNodePathSize];
    EXPECT_FALSE(FindGenericNode(sysfs.Root(), "/dev/sr1", node));
    EXPECT_STREQ(node, "");
    ASSERT_TRUE(ChooseCommandNode(sysfs.Root(), "/dev/sr1", node));
    EXPECT_STREQ(node, "/dev/sr1");
}

TEST_F(SysfsDrives, CommandsGoToARootThatSysfsDoesNotKnowAsItIs)
{
    char node[kNodePathSize];
    ASSERT_TRUE(ChooseCommandNode(sysfs.Root(), "/dev/sda", node));
    EXPECT_STREQ(node, "/dev/sda");
}

TEST_F(SysfsDrives, NoCommandNodeForARootTooLongForANodePath)
{
    const std::string root = "/dev/" + std::string(60, 'x');
    char node[kNodePathSize];
    EXPECT_FALSE(ChooseCommandNode(sysfs.Root(), root.c_str(), node));
    EXPECT_STREQ(node, "");
    EXPECT_FALSE(ChooseCommandNode(sysfs.Root(), nullptr, node));
}

TEST_F(SysfsDrives, IgnoresEntriesOfTheGenericFolderThatAreNoGenericNodes)
{
    sysfs.AddBlockDevice("sr0", "1:0:0:0", "power");
    char node[kNodePathSize];
    EXPECT_FALSE(FindGenericNode(sysfs.Root(), "/dev/sr0", node));
}

// Device numbers ----------------------------------------------------------------------------

TEST_F(SysfsDrives, ReadsTheNumbersOfADrivesOwnNodesOnly)
{
    sysfs.AddBlockDevice("sr0", "1:0:0:0", "sg3");
    sysfs.AddBlockDevice("sr1", "2:0:0:0", "sg4");
    sysfs.SetDeviceNumber("class/block/sr0", makedev(11, 0));
    sysfs.SetDeviceNumber("class/block/sr0/device/scsi_generic/sg3", makedev(21, 3));
    sysfs.SetDeviceNumber("class/block/sr1/device/scsi_generic/sg4", makedev(21, 4));
    dev_t number = 0;
    ASSERT_TRUE(ReadNodeNumber(sysfs.Root(), "/dev/sr0", "/dev/sg3", number));
    EXPECT_EQ(number, makedev(21, 3));
    ASSERT_TRUE(ReadNodeNumber(sysfs.Root(), "/dev/sr0", "/dev/sr0", number));
    EXPECT_EQ(number, makedev(11, 0));
    // Another drive's generic node, a node sysfs gives no number for, a node outside /dev.
    EXPECT_FALSE(ReadNodeNumber(sysfs.Root(), "/dev/sr0", "/dev/sg4", number));
    EXPECT_FALSE(ReadNodeNumber(sysfs.Root(), "/dev/sr1", "/dev/sr1", number));
    EXPECT_FALSE(ReadNodeNumber(sysfs.Root(), "/dev/sr0", "/tmp/sg3", number));
    EXPECT_FALSE(ReadNodeNumber(sysfs.Root(), "/dev/sda", "/dev/sda", number));
}

TEST(DeviceNumberText, ReadsMajorColonMinorOrNothing)
{
    dev_t number = 0;
    EXPECT_TRUE(ParseDeviceNumber("21:1\n", number));
    EXPECT_EQ(number, makedev(21, 1));
    EXPECT_TRUE(ParseDeviceNumber("259:1048575", number));
    EXPECT_EQ(number, makedev(259, 1048575));
    for (const char* text : {"", "21", "21:", ":1", "021:1", "21:1:2", "21:1 ", "-21:1", "21:1\n\n"})
        EXPECT_FALSE(ParseDeviceNumber(text, number)) << '"' << text << '"';
    EXPECT_FALSE(ParseDeviceNumber(nullptr, number));
}

// Address -----------------------------------------------------------------------------------

TEST_F(SysfsDrives, ReadsTheAddressFromTheDeviceFolderName)
{
    sysfs.AddBlockDevice("sr0", "1:0:0:0", "sg3");
    sysfs.AddBlockDevice("sr1", "6:2:3:4");
    ScsiAddress address{};
    ASSERT_EQ(ReadRootAddress(sysfs.Root(), "/dev/sr0", address), AddressQuery::Found);
    EXPECT_EQ(address.host, 1);
    EXPECT_EQ(address.path, 0);
    EXPECT_EQ(address.target, 0);
    EXPECT_EQ(address.lun, 0);
    ASSERT_EQ(ReadRootAddress(sysfs.Root(), "/dev/sr1", address), AddressQuery::Found);
    EXPECT_EQ(address.host, 6);
    EXPECT_EQ(address.path, 2);
    EXPECT_EQ(address.target, 3);
    EXPECT_EQ(address.lun, 4);
}

TEST_F(SysfsDrives, AddressQueryFailsWhenNoAddressCanBeRead)
{
    sysfs.AddPlainBlockEntry("sr2");
    sysfs.AddBlockDevice("sr3", "virtual");
    sysfs.AddBlockDevice("sr4", "0:0:0:70000");
    ScsiAddress address{7, 7, 7, 7};
    EXPECT_EQ(ReadRootAddress(sysfs.Root(), "/dev/sr2", address), AddressQuery::QueryFailed);
    EXPECT_EQ(ReadRootAddress(sysfs.Root(), "/dev/sr3", address), AddressQuery::QueryFailed);
    EXPECT_EQ(ReadRootAddress(sysfs.Root(), "/dev/sr4", address), AddressQuery::QueryFailed);
    EXPECT_EQ(ReadRootAddress(sysfs.Root(), "/dev/sr9", address), AddressQuery::QueryFailed);
    EXPECT_EQ(ReadRootAddress(sysfs.Root(), "/dev/sda", address), AddressQuery::QueryFailed);
    EXPECT_EQ(address.host, 7);
}

TEST_F(SysfsDrives, ReadsTheAddressBehindADeviceNumber)
{
    sysfs.AddDeviceNumber("char", "21:3", "3:0:1:0");
    sysfs.AddDeviceNumber("block", "11:0", "2:0:0:0");
    ScsiAddress address{};
    ASSERT_EQ(ReadDeviceAddress(sysfs.Root(), false, makedev(21, 3), address), AddressQuery::Found);
    EXPECT_EQ(address.host, 3);
    EXPECT_EQ(address.target, 1);
    ASSERT_EQ(ReadDeviceAddress(sysfs.Root(), true, makedev(11, 0), address), AddressQuery::Found);
    EXPECT_EQ(address.host, 2);
    EXPECT_EQ(address.target, 0);
    EXPECT_EQ(ReadDeviceAddress(sysfs.Root(), true, makedev(21, 3), address), AddressQuery::QueryFailed);
    EXPECT_EQ(ReadDeviceAddress(sysfs.Root(), false, makedev(21, 4), address), AddressQuery::QueryFailed);
}

// Address text ------------------------------------------------------------------------------

struct AddressText {
    const char* text;
    bool readable;
    ScsiAddress address;
};

void PrintTo(const AddressText& sample, std::ostream* stream) { *stream << '"' << sample.text << '"'; }

class ScsiAddressText : public testing::TestWithParam<AddressText> {};

TEST_P(ScsiAddressText, ReadsFourNumbersOrNothing)
{
    const AddressText& sample = GetParam();
    ScsiAddress address{-9, -9, -9, -9};
    ASSERT_EQ(ParseScsiAddress(sample.text, address), sample.readable) << sample.text;
    const ScsiAddress expected = sample.readable ? sample.address : ScsiAddress{-9, -9, -9, -9};
    EXPECT_EQ(address.host, expected.host);
    EXPECT_EQ(address.path, expected.path);
    EXPECT_EQ(address.target, expected.target);
    EXPECT_EQ(address.lun, expected.lun);
}

INSTANTIATE_TEST_SUITE_P(Samples, ScsiAddressText,
                         testing::Values(AddressText{"0:0:0:0", true, {0, 0, 0, 0}},
                                         AddressText{"2:1:3:4", true, {2, 1, 3, 4}},
                                         AddressText{"32767:10:255:7", true, {32767, 10, 255, 7}},
                                         AddressText{"", false, {}}, AddressText{"1:2:3", false, {}},
                                         AddressText{"1:2:3:4:5", false, {}}, AddressText{"1::3:4", false, {}},
                                         AddressText{"a:0:0:0", false, {}}, AddressText{"-1:0:0:0", false, {}},
                                         AddressText{"1:0:0:32768", false, {}}, AddressText{"01:0:0:0", false, {}},
                                         AddressText{"1:0:0:0 ", false, {}}, AddressText{"1:0:0:", false, {}}));

}  // namespace
