// The drive operations of the Windows seam: drive letters, their volume devices, taking a drive for
// an update and giving it back, the SCSI address, the storage descriptor and
// IOCTL_SCSI_PASS_THROUGH_DIRECT. Every call on a drive goes through the volume calls.

#include <cstdio>
#include <cstring>

#include "platform/win32/PassThroughDirect.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/WindowsApi.h"

namespace platform {

namespace {

// Every drive letter as "X:\" with its zero, and the zero that closes the list.
constexpr DWORD kDriveStringsSize = 26 * 4 + 1;
constexpr int kSystemMessageSize = 160;

HANDLE HandleOfDrive(DriveHandle drive) { return reinterpret_cast<HANDLE>(drive); }

DriveHandle DriveOfHandle(HANDLE handle)
{
    return handle == INVALID_HANDLE_VALUE ? kInvalidDriveHandle : reinterpret_cast<DriveHandle>(handle);
}

bool IsOpen(DriveHandle drive) { return drive != kInvalidDriveHandle && drive != 0; }

constexpr DWORD kSharedVolume = FILE_SHARE_READ | FILE_SHARE_WRITE;
// The name Windows shows to other programs that ask who holds the drive.
constexpr char kCallerName[] = "Norvik";

void DescribeError(uint32_t error, char (&text)[kSystemMessageSize])
{
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, sizeof text, nullptr);
    if (length == 0) std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(error));
    win32::TrimSystemMessage(text);
}

void ClearAddress(ScsiAddress& address) { address = ScsiAddress{-1, -1, -1, -1}; }

// Wine's ntdll exports its version; Windows's does not.
bool RunsUnderWine()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

void Win32System::ListDriveRoots(DriveRootList& list)
{
    list.count = 0;
    char strings[kDriveStringsSize] = {};
    const DWORD length = GetLogicalDriveStringsA(sizeof strings, strings);
    // 0 is a failure; a length beyond the buffer means the list did not fit and was not written.
    if (length == 0 || length >= sizeof strings) return;
    for (const char* root = strings; *root != '\0' && list.count < kMaxDriveRoots; root += std::strlen(root) + 1) {
        if (std::strlen(root) >= kRootPathSize) continue;
        std::snprintf(list.roots[list.count], kRootPathSize, "%s", root);
        ++list.count;
    }
}

// GetDriveTypeA wants the root with its backslash: "D:" alone names the drive's current folder.
bool Win32System::IsOpticalDrive(const char* root)
{
    const char letter = win32::DriveLetterOfRoot(root);
    const char canonical[] = {letter, ':', '\\', '\0'};
    return letter != 0 && volumeCalls.DriveType(canonical) == DRIVE_CDROM;
}

DriveHandle Win32System::OpenDrive(const char* root)
{
    char volume[win32::kVolumePathSize];
    // Only an optical drive is opened for commands: a firmware command never reaches a disk.
    if (!IsOpticalDrive(root) || !win32::VolumePathOfRoot(root, volume)) return kInvalidDriveHandle;
    const char letter = win32::DriveLetterOfRoot(root);
    const HANDLE handle = volumeCalls.Open(volume, kSharedVolume);
    if (handle == INVALID_HANDLE_VALUE) {
        const uint32_t error = volumeCalls.LastError();
        if (error == ERROR_ACCESS_DENIED) NoteRefused(win32::RefusedStep::Open, letter);
        // Another program opened the drive for itself, most likely to write its firmware.
        if (error == ERROR_SHARING_VIOLATION) NoteInUse(letter);
        return kInvalidDriveHandle;
    }
    RememberVolume(DriveOfHandle(handle), letter);
    return DriveOfHandle(handle);
}

DriveHandle Win32System::OpenDriveExclusive(const char* root, char (&refusal)[kRefusalSize])
{
    refusal[0] = '\0';
    char volume[win32::kVolumePathSize];
    if (!IsOpticalDrive(root) || !win32::VolumePathOfRoot(root, volume)) {
        win32::FormatNotOpticalRefusal(root, refusal);
        return kInvalidDriveHandle;
    }
    const char letter = win32::DriveLetterOfRoot(root);
    // Windows opens a volume only shared; the drive is then taken by a request of its own.
    const HANDLE handle = volumeCalls.Open(volume, kSharedVolume);
    if (handle == INVALID_HANDLE_VALUE) {
        const uint32_t error = volumeCalls.LastError();
        if (error == ERROR_ACCESS_DENIED) {
            NoteRefused(win32::RefusedStep::Open, letter);  // the advice tells what to do
        } else if (error == ERROR_SHARING_VIOLATION) {
            win32::FormatInUseRefusal(letter, refusal);
        } else {
            char reason[kSystemMessageSize];
            DescribeError(error, reason);
            win32::FormatOpenRefusal(letter, reason, refusal);
        }
        return kInvalidDriveHandle;
    }
    const DriveHold hold = TakeDrive(handle, letter, refusal);
    if (hold == DriveHold::None) {
        volumeCalls.Close(handle);
        return kInvalidDriveHandle;
    }
    RememberVolume(DriveOfHandle(handle), letter, hold);
    return DriveOfHandle(handle);
}

void Win32System::CloseDrive(DriveHandle drive)
{
    if (!IsOpen(drive)) return;
    const DriveHold hold = HoldOfVolume(drive);
    RememberVolume(drive, 0);
    GiveBackDrive(HandleOfDrive(drive), hold);
    volumeCalls.Close(HandleOfDrive(drive));
}

// Exclusive access first: it keeps every other program's commands off the drive, not only its
// file system. Refused because another program holds it, the drive is in use; refused for any
// other reason (a drive or driver without it), the volume's lock keeps other programs' files
// and opens with exclusive rights away instead, and fails while any other program has the
// volume open. Neither taken: refused, nothing is sent.
Win32System::DriveHold Win32System::TakeDrive(HANDLE volume, char letter, char (&refusal)[kRefusalSize])
{
    if (TakeExclusiveAccess(volume)) return DriveHold::ExclusiveAccess;
    char owner[win32::kOwnerNameSize];
    if (QueryOtherOwner(volume, owner)) {
        win32::FormatInUseRefusal(letter, refusal, owner);
        return DriveHold::None;
    }
    uint32_t returned = 0;
    if (volumeCalls.Control(volume, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, returned)) return DriveHold::VolumeLock;
    const uint32_t error = volumeCalls.LastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
        win32::FormatInUseRefusal(letter, refusal);
    } else {
        char reason[kSystemMessageSize];
        DescribeError(error, reason);
        win32::FormatTakeRefusal(letter, reason, refusal);
    }
    return DriveHold::None;
}

bool Win32System::TakeExclusiveAccess(HANDLE volume)
{
    CDROM_EXCLUSIVE_LOCK request{};
    request.Access.RequestType = ExclusiveAccessLockDevice;
    request.Access.Flags = 0;  // the volume is locked with the drive, its file system set aside
    std::memcpy(request.CallerName, kCallerName, sizeof kCallerName);
    uint32_t returned = 0;
    return volumeCalls.Control(volume, IOCTL_CDROM_EXCLUSIVE_ACCESS, &request, sizeof request, nullptr, 0, returned);
}

// True when the drive is held in exclusive access by a program other than this one; owner then
// holds its name (printable characters only; empty when it gave none).
bool Win32System::QueryOtherOwner(HANDLE volume, char (&owner)[win32::kOwnerNameSize])
{
    owner[0] = '\0';
    CDROM_EXCLUSIVE_ACCESS query{};
    query.RequestType = ExclusiveAccessQueryState;
    CDROM_EXCLUSIVE_LOCK_STATE state{};
    uint32_t returned = 0;
    if (!volumeCalls.Control(volume, IOCTL_CDROM_EXCLUSIVE_ACCESS, &query, sizeof query, &state, sizeof state,
                             returned))
        return false;
    if (returned < sizeof state.LockState || state.LockState != CDROM_IN_EXCLUSIVE_MODE) return false;
    int length = 0;
    for (int i = 0; i < CDROM_EXCLUSIVE_CALLER_LENGTH && state.CallerName[i] != 0; ++i) {
        const unsigned char c = state.CallerName[i];
        owner[length++] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    owner[length] = '\0';
    return true;
}

// A drive that has vanished refuses the request; closing its handle ends the hold all the same.
void Win32System::GiveBackDrive(HANDLE volume, DriveHold hold)
{
    uint32_t returned = 0;
    if (hold == DriveHold::ExclusiveAccess) {
        CDROM_EXCLUSIVE_LOCK request{};
        request.Access.RequestType = ExclusiveAccessUnlockDevice;
        std::memcpy(request.CallerName, kCallerName, sizeof kCallerName);
        volumeCalls.Control(volume, IOCTL_CDROM_EXCLUSIVE_ACCESS, &request, sizeof request, nullptr, 0, returned);
    } else if (hold == DriveHold::VolumeLock) {
        volumeCalls.Control(volume, FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0, returned);
    }
}

AddressQuery Win32System::QueryScsiAddress(DriveHandle drive, ScsiAddress& address)
{
    ClearAddress(address);
    SCSI_ADDRESS answer{};
    uint32_t returned = 0;
    if (!IsOpen(drive) || !volumeCalls.Control(HandleOfDrive(drive), IOCTL_SCSI_GET_ADDRESS, &answer, sizeof answer,
                                               &answer, sizeof answer, returned))
        return AddressQuery::QueryFailed;
    if (answer.Length == 0) return AddressQuery::Empty;
    address = ScsiAddress{answer.PortNumber, answer.PathId, answer.TargetId, answer.Lun};
    return AddressQuery::Found;
}

// The first bytes of the device descriptor; the query is its first 12 bytes, all zero
// (StorageDeviceProperty, PropertyStandardQuery).
bool Win32System::QueryStorageDescriptor(DriveHandle drive, uint8_t (&descriptor)[kStorageDescriptorSize])
{
    static_assert(sizeof(STORAGE_PROPERTY_QUERY) <= kStorageDescriptorSize);
    std::memset(descriptor, 0, sizeof descriptor);
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::memcpy(descriptor, &query, sizeof query);
    uint32_t returned = 0;
    if (IsOpen(drive) && volumeCalls.Control(HandleOfDrive(drive), IOCTL_STORAGE_QUERY_PROPERTY, descriptor,
                                             sizeof descriptor, descriptor, sizeof descriptor, returned))
        return true;
    std::memset(descriptor, 0, sizeof descriptor);
    return false;
}

// The block lives on this thread's stack for the call: nothing is allocated per command.
bool Win32System::SendPassThrough(DriveHandle drive, PassThroughRequest& request)
{
    std::memset(request.sense, 0, sizeof request.sense);
    request.transferred = 0;
    win32::PassThroughBlock block;
    if (!IsOpen(drive) || !win32::FillPassThroughBlock(request, block)) return false;
    uint32_t returned = 0;
    if (!volumeCalls.Control(HandleOfDrive(drive), IOCTL_SCSI_PASS_THROUGH_DIRECT, &block, sizeof block, &block,
                             sizeof block, returned)) {
        if (volumeCalls.LastError() == ERROR_ACCESS_DENIED) NoteCommandRefused(drive);
        return false;
    }
    return win32::ReadPassThroughBlock(block, request);
}

const char* Win32System::PermissionAdvice() const
{
    const char* advice = permissionAdvice.Text();
    return advice != nullptr ? advice : inUseNote.Text();
}

// Letter 0 forgets the volume.
void Win32System::RememberVolume(DriveHandle drive, char letter, DriveHold hold)
{
    std::lock_guard lock(volumesMutex);
    const DriveHandle wanted = letter != 0 ? 0 : drive;
    for (int slot = 0; slot < kMaxOpenVolumes; ++slot) {
        if (openVolumes[slot] != wanted) continue;
        openVolumes[slot] = letter != 0 ? drive : 0;
        openLetters[slot] = letter;
        openHolds[slot] = letter != 0 ? hold : DriveHold::None;
        return;
    }
}

Win32System::DriveHold Win32System::HoldOfVolume(DriveHandle drive)
{
    std::lock_guard lock(volumesMutex);
    for (int slot = 0; slot < kMaxOpenVolumes; ++slot) {
        if (openVolumes[slot] == drive) return openHolds[slot];
    }
    return DriveHold::None;
}

char Win32System::LetterOfVolume(DriveHandle drive)
{
    std::lock_guard lock(volumesMutex);
    for (int slot = 0; slot < kMaxOpenVolumes; ++slot) {
        if (openVolumes[slot] == drive) return openLetters[slot];
    }
    return 0;
}

void Win32System::NoteRefused(win32::RefusedStep step, char letter)
{
    if (permissionAdvice.Text() != nullptr) return;
    char advice[win32::kAdviceSize];
    win32::FormatPermissionAdvice(step, letter, RunsUnderWine() ? win32::AdviceHost::Wine : win32::AdviceHost::Windows,
                                  advice, adviceReader);
    permissionAdvice.Note(advice);
}

// While another program holds a drive in exclusive access, Windows refuses commands from every
// other handle: that drive is in use, not a right missing. A drive this program holds is not
// asked about.
void Win32System::NoteCommandRefused(DriveHandle drive)
{
    char owner[win32::kOwnerNameSize];
    const char letter = LetterOfVolume(drive);
    if (HoldOfVolume(drive) == DriveHold::None && QueryOtherOwner(HandleOfDrive(drive), owner))
        NoteInUse(letter);
    else
        NoteRefused(win32::RefusedStep::Command, letter);
}

void Win32System::NoteInUse(char letter)
{
    if (inUseNote.Text() != nullptr) return;
    char note[win32::kAdviceSize];
    win32::FormatInUseNote(letter, note);
    inUseNote.Note(note);
}

}  // namespace platform
