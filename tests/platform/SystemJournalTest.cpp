// What the Linux system adds to a journal record itself: the drive's serial number as the
// kernel read it (VPD page 80h under sysfs), and whether journald runs to take the record.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "FakeSysfs.h"
#include "platform/linux/SystemJournal.h"

namespace {

using platform::linux_sys::ReadUnitSerial;

TEST(SystemJournal, ReadsTheSerialNumberOfTheDrive)
{
    struct Case {
        const char* name;
        std::string page;  // empty: no vpd_pg80 file
        const char* root;
        bool found;
        const char* serial;
    } const cases[] = {
        {"padded", std::string("\x05\x80\x00\x08  K1234 ", 12), "/dev/sr0", true, "K1234"},
        {"control bytes masked",
         std::string("\x05\x80\x00\x03"
                     "A\x1b"
                     "B",
                     7),
         "/dev/sr0", true, "A?B"},
        {"length past the file",
         std::string("\x05\x80\x00\x40"
                     "XY",
                     6),
         "/dev/sr0", true, "XY"},
        {"another page",
         std::string("\x05\x83\x00\x02"
                     "XY",
                     6),
         "/dev/sr0", false, ""},
        {"blank", std::string("\x05\x80\x00\x02  ", 6), "/dev/sr0", false, ""},
        {"no page", "", "/dev/sr0", false, ""},
        {"not a drive root",
         std::string("\x05\x80\x00\x02"
                     "XY",
                     6),
         "/dev/sda", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        norvik_test::FakeSysfs sysfs;
        ASSERT_TRUE(sysfs.Made());
        sysfs.AddBlockDevice("sr0", "1:0:0:0");
        if (!c.page.empty())
            std::ofstream(std::string(sysfs.Root()) + "/devices/1:0:0:0/vpd_pg80", std::ios::binary) << c.page;
        char serial[sizeof(platform::JournalRecord::serial)];
        EXPECT_EQ(ReadUnitSerial(sysfs.Root(), c.root, serial), c.found);
        EXPECT_STREQ(serial, c.serial);
    }
}

TEST(SystemJournal, JournalRunsOnlyWhereASocketListens)
{
    norvik_test::FakeSysfs folder;
    ASSERT_TRUE(folder.Made());
    const std::string socketPath = std::string(folder.Root()) + "/socket";
    const std::string filePath = std::string(folder.Root()) + "/file";
    std::ofstream(filePath) << "not a socket";
    const int listener = socket(AF_UNIX, SOCK_DGRAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    EXPECT_TRUE(platform::linux_sys::JournalRuns(socketPath.c_str()));
    EXPECT_FALSE(platform::linux_sys::JournalRuns(filePath.c_str()));
    EXPECT_FALSE(platform::linux_sys::JournalRuns((socketPath + "-missing").c_str()));
    close(listener);
}

}  // namespace
