// The drive operations of the Linux seam, over sysfs and SG_IO.

#include "platform/linux/DriveAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/linux/MediaPolling.h"
#include "platform/linux/SgIo.h"

namespace platform::linux_sys {

namespace {

constexpr int kLinkTargetSize = 256;
constexpr int kNodeOpenPathSize = kSysfsRootSize + kNodePathSize;

// Reading and writing; non-blocking, so that an empty tray still opens; not inherited by
// children; never through a symbolic link, whose target could be any device.
constexpr int kSharedFlags = O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW;
// On a generic node O_EXCL makes the holder the node's only user: it fails with EBUSY while
// any other descriptor is open, and every later open fails with EBUSY until it is closed.
constexpr int kExclusiveFlags = kSharedFlags | O_EXCL;
// On a block node O_EXCL keeps out mounts and other exclusive openers only; any program may still
// open it without. Read-only: a node opened for writing makes udev probe the drive when it is
// closed, and nothing is written through it.
constexpr int kBlockHoldFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW | O_EXCL;
// A desktop's media poller holds the block node exclusively for a moment every few seconds: a
// node found busy is tried again a few times before it counts as held by another program.
constexpr int kBlockHoldTries = 5;
constexpr long kBlockHoldRetryNanoseconds = 100000000;

// The file descriptor behind a handle; false for the invalid handle or anything that is not one.
bool NodeOfHandle(DriveHandle drive, int& node)
{
    if (drive < 0 || drive > INT_MAX) return false;
    node = static_cast<int>(drive);
    return true;
}

void ClearAddress(ScsiAddress& address) { address = ScsiAddress{-1, -1, -1, -1}; }

// Writes the reason for a refused open; always false, so that a check can return it.
bool Refuse(char (&refusal)[kRefusalSize], const char* format, ...) __attribute__((format(printf, 2, 3)));
bool Refuse(char (&refusal)[kRefusalSize], const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(refusal, sizeof refusal, format, arguments);
    va_end(arguments);
    return false;
}

// Why the open of node failed, for the user. A refused right is left to the advice.
void DescribeOpenFailure(int error, const char* root, const char* node, char (&refusal)[kRefusalSize])
{
    if (IsPermissionError(error))
        refusal[0] = '\0';
    else if (error == EBUSY)
        Refuse(refusal, "%s (the drive %s) is in use by another program", node, root);
    else if (error == ELOOP)
        Refuse(refusal, "%s is not the command node of the drive %s: it is a symbolic link", node, root);
    else
        Refuse(refusal, "%s (the drive %s) could not be opened: %s", node, root, strerrordesc_np(error));
}

}  // namespace

DriveAccess::DriveAccess(const char* sysfsRoot, const char* nodeRoot)
{
    std::snprintf(this->sysfsRoot, sizeof this->sysfsRoot, "%s", sysfsRoot != nullptr ? sysfsRoot : kSysfsRoot);
    std::snprintf(this->nodeRoot, sizeof this->nodeRoot, "%s", nodeRoot != nullptr ? nodeRoot : "");
}

void DriveAccess::ListDriveRoots(DriveRootList& list) const { ListOpticalRoots(sysfsRoot, list); }

bool DriveAccess::IsOpticalDrive(const char* root) const { return IsOpticalRoot(sysfsRoot, root); }

DriveHandle DriveAccess::OpenDrive(const char* root)
{
    char node[kNodePathSize];
    char refusal[kRefusalSize];
    int error = 0;
    if (!ChooseCommandNode(sysfsRoot, root, node)) return kInvalidDriveHandle;
    const int descriptor = OpenOwnNode(root, node, kSharedFlags, refusal, error);
    // Another program holds the drive for itself, most likely to write its firmware: it is left
    // alone, not even reached through its block node, and the user is told why it is missing.
    if (descriptor < 0 && error == EBUSY) busyNote.Note(refusal);
    return descriptor < 0 ? kInvalidDriveHandle : descriptor;
}

DriveHandle DriveAccess::OpenDriveExclusive(const char* root, char (&refusal)[kRefusalSize])
{
    refusal[0] = '\0';
    char node[kNodePathSize];
    if (!IsOpticalRoot(sysfsRoot, root)) {
        Refuse(refusal, "%s is not an optical drive", root != nullptr ? root : "(no drive)");
        return kInvalidDriveHandle;
    }
    // The block node's O_EXCL only keeps out mounts and other exclusive openers; any program
    // may still open it and send commands while the firmware is written.
    if (!FindGenericNode(sysfsRoot, root, node)) {
        Refuse(refusal,
               "The drive %s has no SCSI generic node, so other programs could not be kept away from it while "
               "its firmware is written (\"modprobe sg\" loads the driver that makes one)",
               root);
        return kInvalidDriveHandle;
    }
    int error = 0;
    const int descriptor = OpenOwnNode(root, node, kExclusiveFlags, refusal, error);
    if (descriptor < 0) return kInvalidDriveHandle;
    // Paused before the block node is opened: the change makes the kernel check the medium at
    // once, in the background, and the open waits for that check and makes its own, so that none
    // is left to come among the program's commands.
    HeldDrive drive{descriptor, -1, PauseMediaPolling(sysfsRoot, root)};
    drive.blockNode = HoldBlockNode(root, refusal);
    if (drive.blockNode < 0 || !RecordHeldDrive(drive)) {
        if (drive.blockNode >= 0) Refuse(refusal, "%s: too many drives are held at once", root);
        LetGo(drive);
        return kInvalidDriveHandle;
    }
    return descriptor;
}

int DriveAccess::HoldBlockNode(const char* root, char (&refusal)[kRefusalSize])
{
    for (int attempt = 1;; ++attempt) {
        int error = 0;
        const int descriptor = OpenOwnNode(root, root, kBlockHoldFlags, refusal, error);
        if (descriptor >= 0 || error != EBUSY) return descriptor;
        if (attempt == kBlockHoldTries) {
            Refuse(refusal,
                   "%s is mounted or held by another program: unmount the disc or end that program, then try again",
                   root);
            return -1;
        }
        timespec wait{0, kBlockHoldRetryNanoseconds};
        nanosleep(&wait, nullptr);
    }
}

bool DriveAccess::RecordHeldDrive(const HeldDrive& drive)
{
    const std::lock_guard<std::mutex> lock(heldLock);
    for (HeldDrive& slot : held) {
        if (slot.commandNode >= 0) continue;
        slot = drive;
        return true;
    }
    return false;
}

// The commands are over once the generic node is closed; the polling comes back last.
void DriveAccess::LetGo(HeldDrive& drive)
{
    if (drive.commandNode >= 0) close(drive.commandNode);
    if (drive.blockNode >= 0) close(drive.blockNode);
    ResumeMediaPolling(drive.pollingPause);
    drive = HeldDrive{};
}

DriveAccess::~DriveAccess()
{
    const std::lock_guard<std::mutex> lock(heldLock);
    for (HeldDrive& drive : held)
        if (drive.commandNode >= 0) LetGo(drive);
}

int DriveAccess::OpenOwnNode(const char* root, const char* node, int flags, char (&refusal)[kRefusalSize], int& error)
{
    char path[kNodeOpenPathSize];
    std::snprintf(path, sizeof path, "%s%s", nodeRoot, node);
    const int descriptor = open(path, flags);
    if (descriptor < 0) {
        error = errno;
        if (IsPermissionError(error)) NoteOpenRefused(path, node);
        DescribeOpenFailure(error, root, node, refusal);
        return -1;
    }
    error = 0;
    if (!IsOwnNode(descriptor, root, node, refusal)) {
        close(descriptor);
        return -1;
    }
    return descriptor;
}

bool DriveAccess::IsOwnNode(int descriptor, const char* root, const char* node, char (&refusal)[kRefusalSize]) const
{
    const bool generic = std::strcmp(node, root) != 0;
    struct stat status;
    dev_t expected = 0;
    if (fstat(descriptor, &status) != 0)
        return Refuse(refusal, "%s (the drive %s) could not be examined: %s", node, root, strerrordesc_np(errno));
    if (generic ? !S_ISCHR(status.st_mode) : !S_ISBLK(status.st_mode))
        return Refuse(refusal, "%s is not the command node of the drive %s: it is no %s device", node, root,
                      generic ? "character" : "block");
    if (!ReadNodeNumber(sysfsRoot, root, node, expected))
        return Refuse(refusal, "%s is not the command node of the drive %s: sysfs gives no device number for it", node,
                      root);
    if (status.st_rdev != expected)
        return Refuse(refusal,
                      "%s is not the command node of the drive %s: its device number is %u:%u, sysfs gives %u:%u", node,
                      root, major(status.st_rdev), minor(status.st_rdev), major(expected), minor(expected));
    return true;
}

void DriveAccess::CloseDrive(DriveHandle drive)
{
    int node = -1;
    if (!NodeOfHandle(drive, node)) return;
    const std::lock_guard<std::mutex> lock(heldLock);
    for (HeldDrive& heldDrive : held) {
        if (heldDrive.commandNode != node) continue;
        LetGo(heldDrive);
        return;
    }
    close(node);
}

AddressQuery DriveAccess::QueryScsiAddress(DriveHandle drive, ScsiAddress& address) const
{
    int node = -1;
    struct stat status;
    if (NodeOfHandle(drive, node) && fstat(node, &status) == 0) {
        const bool blockDevice = S_ISBLK(status.st_mode);
        if ((blockDevice || S_ISCHR(status.st_mode)) &&
            ReadDeviceAddress(sysfsRoot, blockDevice, status.st_rdev, address) == AddressQuery::Found)
            return AddressQuery::Found;
        if (ReadIoctlAddress(node, address)) return AddressQuery::Found;
    }
    ClearAddress(address);
    return AddressQuery::QueryFailed;
}

bool DriveAccess::QueryStorageDescriptor(DriveHandle, uint8_t (&descriptor)[kStorageDescriptorSize]) const
{
    std::memset(descriptor, 0, sizeof descriptor);
    return false;
}

bool DriveAccess::SendPassThrough(DriveHandle drive, PassThroughRequest& request)
{
    int node = -1;
    if (!NodeOfHandle(drive, node)) {
        std::memset(request.sense, 0, sizeof request.sense);
        request.transferred = 0;
        return false;
    }
    const SgIoResult result = SendSgIo(node, request);
    if (result == SgIoResult::Denied) NoteCommandRefused(node);
    return result == SgIoResult::CarriedOut;
}

const char* DriveAccess::PermissionAdvice() const
{
    const char* advice = permissions.Advice();
    return advice != nullptr ? advice : busyNote.Text();
}

void BusyNote::Note(const char* refusal)
{
    uint8_t expected = kEmpty;
    if (!state.compare_exchange_strong(expected, kWriting, std::memory_order_acquire)) return;
    std::snprintf(text, sizeof text, "%s, so it is not listed; it can be updated once that program has let it go",
                  refusal);
    state.store(kReady, std::memory_order_release);
}

const char* BusyNote::Text() const { return state.load(std::memory_order_acquire) == kReady ? text : nullptr; }

void DriveAccess::NoteOpenRefused(const char* path, const char* node)
{
    char group[kGroupNameSize] = "";
    struct stat status;
    if (stat(path, &status) == 0) GroupName(status.st_gid, group);
    permissions.Note(RefusedStep::Open, node, group);
}

void DriveAccess::NoteCommandRefused(int node)
{
    if (permissions.Advice() != nullptr) return;
    // The open node's path, as the kernel names it for this process.
    char linkPath[64];
    char path[kLinkTargetSize] = "";
    std::snprintf(linkPath, sizeof linkPath, "/proc/self/fd/%d", node);
    const ssize_t length = readlink(linkPath, path, sizeof path - 1);
    if (length > 0)
        path[length] = '\0';
    else
        std::snprintf(path, sizeof path, "%s", "the drive's node");
    permissions.Note(RefusedStep::Command, path, "");
}

}  // namespace platform::linux_sys
