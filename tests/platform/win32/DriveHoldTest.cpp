// How the Windows seam opens a drive and takes it for an update, over a stand-in for the system's
// volume calls that logs each call: every open is shared for reading and writing, the drive is
// taken before its first command and given back on every way out, and a drive that another
// program holds is refused with nothing sent to it.

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "platform/win32/Win32System.h"
#include "platform/win32/WindowsApi.h"

namespace {

using namespace platform;

// What the stand-in system answers; an error of 0 lets the call succeed.
struct Script {
    uint32_t openError, exclusiveError;
    bool queryAnswers;
    const char* holder;  // the program the exclusive-access query names, if any
    uint32_t volumeLockError;
    int failingCommand;  // from this 1-based command on, commands fail with commandError
    uint32_t commandError;
    bool vanishes;  // from the failing command on, every request fails
};

class LoggedVolumeCalls : public win32::VolumeCalls {
public:
    explicit LoggedVolumeCalls(const Script& script) : script(script) {}
    uint32_t DriveType(const char* root) override { return std::strcmp(root, "E:\\") == 0 ? DRIVE_CDROM : DRIVE_FIXED; }
    win32::VolumeHandle Open(const char* path, uint32_t share) override
    {
        log += std::string("open ") + path + " share " + std::to_string(share);
        return script.openError != 0 ? Fail(script.openError, INVALID_HANDLE_VALUE) : &log;
    }
    bool Control(win32::VolumeHandle, uint32_t code, void* in, uint32_t, void* out, uint32_t, uint32_t& size) override
    {
        const auto request = code == IOCTL_CDROM_EXCLUSIVE_ACCESS ? static_cast<CDROM_EXCLUSIVE_LOCK*>(in) : nullptr;
        const std::string caller = request != nullptr ? reinterpret_cast<const char*>(request->CallerName) : "";
        const std::string names[] = {"query holder", "lock as " + caller, "unlock as " + caller};
        log += std::string(gone ? ", failed: " : ", ") + (request != nullptr ? names[request->Access.RequestType]
                                                          : code == FSCTL_LOCK_VOLUME              ? "lock volume"
                                                          : code == FSCTL_UNLOCK_VOLUME            ? "unlock volume"
                                                          : code == IOCTL_SCSI_PASS_THROUGH_DIRECT ? "command"
                                                                                                   : "other");
        size = 0;
        if (gone) return Fail(ERROR_DEVICE_NOT_CONNECTED, false);
        if (code == IOCTL_SCSI_PASS_THROUGH_DIRECT && script.failingCommand != 0 && ++commands >= script.failingCommand)
            return gone = script.vanishes, Fail(script.commandError, false);
        if (code == FSCTL_LOCK_VOLUME && script.volumeLockError != 0) return Fail(script.volumeLockError, false);
        if (request == nullptr || request->Access.RequestType == ExclusiveAccessUnlockDevice) return true;
        if (request->Access.RequestType == ExclusiveAccessLockDevice)
            return script.exclusiveError == 0 || Fail(script.exclusiveError, false);
        if (!script.queryAnswers) return Fail(ERROR_INVALID_FUNCTION, false);
        auto* state = static_cast<CDROM_EXCLUSIVE_LOCK_STATE*>(out);
        *state = {};
        state->LockState = script.holder != nullptr ? CDROM_IN_EXCLUSIVE_MODE : CDROM_NOT_IN_EXCLUSIVE_MODE;
        if (script.holder != nullptr) std::memcpy(state->CallerName, script.holder, std::strlen(script.holder));
        size = sizeof *state;
        return true;
    }
    void Close(win32::VolumeHandle) override { log += ", close"; }
    uint32_t LastError() override { return lastError; }

    std::string log;

private:
    template <typename Result>
    Result Fail(uint32_t error, Result result)
    {
        lastError = error;
        return result;
    }

    const Script script;
    int commands = 0;
    bool gone = false;
    uint32_t lastError = 0;
};

struct DriveHoldCase {
    const char* name;
    Script script;
    bool exclusive;  // opened for an update, or shared for the drive list
    int commands;    // sent by the caller while the drive is open; then it closes the drive
    const char* log;
    const char* refusal;  // null: the drive opens; ending in ": ", the system's own text follows
};

void PrintTo(const DriveHoldCase& row, std::ostream* out) { *out << row.name; }

class DriveHold : public ::testing::TestWithParam<DriveHoldCase> {};

TEST_P(DriveHold, IsTakenBeforeTheFirstCommandAndGivenBackOnEveryWayOut)
{
    const DriveHoldCase& row = GetParam();
    LoggedVolumeCalls calls(row.script);
    Win32System system(calls);
    char refusal[kRefusalSize] = "unchanged";
    const DriveHandle drive = row.exclusive ? system.OpenDriveExclusive("E:\\", refusal) : system.OpenDrive("E:\\");
    EXPECT_EQ(drive == kInvalidDriveHandle, row.refusal != nullptr);
    const std::string expected = row.refusal != nullptr ? row.refusal : "";
    if (row.exclusive && expected.ends_with(": ")) {
        EXPECT_EQ(std::string(refusal).substr(0, expected.size()), expected);
        EXPECT_GT(std::strlen(refusal), expected.size());
    } else if (row.exclusive) {
        EXPECT_EQ(refusal, expected);
    }
    for (int i = 0; i < row.commands; ++i) {  // a refused drive gets none of them
        PassThroughRequest request{{0x00}, DataDirection::None, nullptr, 0, 1000, {}, 0};
        system.SendPassThrough(drive, request);
    }
    system.CloseDrive(drive);
    EXPECT_EQ(calls.log, std::string("open \\\\.\\E: share 3") + row.log);  // FILE_SHARE_READ | FILE_SHARE_WRITE
}

constexpr Script kAnswers{0, 0, true, nullptr, 0, 0, 0, false};
constexpr Script kNoExclusiveAccess{0, ERROR_INVALID_FUNCTION, false, nullptr, 0, 0, 0, false};

INSTANTIATE_TEST_SUITE_P(
    Win32System, DriveHold,
    ::testing::Values(
        DriveHoldCase{"Success", kAnswers, true, 2, ", lock as Norvik, command, command, unlock as Norvik, close",
                      nullptr},
        DriveHoldCase{"CommandFails",
                      {0, 0, true, nullptr, 0, 1, ERROR_IO_DEVICE, false},
                      true,
                      1,
                      ", lock as Norvik, command, unlock as Norvik, close",
                      nullptr},
        DriveHoldCase{"DriveVanishes",
                      {0, 0, true, nullptr, 0, 1, ERROR_DEVICE_NOT_CONNECTED, true},
                      true,
                      2,
                      ", lock as Norvik, command, failed: command, failed: unlock as Norvik, close",
                      nullptr},
        DriveHoldCase{"StopRequestBeforeAnyCommand", kAnswers, true, 0, ", lock as Norvik, unlock as Norvik, close",
                      nullptr},
        DriveHoldCase{"NoExclusiveAccessTakesTheVolumeLock", kNoExclusiveAccess, true, 1,
                      ", lock as Norvik, query holder, lock volume, command, unlock volume, close", nullptr},
        DriveHoldCase{"RefusedWithNoHolderTakesTheVolumeLock",
                      {0, ERROR_ACCESS_DENIED, true, nullptr, 0, 0, 0, false},
                      true,
                      1,
                      ", lock as Norvik, query holder, lock volume, command, unlock volume, close",
                      nullptr},
        DriveHoldCase{"HeldByAnotherProgramIsRefusedByName",
                      {0, ERROR_ACCESS_DENIED, true, "Disc Burner 7", 0, 0, 0, false},
                      true,
                      1,
                      ", lock as Norvik, query holder, close",
                      "The drive E: is in use by another program (Disc Burner 7)"},
        DriveHoldCase{"VolumeOpenElsewhereIsRefusedAsInUse",
                      {0, ERROR_NOT_SUPPORTED, false, nullptr, ERROR_ACCESS_DENIED, 0, 0, false},
                      true,
                      1,
                      ", lock as Norvik, query holder, lock volume, close",
                      "The drive E: is in use by another program"},
        DriveHoldCase{"VolumeLockFailingOtherwiseIsRefusedWithTheReason",
                      {0, ERROR_NOT_SUPPORTED, false, nullptr, ERROR_NOT_READY, 0, 0, false},
                      true,
                      1,
                      ", lock as Norvik, query holder, lock volume, close",
                      "The drive E: could not be taken for this program alone: "},
        DriveHoldCase{"SharingViolationOnOpenIsRefusedAsInUse",
                      {ERROR_SHARING_VIOLATION, 0, true, nullptr, 0, 0, 0, false},
                      true,
                      1,
                      "",
                      "The drive E: is in use by another program"},
        DriveHoldCase{"DriveListOpenIsSharedAndTakesNothing", kAnswers, false, 1, ", command, close", nullptr}),
    [](const ::testing::TestParamInfo<DriveHoldCase>& info) { return std::string(info.param.name); });

}  // namespace
