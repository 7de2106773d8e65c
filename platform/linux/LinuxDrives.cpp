// The drive operations of the Linux seam: sysfs for the drives, SG_IO for the commands.

#include "platform/linux/LinuxSystem.h"

namespace platform {

void LinuxSystem::ListDriveRoots(DriveRootList& list) { drives.ListDriveRoots(list); }

bool LinuxSystem::IsOpticalDrive(const char* root) { return drives.IsOpticalDrive(root); }

DriveHandle LinuxSystem::OpenDrive(const char* root) { return drives.OpenDrive(root); }

DriveHandle LinuxSystem::OpenDriveExclusive(const char* root, char (&refusal)[kRefusalSize])
{
    return drives.OpenDriveExclusive(root, refusal);
}

void LinuxSystem::CloseDrive(DriveHandle drive) { drives.CloseDrive(drive); }

AddressQuery LinuxSystem::QueryScsiAddress(DriveHandle drive, ScsiAddress& address)
{
    return drives.QueryScsiAddress(drive, address);
}

bool LinuxSystem::QueryStorageDescriptor(DriveHandle drive, uint8_t (&descriptor)[kStorageDescriptorSize])
{
    return drives.QueryStorageDescriptor(drive, descriptor);
}

bool LinuxSystem::SendPassThrough(DriveHandle drive, PassThroughRequest& request)
{
    return drives.SendPassThrough(drive, request);
}

const char* LinuxSystem::PermissionAdvice() const { return drives.PermissionAdvice(); }

}  // namespace platform
