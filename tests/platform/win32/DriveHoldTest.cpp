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
    const char* holder;  // the exclusive-access query's answer: held by this program, "" held by none, null fails
    uint32_t volumeLockError;
    int failingCommand;  // from this 1-based command on, commands fail with commandError
    uint32_t commandError;
    bool vanishes;  // from the failing command on, every request fails
};

class LoggedVolumeCalls : public win32::VolumeCalls {
public:
    explicit LoggedVolumeCalls(const Script& script) : script(script) {}
    uint32_t DriveType(const char*) override { return DRIVE_CDROM; }
    win32::VolumeHandle Open(const char* path, uint32_t share) override
    {
        log += std::string("open ") + path + " share " + std::to_string(share);
        lastError = script.openError;
        return script.openError != 0 ? INVALID_HANDLE_VALUE : &log;
    }
    bool Control(win32::VolumeHandle, uint32_t code, void* in, uint32_t, void* out, uint32_t, uint32_t& size) override
    {
        const auto* request = code == IOCTL_CDROM_EXCLUSIVE_ACCESS ? static_cast<CDROM_EXCLUSIVE_LOCK*>(in) : nullptr;
        const int type = request != nullptr ? request->Access.RequestType : 0;
        EXPECT_TRUE(type == ExclusiveAccessQueryState ||
                    std::strcmp(reinterpret_cast<const char*>(request->CallerName), "Norvik") == 0);
        const char* names[] = {"query holder", "lock", "unlock"};
        log += std::string(gone ? ", failed: " : ", ") + (request != nullptr            ? names[type]
                                                          : code == FSCTL_LOCK_VOLUME   ? "lock volume"
                                                          : code == FSCTL_UNLOCK_VOLUME ? "unlock volume"
                                                                                        : "command");
        size = 0;
        if (gone) return Fails(ERROR_DEVICE_NOT_CONNECTED);
        if (code == IOCTL_SCSI_PASS_THROUGH_DIRECT && script.failingCommand != 0 && ++commands >= script.failingCommand)
            return gone = script.vanishes, Fails(script.commandError);
        if (code == FSCTL_LOCK_VOLUME || type == ExclusiveAccessLockDevice)
            return Fails(code == FSCTL_LOCK_VOLUME ? script.volumeLockError : script.exclusiveError);
        if (type != ExclusiveAccessQueryState || request == nullptr) return true;
        if (script.holder == nullptr) return Fails(ERROR_INVALID_FUNCTION);
        auto* state = static_cast<CDROM_EXCLUSIVE_LOCK_STATE*>(out);
        *state = {static_cast<BOOLEAN>(script.holder[0] != '\0'), {}};
        std::memcpy(state->CallerName, script.holder, std::strlen(script.holder));
        size = sizeof *state;
        return true;
    }
    void Close(win32::VolumeHandle) override { log += ", close"; }
    uint32_t LastError() override { return lastError; }

    std::string log;

private:
    bool Fails(uint32_t error) { return (lastError = error) == 0; }

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
    const char* refusal;  // what the refusal or the note says (beside the system's own text); "" none
};

void PrintTo(const DriveHoldCase& row, std::ostream* out) { *out << row.name; }

class DriveHold : public ::testing::TestWithParam<DriveHoldCase> {};

TEST_P(DriveHold, IsTakenBeforeTheFirstCommandAndGivenBackOnEveryWayOut)
{
    const DriveHoldCase& row = GetParam();
    LoggedVolumeCalls calls(row.script);
    Win32System system(calls);
    char refusal[kRefusalSize] = "";
    const DriveHandle drive = row.exclusive ? system.OpenDriveExclusive("E:\\", refusal) : system.OpenDrive("E:\\");
    EXPECT_EQ(drive == kInvalidDriveHandle, row.exclusive && row.refusal[0] != '\0');
    for (int i = 0; i < row.commands; ++i) {  // a refused drive gets none of them
        PassThroughRequest request{{0x00}, DataDirection::None, nullptr, 0, 1000, {}, 0};
        system.SendPassThrough(drive, request);
    }
    // The refusal of an open for an update, or the note that the drive list shows.
    const std::string said = row.exclusive ? refusal : system.PermissionAdvice() ? system.PermissionAdvice() : "";
    EXPECT_EQ(said.empty(), row.refusal[0] == '\0') << said;
    EXPECT_NE(said.find(row.refusal), std::string::npos) << said;
    system.CloseDrive(drive);
    EXPECT_EQ(calls.log, std::string("open \\\\.\\E: share 3") + row.log);  // FILE_SHARE_READ | FILE_SHARE_WRITE
}

constexpr Script kAnswers{0, 0, "", 0, 0, 0, false};
constexpr Script kNoExclusiveAccess{0, ERROR_NOT_SUPPORTED, nullptr, 0, 0, 0, false};
constexpr char kInUse[] = "The drive E: is in use by another program";

INSTANTIATE_TEST_SUITE_P(
    Win32System, DriveHold,
    ::testing::Values(
        DriveHoldCase{"Success", kAnswers, true, 2, ", lock, command, command, unlock, close", ""},
        DriveHoldCase{
            "CommandFails", {0, 0, "", 0, 1, ERROR_IO_DEVICE, false}, true, 1, ", lock, command, unlock, close", ""},
        DriveHoldCase{"DriveVanishes",
                      {0, 0, "", 0, 1, ERROR_DEVICE_NOT_CONNECTED, true},
                      true,
                      2,
                      ", lock, command, failed: command, failed: unlock, close",
                      ""},
        DriveHoldCase{"StopRequestBeforeAnyCommand", kAnswers, true, 0, ", lock, unlock, close", ""},
        DriveHoldCase{"NoExclusiveAccessTakesTheVolumeLock", kNoExclusiveAccess, true, 1,
                      ", lock, query holder, lock volume, command, unlock volume, close", ""},
        DriveHoldCase{"RefusedWithNoHolderTakesTheVolumeLock",
                      {0, ERROR_ACCESS_DENIED, "", 0, 0, 0, false},
                      true,
                      1,
                      ", lock, query holder, lock volume, command, unlock volume, close",
                      ""},
        DriveHoldCase{"HeldByAnotherProgramIsRefusedByName",
                      {0, ERROR_ACCESS_DENIED, "Disc Burner 7", 0, 0, 0, false},
                      true,
                      1,
                      ", lock, query holder, close",
                      "The drive E: is in use by another program (Disc Burner 7)"},
        DriveHoldCase{"VolumeOpenElsewhereIsRefusedAsInUse",
                      {0, ERROR_NOT_SUPPORTED, nullptr, ERROR_ACCESS_DENIED, 0, 0, false},
                      true,
                      1,
                      ", lock, query holder, lock volume, close",
                      kInUse},
        DriveHoldCase{"VolumeLockFailingOtherwiseIsRefusedWithTheReason",
                      {0, ERROR_NOT_SUPPORTED, nullptr, ERROR_NOT_READY, 0, 0, false},
                      true,
                      1,
                      ", lock, query holder, lock volume, close",
                      "The drive E: could not be taken for this program alone: "},
        DriveHoldCase{"SharingViolationOnOpenIsRefusedAsInUse",
                      {ERROR_SHARING_VIOLATION, 0, "", 0, 0, 0, false},
                      true,
                      1,
                      "",
                      kInUse},
        DriveHoldCase{"DriveListOpenIsSharedAndTakesNothing", kAnswers, false, 1, ", command, close", ""},
        DriveHoldCase{"DriveListCommandRefusedForAnotherHolderIsNotedInUse",
                      {0, 0, "Disc Burner 7", 0, 1, ERROR_ACCESS_DENIED, false},
                      false,
                      1,
                      ", command, query holder, close",
                      "The drive E: is in use by another program, so it is not listed"},
        DriveHoldCase{"DriveListCommandRefusedOtherwiseGivesTheAdvice",
                      {0, 0, "", 0, 1, ERROR_ACCESS_DENIED, false},
                      false,
                      1,
                      ", command, query holder, close",
                      "refused a drive command sent to the drive E:"}),
    [](const ::testing::TestParamInfo<DriveHoldCase>& info) { return std::string(info.param.name); });

}  // namespace
