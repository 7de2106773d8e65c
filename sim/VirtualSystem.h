#pragma once
// The operating-system seam over a set of virtual drives: drive roots, opening, addresses,
// pass-through, an ASPI manager over the same drives, completion events, the counter and
// sleeps on a real or virtual clock, the version answer, and a restart and message boxes that
// are recorded, never carried out.
//
// Set the system up (drives, settings) before handing it to other threads. Afterwards several
// threads may use it at once, each driving its own drive; the shared tables are guarded.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/JournalRecord.h"
#include "platform/System.h"
#include "sim/DriveSetup.h"
#include "sim/VirtualAspi.h"
#include "sim/VirtualClock.h"
#include "sim/VirtualDrive.h"
#include "sim/VirtualEvents.h"

namespace sim {

struct RecordedMessage {
    std::string text;
    std::string caption;
    platform::MessageIcon icon;
};

class VirtualSystem : public platform::System {
public:
    static constexpr int64_t kCounterFrequency = VirtualClock::kTicksPerSecond;
    // Every QueryCounter advances the calling thread's virtual clock by this much.
    static constexpr int64_t kCounterStepTicks = VirtualClock::kStepTicks;
    static constexpr uint32_t kPlatformNT = 2;
    static constexpr uint32_t kPlatformWindows = 1;
    // More than the program's 16-slot drive table, so tests can show what happens past it.
    static constexpr int kMaxDrives = 24;
    static constexpr int kMaxOpenDrives = 64;

    explicit VirtualSystem(ClockMode mode = ClockMode::Virtual);
    ~VirtualSystem() override;
    VirtualSystem(const VirtualSystem&) = delete;
    VirtualSystem& operator=(const VirtualSystem&) = delete;

    // Drives and roots. AddDrive gives null when the table or the root list is full, or the
    // text form is bad (with the reason).
    VirtualDrive* AddDrive(const DriveSetup& setup = DriveSetup{});
    VirtualDrive* AddDrive(std::string_view text, std::string& reason);
    bool AddOtherRoot(const char* root);  // a root that is no optical drive, e.g. "C:\"
    void SetOpenFails(int index, bool fails);
    int driveCount() const { return drivesAdded; }
    VirtualDrive& drive(int index) { return *drives[index].drive; }
    const char* rootOf(int index) const { return drives[index].root; }
    platform::ScsiAddress addressOf(int index) const { return drives[index].address; }
    // The drive with an address at this ASPI host adapter, target and lun, or null.
    VirtualDrive* DriveOnAdapter(int adapter, int target, int lun);
    int HighestAdapter() const;  // -1 when no drive has an address

    // Clock. AdvanceClock lets time pass as a sleep does.
    ClockMode clockMode() const { return clock.mode(); }
    void SetCounterAvailable(bool available) { counterAvailable = available; }
    void AdvanceClock(double seconds) { PassTime(seconds); }

    // Version, restart, message boxes.
    void SetPlatformId(uint32_t id) { platformId = id; }
    void SetVersionQueryFails(bool fails) { versionQueryFails = fails; }
    void SetShutdownPrivilege(bool granted) { shutdownPrivilege = granted; }
    void SetRestartAccepted(bool accepted) { restartAccepted = accepted; }
    std::vector<uint32_t> restartRequests() const;
    std::vector<RecordedMessage> messages() const;
    // Every shutdown inhibitor asked for, in order: its why, followed by " (released)" once
    // released.
    std::vector<std::string> shutdownInhibitors() const;
    // Every journal record's line, "error: " before a failure's; and the records themselves.
    std::vector<std::string> journal() const;
    std::vector<platform::JournalRecord> journalRecords() const;
    // Another program takes or gives back the drive (no exclusive open while it holds it).
    void SetInUseElsewhere(int index, bool inUse);

    // ASPI manager and events.
    void SetAspiManager(const AspiSettings& settings) { aspi.Configure(settings); }
    void SetEventCreationFails(bool fails) { events.SetCreationFails(fails); }
    int loadedAspiCount() const { return aspi.loadedCount(); }
    uint32_t aspiCallsWhileUnloaded() const { return aspi.callsWhileUnloaded(); }
    // Execute requests still pending (answered SS_PENDING, not yet completed or aborted).
    int pendingAspiCount() const { return aspi.pendingCount(); }
    uint32_t aspiAbortCount() const { return aspi.abortCount(); }  // abort requests received
    // Completes every pending execute request now with the drive's answer, held ones included,
    // from the calling thread; returns how many.
    int FinishPendingAspiRequests() { return aspi.FinishPending(); }
    int openEventCount() const { return events.openCount(); }
    int openDriveCount() const;

    // platform::System
    bool QueryPlatformId(uint32_t& id) override;
    bool QueryCounterFrequency(int64_t& ticksPerSecond) override;
    int64_t QueryCounter() override;
    void Sleep(uint32_t milliseconds) override;
    // Real clock: the processor goes to other threads. Virtual clock: nothing happens.
    void YieldToOtherThreads() override { clock.GiveWay(); }
    void ListDriveRoots(platform::DriveRootList& list) override;
    bool IsOpticalDrive(const char* root) override;
    platform::DriveHandle OpenDrive(const char* root) override;
    // As the SCSI generic driver's exclusive open: refused while any other handle is open on
    // the drive, and while it is held, no other open succeeds.
    platform::DriveHandle OpenDriveExclusive(const char* root, char (&refusal)[platform::kRefusalSize]) override;
    void CloseDrive(platform::DriveHandle handle) override;
    platform::AddressQuery QueryScsiAddress(platform::DriveHandle handle, platform::ScsiAddress& address) override;
    bool QueryStorageDescriptor(platform::DriveHandle handle,
                                uint8_t (&descriptor)[platform::kStorageDescriptorSize]) override;
    bool SendPassThrough(platform::DriveHandle handle, platform::PassThroughRequest& request) override;
    platform::AspiLibrary LoadAspiLibrary(const char* name) override;
    void* FindAspiEntry(platform::AspiLibrary library, const char* entryName) override;
    void FreeAspiLibrary(platform::AspiLibrary library) override;
    platform::EventHandle CreateEvent() override;
    bool WaitForEvent(platform::EventHandle event, uint32_t milliseconds) override;
    void CloseEvent(platform::EventHandle event) override;
    bool EnableShutdownPrivilege() override;
    bool RequestRestart(uint32_t flags) override;
    // Recorded, never asked of anyone.
    void InhibitShutdown(const char* why) override;
    // Kept in journal(), never written to the system's journal.
    void RecordInJournal(const platform::JournalRecord& record) override;
    void ReleaseShutdownInhibitor() override;
    void ShowMessage(const char* text, const char* caption, platform::MessageIcon icon) override;

private:
    struct DriveEntry {
        std::unique_ptr<VirtualDrive> drive;
        char root[platform::kRootPathSize];
        AddressKind addressKind;
        platform::ScsiAddress address;
        std::atomic<bool> openFails{false};
        std::atomic<bool> inUseElsewhere{false};
    };
    struct RootEntry {
        char root[platform::kRootPathSize];
        int drive;  // index into drives, -1 for a root that is no optical drive
    };

    int FindRoot(const char* root) const;
    platform::DriveHandle OpenHandle(const char* root, bool exclusive, char (&refusal)[platform::kRefusalSize]);
    DriveEntry* EntryOf(platform::DriveHandle handle);
    void PassTime(double seconds);
    bool WaitInVirtualTime(platform::EventHandle event, uint32_t milliseconds);

    VirtualClock clock;
    VirtualEvents events;
    std::array<DriveEntry, kMaxDrives> drives{};
    int drivesAdded = 0;
    std::array<RootEntry, platform::kMaxDriveRoots> roots{};
    int rootCount = 0;
    VirtualAspi aspi{*this, clock, events};  // after clock and events: destroyed first

    mutable std::mutex mutex;                       // open handles and recordings
    std::array<int, kMaxOpenDrives> openHandles{};  // drive index + 1 per handle, 0 free
    std::array<bool, kMaxOpenDrives> exclusiveHandles{};
    std::vector<std::string> inhibitors;  // why, and " (released)" once released
    std::vector<platform::JournalRecord> journalEntries;
    std::vector<uint32_t> restarts;
    std::vector<RecordedMessage> shownMessages;

    std::atomic<bool> counterAvailable{true};
    std::atomic<uint32_t> platformId{kPlatformNT};
    std::atomic<bool> versionQueryFails{false};
    std::atomic<bool> shutdownPrivilege{true};
    std::atomic<bool> restartAccepted{true};
};

}  // namespace sim
