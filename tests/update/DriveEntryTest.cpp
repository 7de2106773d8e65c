#include "update/DriveEntry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

template <std::size_t N>
void Put(char (&field)[N], const char* text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text, std::min(std::strlen(text), N));
}

DriveRecord Record(const char* root, const char* displayName, const char* revision)
{
    DriveRecord record{};
    record.present = 1;
    Put(record.rootPath, root);
    Put(record.displayName, displayName);
    Put(record.revision, revision);
    return record;
}

std::string Entry(const DriveRecord& record)
{
    char entry[kDriveEntrySize];
    return std::string(FormatDriveEntry(record, entry));
}

struct RootCase {
    const char* root;
    const char* label;
};

class RootLabelTest : public ::testing::TestWithParam<RootCase> {};

TEST_P(RootLabelTest, ShowsDriveLetterOrDeviceName)
{
    char root[platform::kRootPathSize] = {};
    Put(root, GetParam().root);
    EXPECT_EQ(RootLabel(root), GetParam().label);
}

INSTANTIATE_TEST_SUITE_P(Roots, RootLabelTest,
                         ::testing::Values(RootCase{"D:\\", "D:"}, RootCase{"E:", "E:"}, RootCase{"/dev/sr0", "sr0"},
                                           RootCase{"/dev/sr15", "sr15"}, RootCase{"", ""}, RootCase{"X", "X"},
                                           RootCase{"/dev/", ""}));

TEST(RootLabel, UnterminatedRootIsReadOnlyToItsWidth)
{
    char root[platform::kRootPathSize];
    std::memset(root, 'Q', sizeof root);
    root[0] = '/';
    EXPECT_EQ(RootLabel(root), std::string(platform::kRootPathSize - 1, 'Q'));
}

TEST(DriveEntry, AddressRootNameAndRevisionInTheirColumns)
{
    DriveRecord record = Record("/dev/sr0", "TALVORE DVDRW KRX-407T  ", "RN05");
    EXPECT_EQ(Entry(record), " 0-0-0-0 sr0TALVORE DVDRW KRX-407T   RN05");

    record.host = 1;
    record.path = 2;
    record.target = 3;
    record.lun = 4;
    EXPECT_EQ(Entry(record), " 1-2-3-4 sr0TALVORE DVDRW KRX-407T   RN05");

    record.host = 12;
    record.target = 15;
    EXPECT_EQ(Entry(record), "12-2-15-4 sr0TALVORE DVDRW KRX-407T   RN05");

    record.host = -1;
    EXPECT_EQ(Entry(record), "-1-2-15-4 sr0TALVORE DVDRW KRX-407T   RN05");
}

TEST(DriveEntry, DriveLetterRootShowsItsFirstTwoCharacters)
{
    EXPECT_EQ(Entry(Record("D:\\", "TALVORE DVDRW KRX-407T  ", "RN05")), " 0-0-0-0 D:TALVORE DVDRW KRX-407T   RN05");
}

TEST(DriveEntry, EmptyRootLeavesNothingBetweenAddressAndName)
{
    EXPECT_EQ(Entry(Record("", "TALVORE DVDRW KRX-407T  ", "RN05")), " 0-0-0-0 TALVORE DVDRW KRX-407T   RN05");
}

TEST(DriveEntry, ShortNameAndRevisionAreRightAligned)
{
    EXPECT_EQ(Entry(Record("/dev/sr1", "ACME", "1")), " 0-0-0-0 sr1                    ACME    1");
    EXPECT_EQ(Entry(Record("/dev/sr1", "", "")), " 0-0-0-0 sr1" + std::string(24, ' ') + "     ");
}

TEST(DriveEntry, LongNameIsNeverCut)
{
    const char* name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234";  // 31 characters
    EXPECT_EQ(Entry(Record("/dev/sr0", name, "RN05")), std::string(" 0-0-0-0 sr0") + name + " RN05");
}

TEST(DriveEntry, UnterminatedFieldsAreReadOnlyToTheirWidth)
{
    DriveRecord record = Record("/dev/sr0", "", "");
    std::memset(record.displayName, 'N', sizeof record.displayName);
    std::memset(record.revision, 'R', sizeof record.revision);
    std::memset(record.vendorSpecific, 'V', sizeof record.vendorSpecific);
    EXPECT_EQ(Entry(record), " 0-0-0-0 sr0" + std::string(sizeof record.displayName, 'N') + " RRRR");
}

}  // namespace
