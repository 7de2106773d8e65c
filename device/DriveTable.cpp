// The drive table as the application sees it: the accessors, the selection of one drive as the
// target of the following commands, closing it, and reading its identification again.

#include <cstring>

#include "device/AtapiDevice.h"

namespace {

constexpr int kIdentifyAttempts = 10;
constexpr size_t kVendorChars = 8;
constexpr size_t kProductChars = 16;

bool IsTableIndex(int index) { return index >= 0 && index < kMaxDrives; }

}  // namespace

DriveRecord* AtapiDevice::GetDrive(uint32_t index)
{
    if (index >= driveCount || index >= uint32_t{kMaxDrives} || drives[index].present == 0) return nullptr;
    return &drives[index];
}

const DriveRecord* AtapiDevice::GetDrive(uint32_t index) const
{
    return const_cast<AtapiDevice*>(this)->GetDrive(index);
}

uint8_t AtapiDevice::IsPresent(int16_t index) const { return IsTableIndex(index) ? drives[index].present : 0; }

// The range is checked before the shortcut for the selected index: after a failed opening
// (-1) or with none selected (127) that index would otherwise be reported as selected.
bool AtapiDevice::SelectDrive(int16_t index)
{
    if (!IsTableIndex(index) || drives[index].present == 0) return false;
    if (index == currentIndex) return true;
    if (deviceHandle != platform::kInvalidDriveHandle) CloseDrive();

    const DriveRecord& record = drives[index];
    useAspi = record.viaAspi != 0;
    aspiCountsResidual = record.aspiCountsResidual != 0;
    currentIndex = index;
    host = record.host;
    target = record.target;
    lun = record.lun;
    path = record.path;
    std::memcpy(current.vendor, record.vendor, sizeof current.vendor);
    std::memcpy(current.product, record.product, sizeof current.product);
    std::memcpy(current.revision, record.revision, sizeof current.revision);
    std::memcpy(current.vendorSpecific, record.vendorSpecific, sizeof current.vendorSpecific);

    if (osInfo.IsNT() && !useAspi) {
        accessRefusal[0] = '\0';
        deviceHandle = exclusiveAccess ? system.OpenDriveExclusive(record.rootPath, accessRefusal)
                                       : system.OpenDrive(record.rootPath);
        if (deviceHandle == platform::kInvalidDriveHandle) {
            // Nothing selected and no address: every command is refused until another selection.
            currentIndex = kSelectionFailed;
            host = target = lun = path = -1;
            return false;
        }
    }
    return true;
}

void AtapiDevice::CloseDrive()
{
    if (deviceHandle != platform::kInvalidDriveHandle) system.CloseDrive(deviceHandle);
    deviceHandle = platform::kInvalidDriveHandle;
    host = target = lun = path = -1;
    currentIndex = kNoDriveSelected;
}

bool AtapiDevice::ReidentifyCurrent()
{
    bool identified = false;
    for (int attempt = 0; attempt < kIdentifyAttempts && !identified; ++attempt) {
        identified = IdentifyCurrent();
    }
    if (!identified || !IsTableIndex(currentIndex)) return false;
    CopyIdentificationToRecord(drives[currentIndex]);
    return true;
}

static_assert(sizeof(DriveRecord::vendor) == sizeof(DriveIdentification::vendor) &&
              sizeof(DriveRecord::product) == sizeof(DriveIdentification::product) &&
              sizeof(DriveRecord::revision) == sizeof(DriveIdentification::revision) &&
              sizeof(DriveRecord::vendorSpecific) == sizeof(DriveIdentification::vendorSpecific));

// displayName is the 8 vendor characters followed at once by the 16 product characters, then
// zeros; the four text fields are copied whole, terminating zeros included.
void AtapiDevice::CopyIdentificationToRecord(DriveRecord& record) const
{
    std::memset(record.displayName, 0, sizeof record.displayName);
    std::memcpy(record.displayName, current.vendor, kVendorChars);
    std::memcpy(record.displayName + kVendorChars, current.product, kProductChars);
    std::memcpy(record.vendor, current.vendor, sizeof record.vendor);
    std::memcpy(record.product, current.product, sizeof record.product);
    std::memcpy(record.revision, current.revision, sizeof record.revision);
    std::memcpy(record.vendorSpecific, current.vendorSpecific, sizeof record.vendorSpecific);
}
