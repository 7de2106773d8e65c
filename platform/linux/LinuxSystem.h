#pragma once
// The seam on Linux: the monotonic clock, nanosleep, completion events, the restart through
// systemd-logind, the shutdown inhibitor, messages on the standard error stream, and the drives
// (LinuxDrives.cpp).

#include <string>

#include "platform/System.h"
#include "platform/linux/DriveAccess.h"
#include "platform/linux/LogindInhibitor.h"
#include "platform/linux/LogindRestart.h"

namespace platform {

class LinuxSystem : public System {
public:
    // The restart and the shutdown inhibitor go to logind on the system bus.
    LinuxSystem() = default;
    // The restart and the shutdown inhibitor go to the logind found on the bus at this D-Bus address.
    explicit LinuxSystem(std::string restartBusAddress);

    bool QueryPlatformId(uint32_t& platformId) override;

    bool QueryCounterFrequency(int64_t& ticksPerSecond) override;
    int64_t QueryCounter() override;
    void Sleep(uint32_t milliseconds) override;

    void ListDriveRoots(DriveRootList& list) override;
    bool IsOpticalDrive(const char* root) override;
    DriveHandle OpenDrive(const char* root) override;
    DriveHandle OpenDriveExclusive(const char* root, char (&refusal)[kRefusalSize]) override;
    void CloseDrive(DriveHandle drive) override;
    AddressQuery QueryScsiAddress(DriveHandle drive, ScsiAddress& address) override;
    bool QueryStorageDescriptor(DriveHandle drive, uint8_t (&descriptor)[kStorageDescriptorSize]) override;
    bool SendPassThrough(DriveHandle drive, PassThroughRequest& request) override;
    const char* PermissionAdvice() const override;

    // There is no ASPI manager on Linux: nothing loads.
    AspiLibrary LoadAspiLibrary(const char* name) override;
    void* FindAspiEntry(AspiLibrary library, const char* entryName) override;
    void FreeAspiLibrary(AspiLibrary library) override;

    EventHandle CreateEvent() override;
    bool WaitForEvent(EventHandle event, uint32_t milliseconds) override;
    void CloseEvent(EventHandle event) override;
    // What an ASPI manager does when a request completes; not part of the seam, since nothing
    // above it signals events.
    static void SignalEvent(EventHandle event);

    bool EnableShutdownPrivilege() override;
    bool RequestRestart(uint32_t flags) override;

    void InhibitShutdown(const char* why) override;
    // Through journald's native protocol, with every field; syslog(3) when journald does not run.
    void RecordInJournal(const JournalRecord& record) override;
    void ReleaseShutdownInhibitor() override;

    void ShowMessage(const char* text, const char* caption, MessageIcon icon) override;

private:
    linux_sys::DriveAccess drives;
    LogindRestart restart;
    LogindInhibitor inhibitor;
};

}  // namespace platform
