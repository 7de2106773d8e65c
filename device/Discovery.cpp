// Drive discovery: the scan over the system's drive roots (pass-through) or over the ASPI host
// adapters, the order of the drive table, and the identification of each drive found.

#include <algorithm>
#include <cstring>

#include "device/AtapiDevice.h"
#include "scsi/Answers.h"

namespace {

using platform::AddressQuery;
using platform::DriveHandle;
using platform::kInvalidDriveHandle;

constexpr int kAspiTargets = 16;
constexpr int kAspiLuns = 16;
constexpr int16_t kFirstHostWithoutAddress = 2;

// Copies a root as the system listed it, cut to the record's width and always terminated, so
// that a root the system failed to terminate is never read past its field.
void CopyRoot(char (&field)[platform::kRootPathSize], const char* root)
{
    std::memset(field, 0, sizeof field);
    std::memcpy(field, root, strnlen(root, sizeof field - 1));
}

// Table order: host, path, target and lun as one number, each counted as one hexadecimal digit
// (a number above 15 spills into the digit above it).
int32_t SortKey(const DriveRecord& record)
{
    return int32_t{record.host} * 4096 + int32_t{record.path} * 256 + int32_t{record.target} * 16 + int32_t{record.lun};
}

// A text of an answer into a record's field, which is one byte longer and keeps its terminator.
template <std::size_t N>
void CopyAnswerText(char (&field)[N], const uint8_t* answer, scsi::ByteRange range)
{
    static_assert(N >= 2);
    std::memcpy(field, answer + range.offset, std::min<std::size_t>(range.size, N - 1));
}

// The drive's SCSI address through a handle of its own. A drive that cannot be opened counts
// as no drive (Empty), like one whose system answers with an empty address.
AddressQuery ReadAddress(platform::System& system, const char* root, platform::ScsiAddress& address)
{
    const DriveHandle drive = system.OpenDrive(root);
    if (drive == kInvalidDriveHandle) return AddressQuery::Empty;
    const AddressQuery query = system.QueryScsiAddress(drive, address);
    system.CloseDrive(drive);
    return query;
}

// Nothing depends on the descriptor; it is kept in the record as the system gave it.
void ReadStorageDescriptor(platform::System& system, const char* root, DriveRecord& record)
{
    const DriveHandle drive = system.OpenDrive(root);
    if (drive == kInvalidDriveHandle) return;
    system.QueryStorageDescriptor(drive, record.storageDescriptor);
    system.CloseDrive(drive);
}

// The loaded manager's library and its command entry point, as the scan's requests need them.
struct AspiManager {
    platform::AspiLibrary library;
    platform::SendAspiCommandEntry send;
};

struct AdapterAnswer {
    int adapterCount;
    bool countsResidual;
};

// Host adapter inquiry; true when the adapter answered, with the number of adapters and whether
// this one counts the residual of a request.
bool InquireAdapter(const AspiManager& manager, int adapter, AdapterAnswer& answer)
{
    platform::SRB_HAInquiry inquiry{};
    inquiry.SRB_Cmd = platform::SC_HA_INQUIRY;
    inquiry.SRB_HaId = static_cast<uint8_t>(adapter);
    manager.send(manager.library, &inquiry);
    if (inquiry.SRB_Status != platform::SS_COMP) return false;
    answer.adapterCount = inquiry.HA_Count;
    answer.countsResidual = (inquiry.HA_Unique[platform::kHaUniqueFlagsByte] & platform::RESIDUAL_COUNT_SUPPORTED) != 0;
    return true;
}

bool IsCdRom(const AspiManager& manager, int adapter, int target, int lun)
{
    platform::SRB_GDEVBlock device{};
    device.SRB_Cmd = platform::SC_GET_DEV_TYPE;
    device.SRB_HaId = static_cast<uint8_t>(adapter);
    device.SRB_Target = static_cast<uint8_t>(target);
    device.SRB_Lun = static_cast<uint8_t>(lun);
    manager.send(manager.library, &device);
    return device.SRB_Status == platform::SS_COMP && device.SRB_DeviceType == platform::DTYPE_CDROM;
}

}  // namespace

void AtapiDevice::ScanDrives()
{
    // Runs only while the object is built, when the raise-on-error flag is still clear: no
    // command failure of the scan leaves it.
    std::fill(std::begin(drives), std::end(drives), DriveRecord{});
    driveCount = 0;
    if (useAspi) {
        ScanAspi();
    } else {
        ScanPassThrough();
    }
    for (DriveRecord& record : drives) {
        if (record.present == 0) continue;
        ++driveCount;
        record.viaAspi = useAspi ? 1 : 0;
    }
    SortDriveTable();

    for (int16_t index = 0; index < kMaxDrives && drives[index].present != 0; ++index) {
        SelectDrive(index);
        ClearUnitAttention();
        // Up to ten INQUIRY attempts into this record; a drive that never identifies itself
        // stays listed with empty identification.
        ReidentifyCurrent();
        if (ReadFlashId() && inputBuffer != nullptr) {
            std::memcpy(drives[index].flashId, inputBuffer.get(), sizeof drives[index].flashId);
        }
        CloseDrive();
    }
}

// One slot per optical root, in the order the system lists them, until the table is full. A
// root whose drive cannot be opened, or that has no drive behind it, takes a slot that stays
// free; roots that are no optical drive take none.
void AtapiDevice::ScanPassThrough()
{
    platform::DriveRootList list{};
    system.ListDriveRoots(list);
    const int rootCount = std::min<int>(list.count, platform::kMaxDriveRoots);
    int slot = 0;
    int16_t withoutAddress = 0;
    for (int i = 0; i < rootCount && slot < kMaxDrives; ++i) {
        char root[platform::kRootPathSize];
        CopyRoot(root, list.roots[i]);
        if (root[0] == '\0') break;  // an empty root closes the list
        if (!system.IsOpticalDrive(root)) continue;

        DriveRecord& record = drives[slot++];
        std::memcpy(record.rootPath, root, sizeof record.rootPath);
        platform::ScsiAddress address{};
        const AddressQuery query = ReadAddress(system, root, address);
        if (query != AddressQuery::Empty) {
            record.present = 1;
            if (query == AddressQuery::Found) {
                record.host = address.host;
                record.path = address.path;
                record.target = address.target;
                record.lun = address.lun;
            } else {
                record.host = static_cast<int16_t>(kFirstHostWithoutAddress + withoutAddress++);
            }
        }
        ReadStorageDescriptor(system, root, record);
    }
}

// Every CD/DVD device on every host adapter, until the table is full. Without a loaded manager
// (loading failed, or an entry point is missing) nothing is sent and no drive is found.
void AtapiDevice::ScanAspi()
{
    if (aspiLibrary == nullptr || sendCommand == nullptr) return;
    const AspiManager manager{aspiLibrary, sendCommand};
    AdapterAnswer first{};
    if (!InquireAdapter(manager, 0, first)) return;
    const int adapters = first.adapterCount;
    for (int adapter = 0; adapter < adapters; ++adapter) {
        platform::SRB_RescanPort rescan{};
        rescan.SRB_Cmd = platform::SC_RESCAN_SCSI_BUS;
        rescan.SRB_HaId = static_cast<uint8_t>(adapter);
        manager.send(manager.library, &rescan);
    }
    int slot = 0;
    for (int adapter = 0; adapter < adapters; ++adapter) {
        AdapterAnswer answer{};
        if (!InquireAdapter(manager, adapter, answer)) return;  // drives found so far stay
        for (int target = 0; target < kAspiTargets; ++target) {
            for (int lun = 0; lun < kAspiLuns; ++lun) {
                if (slot == kMaxDrives) return;
                if (!IsCdRom(manager, adapter, target, lun)) continue;
                DriveRecord& record = drives[slot++];
                record.present = 1;
                record.host = static_cast<int16_t>(adapter);
                record.target = static_cast<int16_t>(target);
                record.lun = static_cast<int16_t>(lun);
                record.path = 0;
                record.aspiCountsResidual = answer.countsResidual ? 1 : 0;
            }
        }
    }
}

// Present records by ascending key; on equal keys the record in the lower slot comes first.
// The free slots behind the records are left all zero.
void AtapiDevice::SortDriveTable()
{
    DriveRecord sorted[kMaxDrives]{};
    int count = 0;
    for (; count < kMaxDrives; ++count) {
        DriveRecord* smallest = nullptr;
        for (DriveRecord& record : drives) {
            if (record.present != 0 && (smallest == nullptr || SortKey(record) < SortKey(*smallest))) {
                smallest = &record;
            }
        }
        if (smallest == nullptr) break;
        sorted[count] = *smallest;
        smallest->present = 0;
    }
    std::fill(std::begin(drives), std::end(drives), DriveRecord{});
    std::copy(sorted, sorted + std::min<int>(count, driveCount), drives);
}

// One INQUIRY for the standard data into the current identification. A drive that answers
// with blank vendor and product counts as not identified.
bool AtapiDevice::IdentifyCurrent()
{
    current = DriveIdentification{};
    const uint8_t* data = inputBuffer.get();
    if (data == nullptr) return false;
    // Inquiry clears its reply area first: bytes the drive does not send read as zero, never as
    // an earlier drive's answer.
    using namespace scsi::inquiry_data;
    if (!Inquiry(0, 0, 0, kLength, 0)) return false;

    CopyAnswerText(current.vendor, data, kVendor);
    CopyAnswerText(current.product, data, kProduct);
    CopyAnswerText(current.revision, data, kRevision);
    CopyAnswerText(current.vendorSpecific, data, kVendorSpecific);
    const uint8_t* identification = data + kIdentification.offset;
    return std::any_of(identification, identification + kIdentification.size, [](uint8_t byte) { return byte != 0; });
}
