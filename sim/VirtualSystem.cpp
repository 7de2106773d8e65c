#include "sim/VirtualSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace sim {

namespace {

using namespace platform;

constexpr DriveHandle kFirstHandle = 3;

void CopyRoot(char (&field)[kRootPathSize], const char* root)
{
    std::memset(field, 0, sizeof field);
    std::memcpy(field, root, strnlen(root, sizeof field - 1));
}

bool FitsRoot(const char* root) { return root != nullptr && root[0] != '\0' && std::strlen(root) < kRootPathSize; }

}  // namespace

VirtualSystem::VirtualSystem(ClockMode mode) : clock(mode) {}

VirtualSystem::~VirtualSystem() = default;

VirtualDrive* VirtualSystem::AddDrive(const DriveSetup& setup)
{
    if (drivesAdded == kMaxDrives || rootCount == kMaxDriveRoots) return nullptr;
    const int index = drivesAdded;
    DriveEntry& entry = drives[index];
    if (setup.root[0] != '\0') {
        CopyRoot(entry.root, setup.root);
    } else {
        std::snprintf(entry.root, sizeof entry.root, "/dev/sr%d", index);
    }
    if (FindRoot(entry.root) >= 0) return nullptr;  // two drives behind one root

    entry.addressKind = setup.addressKind;
    entry.address = setup.address;
    if (setup.addressKind == AddressKind::Auto) {
        entry.addressKind = AddressKind::Given;
        entry.address = ScsiAddress{0, 0, static_cast<int16_t>(index), 0};
    }
    entry.openFails = setup.openFails;
    entry.inUseElsewhere = setup.inUseElsewhere;
    entry.drive = std::make_unique<VirtualDrive>(setup.drive);
    for (int i = 0; i < setup.faultCount; ++i) entry.drive->AddFault(setup.faults[i]);

    RootEntry& rootEntry = roots[rootCount++];
    CopyRoot(rootEntry.root, entry.root);
    rootEntry.drive = index;
    ++drivesAdded;
    return entry.drive.get();
}

VirtualDrive* VirtualSystem::AddDrive(std::string_view text, std::string& reason)
{
    DriveSetup setup;
    if (!ParseDriveSetup(text, setup, reason)) return nullptr;
    VirtualDrive* added = AddDrive(setup);
    if (added == nullptr) reason = "no room for another drive, or its root is taken";
    return added;
}

bool VirtualSystem::AddOtherRoot(const char* root)
{
    if (!FitsRoot(root) || rootCount == kMaxDriveRoots || FindRoot(root) >= 0) return false;
    RootEntry& entry = roots[rootCount++];
    CopyRoot(entry.root, root);
    entry.drive = -1;
    return true;
}

void VirtualSystem::SetOpenFails(int index, bool fails)
{
    if (index >= 0 && index < drivesAdded) drives[index].openFails = fails;
}

int VirtualSystem::FindRoot(const char* root) const
{
    if (root == nullptr) return -1;
    for (int i = 0; i < rootCount; ++i) {
        if (std::strncmp(roots[i].root, root, kRootPathSize) == 0) return i;
    }
    return -1;
}

VirtualDrive* VirtualSystem::DriveOnAdapter(int adapter, int target, int lun)
{
    for (int i = 0; i < drivesAdded; ++i) {
        const DriveEntry& entry = drives[i];
        if (entry.addressKind == AddressKind::Given && entry.address.host == adapter &&
            entry.address.target == target && entry.address.lun == lun) {
            return entry.drive.get();
        }
    }
    return nullptr;
}

int VirtualSystem::HighestAdapter() const
{
    int highest = -1;
    for (int i = 0; i < drivesAdded; ++i) {
        if (drives[i].addressKind == AddressKind::Given) {
            highest = std::max<int>(highest, drives[i].address.host);
        }
    }
    return highest;
}

std::vector<uint32_t> VirtualSystem::restartRequests() const
{
    std::lock_guard lock(mutex);
    return restarts;
}

std::vector<RecordedMessage> VirtualSystem::messages() const
{
    std::lock_guard lock(mutex);
    return shownMessages;
}

int VirtualSystem::openDriveCount() const
{
    std::lock_guard lock(mutex);
    return static_cast<int>(
        std::count_if(openHandles.begin(), openHandles.end(), [](int drive) { return drive != 0; }));
}

bool VirtualSystem::QueryPlatformId(uint32_t& id)
{
    if (versionQueryFails) return false;
    id = platformId;
    return true;
}

bool VirtualSystem::QueryCounterFrequency(int64_t& ticksPerSecond)
{
    ticksPerSecond = counterAvailable ? kCounterFrequency : 0;
    return counterAvailable;
}

// Every call that lets time pass on the caller's clock delivers the completions of the caller's
// ASPI requests that this time has brought due.
int64_t VirtualSystem::QueryCounter()
{
    if (!counterAvailable) return 0;
    const int64_t now = clock.Read();
    aspi.DeliverDue();
    return now;
}

void VirtualSystem::Sleep(uint32_t milliseconds) { PassTime(milliseconds / 1000.0); }

void VirtualSystem::PassTime(double seconds)
{
    clock.Spend(seconds);
    aspi.DeliverDue();
}

// Roots in the order they were added; drives that disappeared are no longer listed.
void VirtualSystem::ListDriveRoots(DriveRootList& list)
{
    std::memset(&list, 0, sizeof list);
    for (int i = 0; i < rootCount; ++i) {
        const int drive = roots[i].drive;
        if (drive >= 0 && drives[drive].drive->gone()) continue;
        CopyRoot(list.roots[list.count++], roots[i].root);
    }
}

bool VirtualSystem::IsOpticalDrive(const char* root)
{
    const int found = FindRoot(root);
    if (found < 0 || roots[found].drive < 0) return false;
    return !drives[roots[found].drive].drive->gone();
}

DriveHandle VirtualSystem::OpenDrive(const char* root)
{
    char refusal[platform::kRefusalSize];
    return OpenHandle(root, false, refusal);
}

DriveHandle VirtualSystem::OpenDriveExclusive(const char* root, char (&refusal)[platform::kRefusalSize])
{
    return OpenHandle(root, true, refusal);
}

DriveHandle VirtualSystem::OpenHandle(const char* root, bool exclusive, char (&refusal)[platform::kRefusalSize])
{
    refusal[0] = '\0';
    const int found = FindRoot(root);
    if (found < 0 || roots[found].drive < 0) return kInvalidDriveHandle;
    const int index = roots[found].drive;
    if (drives[index].openFails || drives[index].drive->gone()) return kInvalidDriveHandle;

    std::lock_guard lock(mutex);
    bool held = false;
    bool heldExclusively = false;
    for (int slot = 0; slot < kMaxOpenDrives; ++slot) {
        if (openHandles[slot] != index + 1) continue;
        held = true;
        heldExclusively = heldExclusively || exclusiveHandles[slot];
    }
    if (heldExclusively || (exclusive && (held || drives[index].inUseElsewhere))) {
        std::snprintf(refusal, sizeof refusal, "%s is in use by another program", root);
        return kInvalidDriveHandle;
    }
    for (int slot = 0; slot < kMaxOpenDrives; ++slot) {
        if (openHandles[slot] == 0) {
            openHandles[slot] = index + 1;
            exclusiveHandles[slot] = exclusive;
            return kFirstHandle + slot;
        }
    }
    return kInvalidDriveHandle;
}

void VirtualSystem::CloseDrive(DriveHandle handle)
{
    std::lock_guard lock(mutex);
    const DriveHandle slot = handle - kFirstHandle;
    if (slot >= 0 && slot < kMaxOpenDrives) {
        openHandles[slot] = 0;
        exclusiveHandles[slot] = false;
    }
}

VirtualSystem::DriveEntry* VirtualSystem::EntryOf(DriveHandle handle)
{
    std::lock_guard lock(mutex);
    const DriveHandle slot = handle - kFirstHandle;
    if (slot < 0 || slot >= kMaxOpenDrives || openHandles[slot] == 0) return nullptr;
    return &drives[openHandles[slot] - 1];
}

AddressQuery VirtualSystem::QueryScsiAddress(DriveHandle handle, ScsiAddress& address)
{
    const DriveEntry* entry = EntryOf(handle);
    if (entry == nullptr || entry->addressKind == AddressKind::QueryFails) {
        return AddressQuery::QueryFailed;
    }
    if (entry->addressKind == AddressKind::Empty) {
        address = ScsiAddress{0, 0, 0, 0};
        return AddressQuery::Empty;
    }
    address = entry->address;
    return AddressQuery::Found;
}

// A storage device descriptor of its version and size, for a CD/DVD device; nothing reads more.
bool VirtualSystem::QueryStorageDescriptor(DriveHandle handle, uint8_t (&descriptor)[kStorageDescriptorSize])
{
    if (EntryOf(handle) == nullptr) return false;
    std::memset(descriptor, 0, sizeof descriptor);
    descriptor[0] = kStorageDescriptorSize;  // version
    descriptor[4] = kStorageDescriptorSize;  // size
    descriptor[8] = 0x05;                    // device type
    descriptor[10] = 1;                      // removable media
    return true;
}

bool VirtualSystem::SendPassThrough(DriveHandle handle, PassThroughRequest& request)
{
    std::memset(request.sense, 0, sizeof request.sense);
    request.transferred = 0;
    DriveEntry* entry = EntryOf(handle);
    if (entry == nullptr) return false;
    if (request.data == nullptr && request.length > 0 && request.direction != DataDirection::None) {
        return false;  // the transport cannot move data from or to nowhere
    }
    CommandRequest command{};
    std::memcpy(command.cdb, request.cdb, kCdbSize);
    command.direction = request.direction;
    command.data = request.data;
    command.length = request.length;
    // As every system does, the driver gets the program's limit plus the margin.
    command.timeoutSeconds = (uint64_t{request.timeoutMs} + kDriverTimeoutMarginMs) / 1000.0;

    const CommandReply reply = entry->drive->Execute(command);
    PassTime(reply.seconds);
    if (reply.hasSense) std::memcpy(request.sense, reply.sense, sizeof reply.sense);
    request.transferred = reply.transferred;
    return reply.delivered;
}

AspiLibrary VirtualSystem::LoadAspiLibrary(const char* name) { return aspi.Load(name); }

void* VirtualSystem::FindAspiEntry(AspiLibrary library, const char* entryName)
{
    return aspi.FindEntry(library, entryName);
}

void VirtualSystem::FreeAspiLibrary(AspiLibrary library) { aspi.Free(library); }

EventHandle VirtualSystem::CreateEvent() { return events.Create(); }

bool VirtualSystem::WaitForEvent(EventHandle event, uint32_t milliseconds)
{
    if (clock.mode() == ClockMode::Real) return events.Wait(event, milliseconds);
    return WaitInVirtualTime(event, milliseconds);
}

// Nothing blocks in virtual time: the waiter's clock runs on to the next completion of its own
// requests that signals the event, as long as that comes within the limit, and otherwise passes
// the whole limit. A closed event passes no time.
bool VirtualSystem::WaitInVirtualTime(EventHandle event, uint32_t milliseconds)
{
    if (!events.IsOpen(event)) return false;
    aspi.DeliverDue();
    const int64_t end = clock.Now() + int64_t{milliseconds} * (VirtualClock::kTicksPerSecond / 1000);
    int64_t due = 0;
    while (!events.IsSignaled(event) && aspi.DueTimeFor(event, due) && due <= end) {
        clock.AdvanceTo(due);
        aspi.DeliverDue();
    }
    if (events.IsSignaled(event)) return true;
    clock.AdvanceTo(end);
    aspi.DeliverDue();
    return events.IsSignaled(event);
}

void VirtualSystem::CloseEvent(EventHandle event) { events.Close(event); }

bool VirtualSystem::EnableShutdownPrivilege() { return shutdownPrivilege; }

bool VirtualSystem::RequestRestart(uint32_t flags)
{
    std::lock_guard lock(mutex);
    restarts.push_back(flags);
    return restartAccepted;
}

void VirtualSystem::InhibitShutdown(const char* why)
{
    std::lock_guard lock(mutex);
    inhibitors.emplace_back(why != nullptr ? why : "");
}

void VirtualSystem::ReleaseShutdownInhibitor()
{
    std::lock_guard lock(mutex);
    if (!inhibitors.empty() && !inhibitors.back().ends_with(" (released)")) inhibitors.back() += " (released)";
}

void VirtualSystem::RecordInJournal(const platform::JournalRecord& record)
{
    std::lock_guard lock(mutex);
    journalEntries.push_back(record);
}

std::vector<std::string> VirtualSystem::journal() const
{
    std::lock_guard lock(mutex);
    std::vector<std::string> lines;
    for (const platform::JournalRecord& record : journalEntries)
        lines.push_back(std::string(record.failure ? "error: " : "") + record.message);
    return lines;
}

std::vector<platform::JournalRecord> VirtualSystem::journalRecords() const
{
    std::lock_guard lock(mutex);
    return journalEntries;
}

std::vector<std::string> VirtualSystem::shutdownInhibitors() const
{
    std::lock_guard lock(mutex);
    return inhibitors;
}

void VirtualSystem::SetInUseElsewhere(int index, bool inUse)
{
    if (index >= 0 && index < drivesAdded) drives[index].inUseElsewhere = inUse;
}

void VirtualSystem::ShowMessage(const char* text, const char* caption, MessageIcon icon)
{
    std::lock_guard lock(mutex);
    shownMessages.push_back({text ? text : "", caption ? caption : "", icon});
}

}  // namespace sim
