#pragma once
// The seam on the Windows API: drive letters and their volume devices, SCSI pass-through, the
// ASPI manager, events, the performance counter, the version query, the restart with its
// privilege step, the event log and message boxes. This header is free of windows.h, so that
// the programs above the seam can make one without seeing a Windows type.

#include <memory>
#include <mutex>

#include "platform/System.h"
#include "platform/win32/DriveTexts.h"
#include "platform/win32/VolumeCalls.h"

namespace platform {

class Win32System : public System {
public:
    // calls: the system's own calls on drives and volumes, or a test's stand-in.
    explicit Win32System(win32::VolumeCalls& calls = win32::SystemVolumeCalls()) : volumeCalls(calls) {}
    ~Win32System() override;
    Win32System(const Win32System&) = delete;
    Win32System& operator=(const Win32System&) = delete;

    // GetVersionExA's platform identifier.
    bool QueryPlatformId(uint32_t& platformId) override;

    bool QueryCounterFrequency(int64_t& ticksPerSecond) override;
    int64_t QueryCounter() override;
    void Sleep(uint32_t milliseconds) override;

    // Roots as GetLogicalDriveStringsA gives them ("C:\"); optical ones are DRIVE_CDROM.
    void ListDriveRoots(DriveRootList& list) override;
    bool IsOpticalDrive(const char* root) override;
    // The volume device "\\.\D:" of a root, for reading and writing, shared. A refused right is
    // noted for the advice, and a drive that another program holds for itself for the note.
    DriveHandle OpenDrive(const char* root) override;
    // The same volume, shared as Windows requires of a volume, and then the drive taken for this
    // program alone: Windows' exclusive access of optical drives under the caller name "Norvik",
    // or, where the drive does not offer it, the volume's lock. A drive that another program has
    // taken is refused as in use, naming that program where Windows tells it.
    DriveHandle OpenDriveExclusive(const char* root, char (&refusal)[kRefusalSize]) override;
    // Gives back what the exclusive open took, then closes the volume.
    void CloseDrive(DriveHandle drive) override;
    AddressQuery QueryScsiAddress(DriveHandle drive, ScsiAddress& address) override;
    bool QueryStorageDescriptor(DriveHandle drive, uint8_t (&descriptor)[kStorageDescriptorSize]) override;
    bool SendPassThrough(DriveHandle drive, PassThroughRequest& request) override;
    // The advice about the first refused right of this run; without one, the note about the
    // first drive left out because another program held it; or null.
    const char* PermissionAdvice() const override;
    // A console program's advice: one line, what to do from a command prompt.
    void AdviseConsoleReader() { adviceReader = win32::AdviceReader::Console; }

    // The library is a record of this process's ASPI managers (the module and its two exports);
    // its entry points are functions of this file that call the manager's own.
    AspiLibrary LoadAspiLibrary(const char* name) override;
    void* FindAspiEntry(AspiLibrary library, const char* entryName) override;
    void FreeAspiLibrary(AspiLibrary library) override;

    // Win32 events: manual reset, created not signalled. The handle is the one an ASPI manager
    // is given in SRB_PostProc.
    EventHandle CreateEvent() override;
    bool WaitForEvent(EventHandle event, uint32_t milliseconds) override;
    void CloseEvent(EventHandle event) override;
    // What an ASPI manager does when a request completes; not part of the seam.
    static void SignalEvent(EventHandle event);

    bool EnableShutdownPrivilege() override;
    bool RequestRestart(uint32_t flags) override;

    // Keeps the system from sleeping while idle; see Win32System.cpp for what it cannot hold off.
    void InhibitShutdown(const char* why) override;
    void ReleaseShutdownInhibitor() override;
    // The Application event log, under the source "Norvik".
    void RecordInJournal(const JournalRecord& record) override;

    void ShowMessage(const char* text, const char* caption, MessageIcon icon) override;

private:
    static constexpr int kMaxOpenVolumes = 64;

    // How a drive opened for an update is held beside its open handle.
    enum class DriveHold : uint8_t { None, ExclusiveAccess, VolumeLock };

    DriveHold TakeDrive(win32::VolumeHandle volume, char letter, char (&refusal)[kRefusalSize]);
    bool TakeExclusiveAccess(win32::VolumeHandle volume);
    bool QueryOtherOwner(win32::VolumeHandle volume, char (&owner)[win32::kOwnerNameSize]);
    void GiveBackDrive(win32::VolumeHandle volume, DriveHold hold);
    void RememberVolume(DriveHandle drive, char letter, DriveHold hold = DriveHold::None);
    char LetterOfVolume(DriveHandle drive);
    DriveHold HoldOfVolume(DriveHandle drive);
    void NoteRefused(win32::RefusedStep step, char letter);
    void NoteCommandRefused(DriveHandle drive);
    void NoteInUse(char letter);

    win32::VolumeCalls& volumeCalls;
    win32::FirstNote permissionAdvice;
    win32::FirstNote inUseNote;
    win32::AdviceReader adviceReader = win32::AdviceReader::Window;

    // Which drive letter each open volume belongs to, so that a refused command names its drive.
    std::mutex volumesMutex;
    DriveHandle openVolumes[kMaxOpenVolumes] = {};
    char openLetters[kMaxOpenVolumes] = {};
    DriveHold openHolds[kMaxOpenVolumes] = {};

    std::once_flag eventSourceRegistered;
    void* eventSource = nullptr;
    bool inhibiting = false;
};

// The system the Windows programs run on.
std::unique_ptr<System> MakeWin32System();

}  // namespace platform
