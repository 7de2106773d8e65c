// The short text form of a virtual drive: good settings, and bad ones refused with a reason.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sim/DriveSetup.h"

namespace {

using sim::AddressKind;
using sim::DriveSetup;
using sim::FaultKind;
using sim::FaultTrigger;
using sim::ParseDriveSetup;

std::string Text(const char* field, int width) { return std::string(field, width); }

TEST(DriveSetupText, EmptyTextGivesTheDefaults)
{
    DriveSetup setup;
    std::string reason;
    ASSERT_TRUE(ParseDriveSetup("", setup, reason));
    EXPECT_EQ(Text(setup.drive.vendor, 8), "TALVORE ");
    EXPECT_EQ(Text(setup.drive.product, 16), "DVDRW KRX-407T  ");
    EXPECT_EQ(Text(setup.drive.revision, 4), "RN05");
    EXPECT_EQ(Text(setup.drive.newRevision, 4), "RN08");
    EXPECT_EQ(setup.addressKind, AddressKind::Auto);
    EXPECT_EQ(setup.root[0], '\0');
    EXPECT_FALSE(setup.drive.discPresent);
    EXPECT_FALSE(setup.drive.mediumRemovalPrevented);
    EXPECT_EQ(setup.drive.timing.commitSeconds, 0.0);
}

TEST(DriveSetupText, ReadsAFullDescription)
{
    DriveSetup setup;
    std::string reason;
    ASSERT_TRUE(
        ParseDriveSetup("rev=RN04,chip=BFD60002,disc=1,tray=open,vendor=TALVORE,"
                        "product=DVDRW KRX-407T,newrev=RN09,deadrev=BAD!,timing=realistic,"
                        "host=1,path=2,target=3,lun=4,root=/dev/sr1,image=32768,"
                        "vspec=2004/05/06,open=fails,lock=prevented",
                        setup, reason))
        << reason;
    EXPECT_EQ(Text(setup.drive.revision, 4), "RN04");
    EXPECT_EQ(Text(setup.drive.newRevision, 4), "RN09");
    EXPECT_EQ(Text(setup.drive.damagedRevision, 4), "BAD!");
    EXPECT_EQ(Text(setup.drive.vendor, 8), "TALVORE ");
    EXPECT_EQ(Text(setup.drive.product, 16), "DVDRW KRX-407T  ");
    EXPECT_EQ(Text(reinterpret_cast<char*>(setup.drive.vendorSpecific), 16), "2004/05/06      ");
    const uint8_t key[4] = {0xBF, 0xD6, 0x00, 0x02};
    EXPECT_EQ(0, std::memcmp(setup.drive.flashId, key, 4));
    EXPECT_TRUE(setup.drive.discPresent);
    EXPECT_TRUE(setup.drive.trayOpen);
    EXPECT_TRUE(setup.drive.mediumRemovalPrevented);
    EXPECT_EQ(setup.drive.timing.commitSeconds, sim::DriveTiming::Realistic().commitSeconds);
    EXPECT_EQ(setup.drive.becomingReadyPolls, sim::kRealisticBecomingReadyPolls);
    EXPECT_EQ(setup.addressKind, AddressKind::Given);
    EXPECT_EQ(setup.address.host, 1);
    EXPECT_EQ(setup.address.path, 2);
    EXPECT_EQ(setup.address.target, 3);
    EXPECT_EQ(setup.address.lun, 4);
    EXPECT_STREQ(setup.root, "/dev/sr1");
    EXPECT_EQ(setup.drive.imageSize, 32768u);
    EXPECT_TRUE(setup.openFails);
}

TEST(DriveSetupText, LaterEntriesOverrideEarlierOnes)
{
    DriveSetup setup;
    std::string reason;
    ASSERT_TRUE(ParseDriveSetup("timing=realistic,polls=2,commit=0.5, rev=AAAA,rev=BBBB", setup, reason)) << reason;
    EXPECT_EQ(setup.drive.becomingReadyPolls, 2u);
    EXPECT_EQ(setup.drive.timing.commitSeconds, 0.5);
    EXPECT_EQ(setup.drive.timing.bytesPerSecond, sim::DriveTiming::Realistic().bytesPerSecond);
    EXPECT_EQ(Text(setup.drive.revision, 4), "BBBB");
}

TEST(DriveSetupText, ChipNoneGivesAnAllZeroReply)
{
    DriveSetup setup;
    std::string reason;
    ASSERT_TRUE(ParseDriveSetup("chip=none", setup, reason));
    for (uint8_t byte : setup.drive.flashId) EXPECT_EQ(byte, 0);
}

TEST(DriveSetupText, AddressKinds)
{
    DriveSetup setup;
    std::string reason;
    ASSERT_TRUE(ParseDriveSetup("address=none", setup, reason));
    EXPECT_EQ(setup.addressKind, AddressKind::QueryFails);
    ASSERT_TRUE(ParseDriveSetup("address=empty", setup, reason));
    EXPECT_EQ(setup.addressKind, AddressKind::Empty);
    ASSERT_TRUE(ParseDriveSetup("target=2,address=none", setup, reason));
    EXPECT_EQ(setup.addressKind, AddressKind::QueryFails);
}

TEST(DriveSetupText, FaultsAccumulate)
{
    DriveSetup setup;
    std::string reason;
    ASSERT_TRUE(
        ParseDriveSetup("fault=3C#6:corrupt:100,fault=#12:sense:3/0C/00,fault=3B#1+:fail,"
                        "fault=00#3:slow:200.5,fault=#40:gone,fault=3C#1+:short:8192",
                        setup, reason))
        << reason;
    ASSERT_EQ(setup.faultCount, 6);
    EXPECT_EQ(setup.faults[0].kind, FaultKind::CorruptReply);
    EXPECT_EQ(setup.faults[0].trigger, FaultTrigger::Opcode);
    EXPECT_EQ(setup.faults[0].opcode, 0x3C);
    EXPECT_EQ(setup.faults[0].number, 6u);
    EXPECT_EQ(setup.faults[0].repeat, 1u);
    EXPECT_EQ(setup.faults[0].replyOffset, 100u);
    EXPECT_EQ(setup.faults[1].kind, FaultKind::Sense);
    EXPECT_EQ(setup.faults[1].trigger, FaultTrigger::Sequence);
    EXPECT_EQ(setup.faults[1].number, 12u);
    EXPECT_EQ(setup.faults[1].senseKey, 0x3);
    EXPECT_EQ(setup.faults[1].asc, 0x0C);
    EXPECT_EQ(setup.faults[1].ascq, 0x00);
    EXPECT_EQ(setup.faults[2].kind, FaultKind::RequestFails);
    EXPECT_EQ(setup.faults[2].repeat, 0u);
    EXPECT_EQ(setup.faults[3].kind, FaultKind::Slow);
    EXPECT_EQ(setup.faults[3].seconds, 200.5);
    EXPECT_EQ(setup.faults[4].kind, FaultKind::Disappear);
    EXPECT_EQ(setup.faults[5].kind, FaultKind::ShortTransfer);
    EXPECT_EQ(setup.faults[5].bytesMoved, 8192u);
}

struct BadCase {
    const char* text;
    const char* reason;
};

class DriveSetupRefusal : public testing::TestWithParam<BadCase> {};

TEST_P(DriveSetupRefusal, GivesAClearReasonAndKeepsTheSetup)
{
    DriveSetup setup;
    setup.drive.discPresent = true;  // marks the setup as it was before
    std::string reason;
    EXPECT_FALSE(ParseDriveSetup(GetParam().text, setup, reason));
    EXPECT_EQ(reason, GetParam().reason);
    EXPECT_TRUE(setup.drive.discPresent);
}

INSTANTIATE_TEST_SUITE_P(
    BadEntries, DriveSetupRefusal,
    testing::Values(BadCase{"speed=4", "unknown key \"speed\""}, BadCase{"rev=RN05,,disc=1", "empty entry"},
                    BadCase{"rev=RN05,", "empty entry"}, BadCase{"disc", "\"disc\" is not key=value"},
                    BadCase{"rev=RN0555", "rev: \"RN0555\" has more than 4 characters"},
                    BadCase{"vendor=TALVORE-X", "vendor: \"TALVORE-X\" has more than 8 characters"},
                    BadCase{"product=\x01", "product: \"\x01\" holds a control character"},
                    BadCase{"serial=", "serial: \"\" is not 1 to 16 characters"},
                    BadCase{"serial=12345678901234567", "serial: \"12345678901234567\" is not 1 to 16 characters"},
                    BadCase{"disc=yes", "disc: \"yes\" is neither 0 nor 1"},
                    BadCase{"tray=ajar", "tray: \"ajar\" is neither closed nor open"},
                    BadCase{"lock=held", "lock: \"held\" is neither allowed nor prevented"},
                    BadCase{"chip=BFD6", "chip: \"BFD6\" is neither 8 hex digits nor none"},
                    BadCase{"chip=BFD6000G", "chip: \"BFD6000G\" is neither 8 hex digits nor none"},
                    BadCase{"host=-1", "host: \"-1\" is not a whole number from 0 to 255"},
                    BadCase{"target=256", "target: \"256\" is not a whole number from 0 to 255"},
                    BadCase{"lun=1x", "lun: \"1x\" is not a whole number from 0 to 255"},
                    BadCase{"image=0", "image: \"0\" is not a whole number from 1 to 1048576"},
                    BadCase{"image=1048577", "image: \"1048577\" is not a whole number from 1 to 1048576"},
                    BadCase{"polls=", "polls: \"\" is not a whole number from 0 to 1000000"},
                    BadCase{"timing=fast", "timing: \"fast\" is neither instant nor realistic"},
                    BadCase{"commit=-1", "commit: \"-1\" is not a number from 0 to 1e9"},
                    BadCase{"rate=nan", "rate: \"nan\" is not a number from 0 to 1e9"},
                    BadCase{"latency=inf", "latency: \"inf\" is not a number from 0 to 1e9"},
                    BadCase{"address=somewhere", "address: \"somewhere\" is not auto, given, none or empty"},
                    BadCase{"root=", "root: \"\" is not 1 to 15 characters"},
                    BadCase{"root=/dev/disk/by-id/x", "root: \"/dev/disk/by-id/x\" is not 1 to 15 characters"},
                    BadCase{"open=maybe", "open: \"maybe\" is neither ok nor fails"},
                    BadCase{"fault=#3", "fault: \"#3\" is not trigger:action"},
                    BadCase{"fault=3:fail", "fault: \"3\" is not #N or XX#N"},
                    BadCase{"fault=ZZ#1:fail", "fault: \"ZZ\" is not an opcode of two hex digits"},
                    BadCase{"fault=#0:fail", "fault: \"0\" is not a whole number from 1 to 100000000"},
                    BadCase{"fault=#1:explode", "fault: \"explode\" is not sense, fail, slow, corrupt, short or gone"},
                    BadCase{"fault=#1:sense", "fault: \"sense\" needs a value"},
                    BadCase{"fault=#1:fail:2", "fault: \"fail\" takes no value"},
                    BadCase{"fault=#1:sense:5/24", "fault: \"5/24\" is not K/AA/QQ in hex"},
                    BadCase{"fault=#1:sense:G/24/00", "fault: \"G/24/00\" is not K/AA/QQ in hex"},
                    BadCase{"fault=#1:corrupt:x", "fault: \"x\" is not a whole number from 0 to 1048575"},
                    BadCase{"fault=#1:short:1048577", "fault: \"1048577\" is not a whole number from 0 to 1048576"}));

TEST(DriveSetupText, TooManyFaultsAreRefused)
{
    std::string text;
    for (int i = 1; i <= sim::kMaxFaults + 1; ++i) {
        text += (i > 1 ? "," : "") + std::string("fault=#") + std::to_string(i) + ":fail";
    }
    DriveSetup setup;
    std::string reason;
    EXPECT_FALSE(ParseDriveSetup(text, setup, reason));
    EXPECT_EQ(reason, "fault: more than 16 faults");
}

TEST(DriveSetupText, GarbageNeverCrashes)
{
    const char* inputs[] = {",",
                            "=",
                            "==",
                            "=x",
                            "rev==",
                            ",,,,",
                            "fault=",
                            "fault=:",
                            "fault=#:",
                            "fault=##1:fail",
                            "fault=3C#:fail",
                            "fault=#1+:",
                            "chip=",
                            "\xff\xfe=\x80",
                            "   ",
                            "rev",
                            "a=b=c"};
    for (const char* input : inputs) {
        DriveSetup setup;
        std::string reason;
        const bool parsed = ParseDriveSetup(input, setup, reason);
        EXPECT_TRUE(parsed || !reason.empty()) << input;
    }
}

}  // namespace
