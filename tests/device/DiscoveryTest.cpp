// Drive discovery against the virtual system: which roots become drives, the table order, the
// limit of 16 drives, identification with its ten attempts, the flash identification, the
// ASPI scan, and that every drive is closed again afterwards.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "device/AtapiDevice.h"
#include "sim/VirtualSystem.h"

namespace {

using sim::AddressKind;
using sim::DriveSetup;
using sim::VirtualSystem;

constexpr uint8_t kInquiryOpcode = 0x12;
constexpr uint8_t kTestUnitReadyOpcode = 0x00;
constexpr uint8_t kFlashIdOpcode = 0xDF;

DriveSetup At(const char* root, int16_t host, int16_t path = 0, int16_t target = 0, int16_t lun = 0)
{
    DriveSetup setup;
    std::snprintf(setup.root, sizeof setup.root, "%s", root);
    setup.addressKind = AddressKind::Given;
    setup.address = platform::ScsiAddress{host, path, target, lun};
    return setup;
}

DriveSetup Without(AddressKind kind, const char* root)
{
    DriveSetup setup;
    std::snprintf(setup.root, sizeof setup.root, "%s", root);
    setup.addressKind = kind;
    return setup;
}

// A drive whose inquiry data carry zeros in vendor and product.
DriveSetup Blank(const char* root, int16_t host)
{
    DriveSetup setup = At(root, host);
    std::memset(setup.drive.vendor, 0, sizeof setup.drive.vendor);
    std::memset(setup.drive.product, 0, sizeof setup.drive.product);
    return setup;
}

sim::Fault SenseOn(uint8_t opcode, uint32_t repeat)
{
    return {.kind = sim::FaultKind::Sense,
            .trigger = sim::FaultTrigger::Opcode,
            .opcode = opcode,
            .number = 1,
            .repeat = repeat,
            .senseKey = 0x4,
            .asc = 0x44};
}

int CountCommands(const sim::VirtualDrive& drive, uint8_t opcode)
{
    char prefix[3];
    std::snprintf(prefix, sizeof prefix, "%02X", opcode);
    int count = 0;
    for (const std::string& line : drive.trace()) count += line.compare(0, 2, prefix) == 0 ? 1 : 0;
    return count;
}

std::vector<std::string> ListedRoots(const AtapiDevice& device)
{
    std::vector<std::string> roots;
    for (uint32_t i = 0; i < device.DriveCount(); ++i) {
        const DriveRecord* record = device.GetDrive(i);
        roots.push_back(record != nullptr ? record->rootPath : "<none>");
    }
    return roots;
}

std::string Field(const char* text, size_t width) { return std::string(text, width); }

// ---------------------------------------------------------------------------------------------
// Which roots become drives

TEST(DiscoveryRoots, NoOpticalDriveGivesAnEmptyTable)
{
    VirtualSystem system;
    ASSERT_TRUE(system.AddOtherRoot("C:\\"));
    AtapiDevice device(system);
    EXPECT_EQ(device.DriveCount(), 0);
    for (uint32_t i = 0; i < kMaxDrives; ++i) EXPECT_EQ(device.GetDrive(i), nullptr) << i;
    EXPECT_EQ(device.CurrentIndex(), kNoDriveSelected);
}

TEST(DiscoveryRoots, AnOpticalRootFirstInTheListIsFoundLikeAnyOther)
{
    VirtualSystem system;
    ASSERT_NE(system.AddDrive(At("/dev/sr0", 0)), nullptr);
    ASSERT_TRUE(system.AddOtherRoot("/dev/sda"));
    ASSERT_NE(system.AddDrive(At("/dev/sr1", 1)), nullptr);
    AtapiDevice device(system);

    ASSERT_EQ(device.DriveCount(), 2);
    EXPECT_EQ(ListedRoots(device), (std::vector<std::string>{"/dev/sr0", "/dev/sr1"}));
    const DriveRecord* first = device.GetDrive(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->present, 1);
    EXPECT_EQ(first->viaAspi, 0);
    EXPECT_EQ(Field(first->vendor, 8), "TALVORE ");
    EXPECT_EQ(first->storageDescriptor[8], 0x05);  // the descriptor the system gave
}

TEST(DiscoveryRoots, NonOpticalRootsTakeNoSlot)
{
    VirtualSystem system;
    for (int i = 0; i < 8; ++i) {
        char root[16];
        std::snprintf(root, sizeof root, "/dev/sd%c", 'a' + i);
        ASSERT_TRUE(system.AddOtherRoot(root));
    }
    for (int i = 0; i < VirtualSystem::kMaxDrives; ++i) ASSERT_NE(system.AddDrive(), nullptr);
    AtapiDevice device(system);
    EXPECT_EQ(device.DriveCount(), 16);  // eight other roots before them used no slot
}

TEST(DiscoveryRoots, ADriveThatCannotBeOpenedIsLeftOut)
{
    VirtualSystem system;
    ASSERT_NE(system.AddDrive(At("/dev/sr0", 0, 0, 0)), nullptr);
    DriveSetup failing = At("/dev/sr1", 0, 0, 1);
    failing.openFails = true;
    ASSERT_NE(system.AddDrive(failing), nullptr);
    ASSERT_NE(system.AddDrive(At("/dev/sr2", 0, 0, 2)), nullptr);
    AtapiDevice device(system);

    EXPECT_EQ(ListedRoots(device), (std::vector<std::string>{"/dev/sr0", "/dev/sr2"}));
    for (int16_t i = 2; i < kMaxDrives; ++i) EXPECT_EQ(device.IsPresent(i), 0) << i;
    EXPECT_EQ(device.GetDrive(2), nullptr);
    EXPECT_EQ(system.drive(1).commandCount(), 0u);
}

TEST(DiscoveryRoots, ADriveWithAnEmptyAddressIsLeftOut)
{
    VirtualSystem system;
    ASSERT_NE(system.AddDrive(Without(AddressKind::Empty, "/dev/sr0")), nullptr);
    ASSERT_NE(system.AddDrive(At("/dev/sr1", 0)), nullptr);
    AtapiDevice device(system);
    EXPECT_EQ(ListedRoots(device), (std::vector<std::string>{"/dev/sr1"}));
}

TEST(DiscoveryRoots, EveryDriveIsClosedAfterTheScan)
{
    VirtualSystem system;
    for (int i = 0; i < 4; ++i) ASSERT_NE(system.AddDrive(), nullptr);
    AtapiDevice device(system);
    EXPECT_EQ(device.DriveCount(), 4);
    EXPECT_EQ(system.openDriveCount(), 0);
    EXPECT_EQ(device.CurrentIndex(), kNoDriveSelected);
}

// ---------------------------------------------------------------------------------------------
// Table order

TEST(DiscoveryOrder, PortZeroComesBeforePortOneWhateverTheRoots)
{
    VirtualSystem system;
    ASSERT_NE(system.AddDrive(At("/dev/sr0", 1, 0, 0, 0)), nullptr);
    ASSERT_NE(system.AddDrive(At("/dev/sr1", 0, 0, 0, 0)), nullptr);
    AtapiDevice device(system);

    ASSERT_EQ(device.DriveCount(), 2);
    EXPECT_EQ(ListedRoots(device), (std::vector<std::string>{"/dev/sr1", "/dev/sr0"}));
    EXPECT_EQ(device.GetDrive(0)->host, 0);
    EXPECT_EQ(device.GetDrive(1)->host, 1);
}

TEST(DiscoveryOrder, DrivesWithoutAddressFollowPortsZeroAndOneAsHostTwoAndThree)
{
    VirtualSystem system;
    ASSERT_NE(system.AddDrive(Without(AddressKind::QueryFails, "/dev/sr0")), nullptr);
    ASSERT_NE(system.AddDrive(At("/dev/sr1", 1, 0, 0, 0)), nullptr);
    ASSERT_NE(system.AddDrive(Without(AddressKind::QueryFails, "/dev/sr2")), nullptr);
    ASSERT_NE(system.AddDrive(At("/dev/sr3", 0, 0, 1, 0)), nullptr);
    AtapiDevice device(system);

    ASSERT_EQ(device.DriveCount(), 4);
    EXPECT_EQ(ListedRoots(device), (std::vector<std::string>{"/dev/sr3", "/dev/sr1", "/dev/sr0", "/dev/sr2"}));
    const DriveRecord* second = device.GetDrive(2);
    const DriveRecord* third = device.GetDrive(3);
    EXPECT_EQ(second->host, 2);
    EXPECT_EQ(third->host, 3);
    for (const DriveRecord* record : {second, third}) {
        EXPECT_EQ(record->path, 0);
        EXPECT_EQ(record->target, 0);
        EXPECT_EQ(record->lun, 0);
        EXPECT_EQ(Field(record->vendor, 8), "TALVORE ");  // identified like any other
    }
}

TEST(DiscoveryOrder, NumbersAboveFifteenSpillIntoTheDigitAboveAndEqualKeysKeepRootOrder)
{
    VirtualSystem system;
    ASSERT_NE(system.AddDrive(At("/dev/sr0", 0, 1, 0, 0)), nullptr);    // key 256
    ASSERT_NE(system.AddDrive(At("/dev/sr1", 0, 0, 16, 0)), nullptr);   // key 256
    ASSERT_NE(system.AddDrive(At("/dev/sr2", 0, 0, 15, 15)), nullptr);  // key 255
    ASSERT_NE(system.AddDrive(At("/dev/sr3", 0, 0, 0, 1)), nullptr);    // key 1
    AtapiDevice device(system);

    EXPECT_EQ(ListedRoots(device), (std::vector<std::string>{"/dev/sr3", "/dev/sr2", "/dev/sr0", "/dev/sr1"}));
}

// ---------------------------------------------------------------------------------------------
// More optical drives than the table holds

std::string SrRoot(int number) { return "/dev/sr" + std::to_string(number); }

TEST(DiscoveryLimit, AtMostSixteenDrivesAreStoredTheFirstSixteenRoots)
{
    VirtualSystem system;
    constexpr int kDrivesAttached = 20;
    static_assert(kDrivesAttached <= VirtualSystem::kMaxDrives);
    for (int i = 0; i < kDrivesAttached; ++i) {
        const int16_t reverse = static_cast<int16_t>(kDrivesAttached - 1 - i);  // later roots sort first
        ASSERT_NE(system.AddDrive(At(SrRoot(i).c_str(), 0, reverse)), nullptr);
    }
    AtapiDevice device(system);

    ASSERT_EQ(device.DriveCount(), 16);
    for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(device.GetDrive(i)->rootPath, SrRoot(15 - i)) << i;
    for (int i = 16; i < kDrivesAttached; ++i) EXPECT_EQ(system.drive(i).commandCount(), 0u) << i;
    EXPECT_EQ(system.openDriveCount(), 0);
}

TEST(DiscoveryLimit, ADriveThatCannotBeOpenedStillUsesItsSlot)
{
    VirtualSystem system;
    for (int i = 0; i < 17; ++i) ASSERT_NE(system.AddDrive(), nullptr);
    system.SetOpenFails(0, true);
    AtapiDevice device(system);

    EXPECT_EQ(device.DriveCount(), 15);
    EXPECT_STREQ(device.GetDrive(0)->rootPath, "/dev/sr1");
    EXPECT_EQ(system.drive(16).commandCount(), 0u);
}

// ---------------------------------------------------------------------------------------------
// Identification

TEST(DiscoveryIdentification, FillsTheRecordFromTheInquiryData)
{
    VirtualSystem system;
    DriveSetup setup = At("/dev/sr0", 0);
    std::memcpy(setup.drive.vendorSpecific, "2004/05/06 TEST ", 16);
    ASSERT_NE(system.AddDrive(setup), nullptr);
    AtapiDevice device(system);

    const DriveRecord* record = device.GetDrive(0);
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->vendor, "TALVORE ");
    EXPECT_STREQ(record->product, "DVDRW KRX-407T  ");
    EXPECT_STREQ(record->revision, "RN05");
    EXPECT_STREQ(record->vendorSpecific, "2004/05/06 TEST ");
    const char expectedName[32] = "TALVORE DVDRW KRX-407T  ";
    EXPECT_EQ(0, std::memcmp(record->displayName, expectedName, sizeof expectedName));
    EXPECT_EQ(CountCommands(system.drive(0), kInquiryOpcode), 1);
    EXPECT_EQ(system.drive(0).trace().front().substr(0, 24), "000000000000000000000000");
    EXPECT_EQ(system.drive(0).trace()[1].substr(0, 24), "120000006000000000000000");
}

TEST(DiscoveryIdentification, ABlankDriveIsAskedTenTimesAndStaysListedUnidentified)
{
    VirtualSystem system;
    ASSERT_NE(system.AddDrive(Blank("/dev/sr0", 0)), nullptr);
    ASSERT_NE(system.AddDrive(Blank("/dev/sr1", 1)), nullptr);
    ASSERT_NE(system.AddDrive(At("/dev/sr2", 2)), nullptr);
    AtapiDevice device(system);

    ASSERT_EQ(device.DriveCount(), 3);
    EXPECT_EQ(CountCommands(system.drive(0), kInquiryOpcode), 10);
    EXPECT_EQ(CountCommands(system.drive(1), kInquiryOpcode), 10);  // its own ten attempts
    EXPECT_EQ(CountCommands(system.drive(2), kInquiryOpcode), 1);
    for (uint32_t i = 0; i < 2; ++i) {
        const DriveRecord* record = device.GetDrive(i);
        EXPECT_STREQ(record->vendor, "");
        EXPECT_STREQ(record->product, "");
        EXPECT_STREQ(record->revision, "");  // the drive's revision is not kept either
        EXPECT_EQ(record->displayName[0], '\0');
        EXPECT_EQ(record->present, 1);
    }
    EXPECT_STREQ(device.GetDrive(2)->vendor, "TALVORE ");
}

TEST(DiscoveryIdentification, EndsAtTheFirstSuccessfulAttempt)
{
    VirtualSystem system;
    sim::VirtualDrive* drive = system.AddDrive(At("/dev/sr0", 0));
    ASSERT_NE(drive, nullptr);
    ASSERT_TRUE(drive->AddFault(SenseOn(kInquiryOpcode, 9)));
    AtapiDevice device(system);

    EXPECT_EQ(CountCommands(*drive, kInquiryOpcode), 10);
    EXPECT_STREQ(device.GetDrive(0)->vendor, "TALVORE ");
}

TEST(DiscoveryIdentification, AVendorOrAProductAloneIdentifiesTheDrive)
{
    VirtualSystem system;
    DriveSetup productOnly = Blank("/dev/sr0", 0);
    std::memcpy(productOnly.drive.product, "P", 1);
    DriveSetup vendorOnly = Blank("/dev/sr1", 1);
    std::memcpy(vendorOnly.drive.vendor, "V", 1);
    ASSERT_NE(system.AddDrive(productOnly), nullptr);
    ASSERT_NE(system.AddDrive(vendorOnly), nullptr);
    AtapiDevice device(system);

    EXPECT_EQ(CountCommands(system.drive(0), kInquiryOpcode), 1);
    EXPECT_EQ(CountCommands(system.drive(1), kInquiryOpcode), 1);
    EXPECT_STREQ(device.GetDrive(0)->product, "P");
    EXPECT_STREQ(device.GetDrive(0)->revision, "RN05");
    EXPECT_STREQ(device.GetDrive(1)->vendor, "V");
}

TEST(DiscoveryIdentification, ClearsAUnitAttentionBeforeAsking)
{
    VirtualSystem system;
    sim::VirtualDrive* drive = system.AddDrive(At("/dev/sr0", 0));
    ASSERT_NE(drive, nullptr);
    drive->Reset();  // unit attention 6/29/00 on the next command
    AtapiDevice device(system);

    ASSERT_GE(drive->trace().size(), 3u);
    EXPECT_EQ(drive->trace()[0], "000000000000000000000000 none 0 sense 6/29/00");
    EXPECT_EQ(drive->trace()[1].substr(0, 2), "00");
    EXPECT_EQ(CountCommands(*drive, kTestUnitReadyOpcode), 2);
    EXPECT_STREQ(device.GetDrive(0)->vendor, "TALVORE ");
}

TEST(DiscoveryFlashId, KeepsTheFirstFourBytesOfTheFlashIdentification)
{
    VirtualSystem system;
    DriveSetup setup = At("/dev/sr0", 0);
    const uint8_t chip[4] = {0xC2, 0x20, 0x00, 0x02};
    std::memcpy(setup.drive.flashId, chip, sizeof chip);
    ASSERT_NE(system.AddDrive(setup), nullptr);
    AtapiDevice device(system);

    EXPECT_EQ(0, std::memcmp(device.GetDrive(0)->flashId, chip, sizeof chip));
    EXPECT_EQ(CountCommands(system.drive(0), kFlashIdOpcode), 1);
}

TEST(DiscoveryFlashId, StaysZeroWhenTheCommandFailsTimesOutOrTheReplyIsAllZero)
{
    VirtualSystem system;
    DriveSetup zeros = At("/dev/sr0", 0, 0, 0);
    std::memset(zeros.drive.flashId, 0, sizeof zeros.drive.flashId);
    ASSERT_NE(system.AddDrive(zeros), nullptr);
    sim::VirtualDrive* failing = system.AddDrive(At("/dev/sr1", 0, 0, 1));
    ASSERT_NE(failing, nullptr);
    ASSERT_TRUE(failing->AddFault(SenseOn(kFlashIdOpcode, 1)));
    // Moves its reply, but after the time-out: the command failed, the reply is not kept.
    sim::VirtualDrive* late = system.AddDrive(At("/dev/sr2", 0, 0, 2));
    ASSERT_NE(late, nullptr);
    sim::Fault slow = SenseOn(kFlashIdOpcode, 1);
    slow.kind = sim::FaultKind::Slow;
    slow.seconds = 200.0;
    ASSERT_TRUE(late->AddFault(slow));
    AtapiDevice device(system);

    const uint8_t zero[4] = {};
    ASSERT_EQ(device.DriveCount(), 3);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(0, std::memcmp(device.GetDrive(i)->flashId, zero, 4)) << i;
    EXPECT_EQ(CountCommands(*failing, kFlashIdOpcode), 1);
    EXPECT_EQ(CountCommands(*late, kFlashIdOpcode), 1);
}

// ---------------------------------------------------------------------------------------------
// The ASPI scan, on a system outside the NT family

VirtualSystem& WithAspi(VirtualSystem& system, const sim::AspiSettings& settings)
{
    system.SetPlatformId(VirtualSystem::kPlatformWindows);
    system.SetAspiManager(settings);
    return system;
}

sim::AspiSettings PresentManager()
{
    sim::AspiSettings settings;
    settings.presence = sim::AspiPresence::Present;
    return settings;
}

TEST(DiscoveryAspi, FindsTheDrivesOfEveryAdapterInAddressOrder)
{
    VirtualSystem system;
    WithAspi(system, PresentManager());
    ASSERT_NE(system.AddDrive(At("/dev/sr0", 1, 0, 0, 0)), nullptr);
    ASSERT_NE(system.AddDrive(At("/dev/sr1", 0, 0, 3, 1)), nullptr);
    ASSERT_NE(system.AddDrive(At("/dev/sr2", 0, 0, 2, 0)), nullptr);
    AtapiDevice device(system);

    ASSERT_EQ(device.DriveCount(), 3);
    const int16_t expected[3][3] = {{0, 2, 0}, {0, 3, 1}, {1, 0, 0}};
    for (uint32_t i = 0; i < 3; ++i) {
        const DriveRecord* record = device.GetDrive(i);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->host, expected[i][0]);
        EXPECT_EQ(record->target, expected[i][1]);
        EXPECT_EQ(record->lun, expected[i][2]);
        EXPECT_EQ(record->path, 0);
        EXPECT_EQ(record->viaAspi, 1);
        EXPECT_STREQ(record->rootPath, "");
        EXPECT_STREQ(record->vendor, "TALVORE ");
    }
    EXPECT_EQ(0, std::memcmp(device.GetDrive(0)->flashId, "\xBF\xD6\x00\x01", 4));
    EXPECT_EQ(CountCommands(system.drive(0), kInquiryOpcode), 1);
    EXPECT_EQ(system.openDriveCount(), 0);  // ASPI opens no drive
}

TEST(DiscoveryAspi, StopsAtTheFirstAdapterWhoseInquiryFails)
{
    VirtualSystem system;
    sim::AspiSettings settings = PresentManager();
    settings.failingAdapter = 1;
    WithAspi(system, settings);
    ASSERT_NE(system.AddDrive(At("/dev/sr0", 0, 0, 1)), nullptr);
    ASSERT_NE(system.AddDrive(At("/dev/sr1", 1, 0, 0)), nullptr);
    ASSERT_NE(system.AddDrive(At("/dev/sr2", 2, 0, 0)), nullptr);
    AtapiDevice device(system);

    ASSERT_EQ(device.DriveCount(), 1);  // adapter 0's drive stays; 2 is never asked
    EXPECT_EQ(device.GetDrive(0)->host, 0);
    EXPECT_EQ(device.GetDrive(0)->target, 1);
}

TEST(DiscoveryAspi, AFailingFirstInquiryFindsNothing)
{
    VirtualSystem system;
    sim::AspiSettings settings = PresentManager();
    settings.failingAdapter = 0;
    WithAspi(system, settings);
    ASSERT_NE(system.AddDrive(At("/dev/sr0", 0)), nullptr);
    AtapiDevice device(system);
    EXPECT_EQ(device.DriveCount(), 0);
    EXPECT_EQ(system.drive(0).commandCount(), 0u);
}

class AspiManagerMissing : public testing::TestWithParam<sim::AspiSettings> {};

TEST_P(AspiManagerMissing, FindsNothingAndNeverCallsAMissingEntry)
{
    VirtualSystem system;
    WithAspi(system, GetParam());
    ASSERT_NE(system.AddDrive(At("/dev/sr0", 0)), nullptr);
    AtapiDevice device(system);

    EXPECT_EQ(device.DriveCount(), 0);
    EXPECT_EQ(system.aspiCallsWhileUnloaded(), 0u);
    EXPECT_EQ(system.drive(0).commandCount(), 0u);
    EXPECT_FALSE(system.messages().empty());  // the loader said why
}

sim::AspiSettings Manager(sim::AspiPresence presence, uint8_t status = platform::SS_COMP)
{
    sim::AspiSettings settings;
    settings.presence = presence;
    settings.supportStatus = status;
    return settings;
}

INSTANTIATE_TEST_SUITE_P(DiscoveryAspi, AspiManagerMissing,
                         testing::Values(Manager(sim::AspiPresence::Absent),
                                         Manager(sim::AspiPresence::MissingSupportInfo),
                                         Manager(sim::AspiPresence::MissingSendCommand),
                                         Manager(sim::AspiPresence::Present, platform::SS_NO_ASPI),
                                         Manager(sim::AspiPresence::Present, platform::SS_OLD_MANAGER)));

// A manager that answers from a script and keeps the requests it received, which the
// virtual manager does not record.
class ScriptedAspiSystem : public VirtualSystem {
public:
    struct Request {
        uint8_t command;
        uint8_t adapter;
        uint8_t target;
        uint8_t lun;
        bool operator==(const Request&) const = default;
    };

    explicit ScriptedAspiSystem(uint8_t adapters) : adapters(adapters) { SetPlatformId(kPlatformWindows); }

    platform::AspiLibrary LoadAspiLibrary(const char*) override { return this; }
    void* FindAspiEntry(platform::AspiLibrary, const char* name) override
    {
        if (std::strcmp(name, platform::kGetSupportInfoName) == 0) {
            return reinterpret_cast<void*>(&SupportInfo);
        }
        if (std::strcmp(name, platform::kSendCommandName) == 0) {
            return reinterpret_cast<void*>(&Send);
        }
        return nullptr;
    }
    void FreeAspiLibrary(platform::AspiLibrary) override {}

    std::vector<Request> requests;
    int16_t optical[3] = {-1, -1, -1};  // adapter, target, lun of one optical device

private:
    static uint32_t SupportInfo(platform::AspiLibrary library)
    {
        return (uint32_t{platform::SS_COMP} << 8) | static_cast<ScriptedAspiSystem*>(library)->adapters;
    }
    static uint32_t Send(platform::AspiLibrary library, void* request)
    {
        auto& header = *static_cast<platform::SRB_Header*>(request);
        return static_cast<ScriptedAspiSystem*>(library)->Answer(header);
    }
    uint32_t Answer(platform::SRB_Header& header)
    {
        Request seen{header.SRB_Cmd, header.SRB_HaId, 0, 0};
        header.SRB_Status = platform::SS_COMP;
        if (header.SRB_Cmd == platform::SC_HA_INQUIRY) {
            reinterpret_cast<platform::SRB_HAInquiry&>(header).HA_Count = adapters;
        } else if (header.SRB_Cmd == platform::SC_GET_DEV_TYPE) {
            auto& device = reinterpret_cast<platform::SRB_GDEVBlock&>(header);
            seen.target = device.SRB_Target;
            seen.lun = device.SRB_Lun;
            const bool isOptical = optical[0] == device.SRB_HaId && optical[1] == device.SRB_Target &&
                                   optical[2] == device.SRB_Lun;
            device.SRB_DeviceType = isOptical ? platform::DTYPE_CDROM : 0x1F;
        } else if (header.SRB_Cmd == platform::SC_EXEC_SCSI_CMD) {
            header.SRB_Status = platform::SS_ERR;  // no drive answers behind this manager
        }
        requests.push_back(seen);
        return header.SRB_Status;
    }

    uint8_t adapters;
};

TEST(DiscoveryAspi, AsksAdapterZeroThenRescansThenWalksEveryTargetAndLun)
{
    ScriptedAspiSystem system(2);
    system.optical[0] = 1;
    system.optical[1] = 4;
    system.optical[2] = 2;
    AtapiDevice device(system);

    using R = ScriptedAspiSystem::Request;
    std::vector<R> expected = {{0x00, 0, 0, 0}, {0x07, 0, 0, 0}, {0x07, 1, 0, 0}};
    for (uint8_t adapter = 0; adapter < 2; ++adapter) {
        expected.push_back({0x00, adapter, 0, 0});
        for (uint8_t target = 0; target < 16; ++target) {
            for (uint8_t lun = 0; lun < 16; ++lun) expected.push_back({0x01, adapter, target, lun});
        }
    }
    ASSERT_GE(system.requests.size(), expected.size());
    EXPECT_EQ(std::vector<R>(system.requests.begin(), system.requests.begin() + expected.size()), expected);

    ASSERT_EQ(device.DriveCount(), 1);
    const DriveRecord* record = device.GetDrive(0);
    EXPECT_EQ(record->host, 1);
    EXPECT_EQ(record->target, 4);
    EXPECT_EQ(record->lun, 2);
    EXPECT_STREQ(record->vendor, "");  // nothing answered the INQUIRY
}

TEST(DiscoveryAspi, StopsStoringWhenSixteenDrivesAreFound)
{
    VirtualSystem system;
    WithAspi(system, PresentManager());
    // Targets 0..15 with lun 0, then targets 0..3 with lun 1: the walk goes lun by lun inside
    // each target, so the table is full at target 11, lun 0.
    for (int i = 0; i < 20; ++i) {
        ASSERT_NE(system.AddDrive(At(SrRoot(i).c_str(), 0, 0, i % 16, i / 16)), nullptr);
    }
    AtapiDevice device(system);

    ASSERT_EQ(device.DriveCount(), 16);
    EXPECT_EQ(device.GetDrive(1)->target, 0);
    EXPECT_EQ(device.GetDrive(1)->lun, 1);
    EXPECT_EQ(device.GetDrive(15)->target, 11);
    EXPECT_EQ(device.GetDrive(15)->lun, 0);
    for (int i = 12; i < 16; ++i) EXPECT_EQ(system.drive(i).commandCount(), 0u) << i;
}

}  // namespace
