// The drive's serial number that the Linux system adds to a journal record: the unit serial
// number the kernel read (VPD page 80h under sysfs), blanks trimmed, as text.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "FakeSysfs.h"
#include "platform/linux/SystemJournal.h"

namespace {

TEST(SystemJournal, ReadsTheSerialNumberOfTheDrive)
{
    struct Case {
        std::string page;  // empty: no vpd_pg80 file
        const char* root;
        const char* serial;  // empty: none found
    } const cases[] = {
        {std::string("\x05\x80\x00\x08  K1234 ", 12), "/dev/sr0", "K1234"},
        {std::string("\x05\x80\x00\x03"
                     "A\x1b"
                     "B",
                     7),
         "/dev/sr0", "A?B"},
        {std::string("\x05\x80\x00\x40"
                     "XY",
                     6),
         "/dev/sr0", "XY"},  // longer than the file
        {std::string("\x05\x83\x00\x02"
                     "XY",
                     6),
         "/dev/sr0", ""},  // another page
        {"", "/dev/sr0", ""},
        {std::string("\x05\x80\x00\x02"
                     "XY",
                     6),
         "/dev/sda", ""},
    };
    for (const Case& c : cases) {
        norvik_test::FakeSysfs sysfs;
        sysfs.AddBlockDevice("sr0", "1:0:0:0");
        if (!c.page.empty())
            std::ofstream(std::string(sysfs.Root()) + "/devices/1:0:0:0/vpd_pg80", std::ios::binary) << c.page;
        char serial[sizeof(platform::JournalRecord::serial)];
        EXPECT_EQ(platform::linux_sys::ReadUnitSerial(sysfs.Root(), c.root, serial), c.serial[0] != '\0') << c.serial;
        EXPECT_STREQ(serial, c.serial);
    }
}

}  // namespace
