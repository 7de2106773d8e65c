#pragma once
// The drive operations of the Linux seam: the optical drives from sysfs, opened on their SCSI
// generic node when they have one, addressed from sysfs or the SCSI address requests, and
// commanded through SG_IO. A refused right is kept as advice for the user.

#include "platform/System.h"
#include "platform/linux/PermissionAdvice.h"
#include "platform/linux/SysfsDrives.h"

namespace platform::linux_sys {

constexpr int kSysfsRootSize = 256;

class DriveAccess {
public:
    // sysfsRoot: where sysfs is mounted (tests hand a tree of their own).
    explicit DriveAccess(const char* sysfsRoot = kSysfsRoot);

    void ListDriveRoots(DriveRootList& list) const;
    bool IsOpticalDrive(const char* root) const;

    // Opens the drive's command node for reading and writing, without waiting for a medium,
    // shared with other processes. A refused open is noted for the advice.
    DriveHandle OpenDrive(const char* root);
    void CloseDrive(DriveHandle drive);

    // From sysfs by the open node's device number, else from the SCSI address requests.
    AddressQuery QueryScsiAddress(DriveHandle drive, ScsiAddress& address) const;

    // Linux has no storage property query, and nothing above depends on the descriptor: it is
    // left zero and the query reports that it was not made.
    bool QueryStorageDescriptor(DriveHandle drive, uint8_t (&descriptor)[kStorageDescriptorSize]) const;

    // True when the command was carried out, with or without sense data. A refused command is
    // noted for the advice.
    bool SendPassThrough(DriveHandle drive, PassThroughRequest& request);

    // The advice about the first refused right of this run, or null.
    const char* PermissionAdvice() const;

private:
    void NoteOpenRefused(const char* node);
    void NoteCommandRefused(int node);

    char sysfsRoot[kSysfsRootSize];
    PermissionRecord permissions;
};

}  // namespace platform::linux_sys
