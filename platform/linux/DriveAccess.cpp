// The drive operations of the Linux seam, over sysfs and SG_IO.

#include "platform/linux/DriveAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/linux/SgIo.h"

namespace platform::linux_sys {

namespace {

constexpr int kLinkTargetSize = 256;

// The file descriptor behind a handle; false for the invalid handle or anything that is not one.
bool NodeOfHandle(DriveHandle drive, int& node)
{
    if (drive < 0 || drive > INT_MAX)
        return false;
    node = static_cast<int>(drive);
    return true;
}

void ClearAddress(ScsiAddress& address)
{
    address = ScsiAddress{-1, -1, -1, -1};
}

}  // namespace

DriveAccess::DriveAccess(const char* sysfsRoot)
{
    std::snprintf(this->sysfsRoot, sizeof this->sysfsRoot, "%s", sysfsRoot != nullptr ? sysfsRoot : kSysfsRoot);
}

void DriveAccess::ListDriveRoots(DriveRootList& list) const
{
    ListOpticalRoots(sysfsRoot, list);
}

bool DriveAccess::IsOpticalDrive(const char* root) const
{
    return IsOpticalRoot(sysfsRoot, root);
}

DriveHandle DriveAccess::OpenDrive(const char* root)
{
    char node[kNodePathSize];
    if (!ChooseCommandNode(sysfsRoot, root, node))
        return kInvalidDriveHandle;
    // Non-blocking: an empty tray must still open. The handle is not inherited by children.
    const int descriptor = open(node, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        if (IsPermissionError(errno))
            NoteOpenRefused(node);
        return kInvalidDriveHandle;
    }
    return descriptor;
}

void DriveAccess::CloseDrive(DriveHandle drive)
{
    int node = -1;
    if (NodeOfHandle(drive, node))
        close(node);
}

AddressQuery DriveAccess::QueryScsiAddress(DriveHandle drive, ScsiAddress& address) const
{
    int node = -1;
    struct stat status;
    if (NodeOfHandle(drive, node) && fstat(node, &status) == 0) {
        const bool blockDevice = S_ISBLK(status.st_mode);
        if ((blockDevice || S_ISCHR(status.st_mode))
            && ReadDeviceAddress(sysfsRoot, blockDevice, status.st_rdev, address) == AddressQuery::Found)
            return AddressQuery::Found;
        if (ReadIoctlAddress(node, address))
            return AddressQuery::Found;
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
    if (result == SgIoResult::Denied)
        NoteCommandRefused(node);
    return result == SgIoResult::CarriedOut;
}

const char* DriveAccess::PermissionAdvice() const
{
    return permissions.Advice();
}

void DriveAccess::NoteOpenRefused(const char* node)
{
    char group[kGroupNameSize] = "";
    struct stat status;
    if (stat(node, &status) == 0)
        GroupName(status.st_gid, group);
    permissions.Note(RefusedStep::Open, node, group);
}

void DriveAccess::NoteCommandRefused(int node)
{
    if (permissions.Advice() != nullptr)
        return;
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
