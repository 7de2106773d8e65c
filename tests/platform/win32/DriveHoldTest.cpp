// How the Windows seam opens a drive and takes it for an update, over a stand-in for the system's
// volume calls that logs each call: every open is shared for reading and writing, the drive is
// taken before its first command and given back on every way out, and a drive that another
// program holds is refused with nothing sent to it.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/Win32System.h"
#include "platform/win32/WindowsApi.h"

namespace {

using namespace platform;

constexpr uint32_t kNone = 0;

// What the stand-in system answers. An error of 0 lets the call succeed.
struct Script {
    uint32_t openError = kNone;
    uint32_t exclusiveError = kNone;  // the exclusive-access lock request
    bool queryAnswers = true;         // the exclusive-access query
    const char* holder = nullptr;     // the program the query names as the holder, when one does
    uint32_t volumeLockError = kNone;
    int failingCommand = 0;  // the 1-based command from which commands fail with commandError
    uint32_t commandError = kNone;
    bool vanishes = false;  // from the failing command on, every request fails: the drive is gone
};

class LoggedVolumeCalls : public win32::VolumeCalls {
public:
    explicit LoggedVolumeCalls(const Script& script) : script(script) {}

    uint32_t DriveType(const char* root) override { return std::strcmp(root, "E:\\") == 0 ? DRIVE_CDROM : DRIVE_FIXED; }

    win32::VolumeHandle Open(const char* volumePath, uint32_t shareMode) override
    {
        log.push_back(std::string("open ") + volumePath + " share " + std::to_string(shareMode));
        if (script.openError != kNone) return Fail(script.openError, INVALID_HANDLE_VALUE);
        return &volume;
    }

    bool Control(win32::VolumeHandle handle, uint32_t code, void* input, uint32_t, void* output, uint32_t,
                 uint32_t& returned) override
    {
        returned = 0;
        EXPECT_EQ(handle, &volume);
        if (gone) return Fail(ERROR_DEVICE_NOT_CONNECTED, false, "failed: " + Name(code, input));
        log.push_back(Name(code, input));
        if (code == IOCTL_SCSI_PASS_THROUGH_DIRECT) return Command();
        if (code == FSCTL_LOCK_VOLUME && script.volumeLockError != kNone) return Fail(script.volumeLockError, false);
        if (code != IOCTL_CDROM_EXCLUSIVE_ACCESS) return true;
        const auto request = static_cast<const CDROM_EXCLUSIVE_ACCESS*>(input)->RequestType;
        if (request == ExclusiveAccessLockDevice && script.exclusiveError != kNone)
            return Fail(script.exclusiveError, false);
        if (request == ExclusiveAccessQueryState)
            return Query(static_cast<CDROM_EXCLUSIVE_LOCK_STATE*>(output), returned);
        return true;
    }

    void Close(win32::VolumeHandle handle) override
    {
        EXPECT_EQ(handle, &volume);
        log.push_back("close");
    }

    uint32_t LastError() override { return lastError; }

    std::vector<std::string> log;

private:
    static std::string Name(uint32_t code, const void* input)
    {
        if (code == IOCTL_SCSI_PASS_THROUGH_DIRECT) return "command";
        if (code == FSCTL_LOCK_VOLUME) return "lock volume";
        if (code == FSCTL_UNLOCK_VOLUME) return "unlock volume";
        if (code != IOCTL_CDROM_EXCLUSIVE_ACCESS) return "control " + std::to_string(code);
        const auto* lock = static_cast<const CDROM_EXCLUSIVE_LOCK*>(input);
        const std::string caller(reinterpret_cast<const char*>(lock->CallerName));
        switch (lock->Access.RequestType) {
        case ExclusiveAccessLockDevice: return "lock as " + caller;
        case ExclusiveAccessUnlockDevice: return "unlock as " + caller;
        default: return "query holder";
        }
    }

    template <typename Result>
    Result Fail(uint32_t error, Result result, const std::string& entry = "")
    {
        if (!entry.empty()) log.push_back(entry);
        lastError = error;
        return result;
    }

    bool Command()
    {
        ++commands;
        if (script.failingCommand == 0 || commands < script.failingCommand) return true;
        gone = script.vanishes;
        return Fail(script.commandError, false);
    }

    bool Query(CDROM_EXCLUSIVE_LOCK_STATE* state, uint32_t& returned)
    {
        if (!script.queryAnswers) return Fail(ERROR_INVALID_FUNCTION, false);
        *state = {};
        if (script.holder != nullptr) {
            state->LockState = CDROM_IN_EXCLUSIVE_MODE;
            std::memcpy(state->CallerName, script.holder, std::strlen(script.holder));
        }
        returned = sizeof *state;
        return true;
    }

    const Script script;
    int volume = 0;
    int commands = 0;
    bool gone = false;
    uint32_t lastError = 0;
};

struct DriveHoldCase {
    const char* name;
    Script script;
    bool exclusive;  // opened for an update, or shared for the drive list
    int commands;    // commands the caller sends while the drive is open, then it closes it
    std::vector<std::string> log;
    const char* refusal;  // null: the drive opens
};

const char kOpen[] = "open \\\\.\\E: share 3";  // FILE_SHARE_READ | FILE_SHARE_WRITE

class DriveHold : public ::testing::TestWithParam<DriveHoldCase> {};

TEST_P(DriveHold, IsTakenBeforeTheFirstCommandAndGivenBackOnEveryWayOut)
{
    const DriveHoldCase& row = GetParam();
    LoggedVolumeCalls calls(row.script);
    Win32System system(calls);
    char refusal[kRefusalSize] = "unchanged";
    const DriveHandle drive = row.exclusive ? system.OpenDriveExclusive("E:\\", refusal) : system.OpenDrive("E:\\");
    EXPECT_EQ(drive == kInvalidDriveHandle, row.refusal != nullptr);
    if (row.exclusive) {
        // A refusal ending in ": " is followed by the system's own text, which differs between systems.
        const std::string expected = row.refusal != nullptr ? row.refusal : "";
        const bool systemText = expected.ends_with(": ");
        EXPECT_EQ(systemText ? std::string(refusal).substr(0, expected.size()) : std::string(refusal), expected);
        EXPECT_TRUE(!systemText || std::strlen(refusal) > expected.size()) << refusal;
    }
    // A refused drive gets nothing: the caller's commands do not reach the system.
    for (int i = 0; i < row.commands; ++i) {
        PassThroughRequest request{};
        request.cdb[0] = 0x00;
        request.direction = DataDirection::None;
        request.timeoutMs = 1000;
        system.SendPassThrough(drive, request);
    }
    system.CloseDrive(drive);
    EXPECT_EQ(calls.log, row.log);
}

INSTANTIATE_TEST_SUITE_P(
    Win32System, DriveHold,
    ::testing::Values(
        DriveHoldCase{"Success",
                      {},
                      true,
                      3,
                      {kOpen, "lock as Norvik", "command", "command", "command", "unlock as Norvik", "close"},
                      nullptr},
        DriveHoldCase{"CommandFails",
                      {.failingCommand = 2, .commandError = ERROR_IO_DEVICE},
                      true,
                      2,
                      {kOpen, "lock as Norvik", "command", "command", "unlock as Norvik", "close"},
                      nullptr},
        DriveHoldCase{"DriveVanishes",
                      {.failingCommand = 2, .commandError = ERROR_DEVICE_NOT_CONNECTED, .vanishes = true},
                      true,
                      3,
                      {kOpen, "lock as Norvik", "command", "command", "failed: command", "failed: unlock as Norvik",
                       "close"},
                      nullptr},
        DriveHoldCase{"StopRequestBeforeAnyCommand",
                      {},
                      true,
                      0,
                      {kOpen, "lock as Norvik", "unlock as Norvik", "close"},
                      nullptr},
        DriveHoldCase{"ExclusiveAccessNotOfferedTakesTheVolumeLock",
                      {.exclusiveError = ERROR_INVALID_FUNCTION, .queryAnswers = false},
                      true,
                      1,
                      {kOpen, "lock as Norvik", "query holder", "lock volume", "command", "unlock volume", "close"},
                      nullptr},
        DriveHoldCase{"ExclusiveAccessRefusedWithNoHolderTakesTheVolumeLock",
                      {.exclusiveError = ERROR_ACCESS_DENIED},
                      true,
                      1,
                      {kOpen, "lock as Norvik", "query holder", "lock volume", "command", "unlock volume", "close"},
                      nullptr},
        DriveHoldCase{"HeldByAnotherProgramIsRefusedByName",
                      {.exclusiveError = ERROR_ACCESS_DENIED, .holder = "Disc Burner 7"},
                      true,
                      2,
                      {kOpen, "lock as Norvik", "query holder", "close"},
                      "The drive E: is in use by another program (Disc Burner 7)"},
        DriveHoldCase{
            "VolumeOpenElsewhereIsRefusedAsInUse",
            {.exclusiveError = ERROR_NOT_SUPPORTED, .queryAnswers = false, .volumeLockError = ERROR_ACCESS_DENIED},
            true,
            1,
            {kOpen, "lock as Norvik", "query holder", "lock volume", "close"},
            "The drive E: is in use by another program"},
        DriveHoldCase{
            "VolumeLockFailingOtherwiseIsRefusedWithTheReason",
            {.exclusiveError = ERROR_NOT_SUPPORTED, .queryAnswers = false, .volumeLockError = ERROR_NOT_READY},
            true,
            1,
            {kOpen, "lock as Norvik", "query holder", "lock volume", "close"},
            "The drive E: could not be taken for this program alone: "},
        DriveHoldCase{"SharingViolationOnOpenIsRefusedAsInUse",
                      {.openError = ERROR_SHARING_VIOLATION},
                      true,
                      1,
                      {kOpen},
                      "The drive E: is in use by another program"},
        DriveHoldCase{"DriveListOpenIsSharedAndTakesNothing", {}, false, 1, {kOpen, "command", "close"}, nullptr}),
    [](const ::testing::TestParamInfo<DriveHoldCase>& info) { return std::string(info.param.name); });

}  // namespace
