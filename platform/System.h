#pragma once
// The operating-system seam: every call that Norvik makes into the system goes through one
// `System` object, handed to whoever needs it. The Linux implementation lives in linux/, the
// virtual system of the drive model in sim/. Nothing above this layer includes a system header.

#include <cstdint>
#include <thread>

#include "platform/Aspi.h"
#include "scsi/DataDirection.h"

namespace platform {

// Handle of a drive opened for commands; kInvalidDriveHandle when none is open.
using DriveHandle = intptr_t;
constexpr DriveHandle kInvalidDriveHandle = -1;

// Widest drive root the system hands out, terminating zero included ("D:\" or "/dev/sr15").
constexpr int kRootPathSize = 16;
// Most drive roots listed in one scan.
constexpr int kMaxDriveRoots = 32;
// Widest reason an exclusive open gives for a refusal, terminating zero included.
constexpr int kRefusalSize = 256;

struct DriveRootList {
    char roots[kMaxDriveRoots][kRootPathSize];
    uint16_t count;
};

// SCSI address of a drive: host (port or adapter), path (bus or channel), target id, lun.
struct ScsiAddress {
    int16_t host;
    int16_t path;
    int16_t target;
    int16_t lun;
};

enum class AddressQuery : uint8_t {
    Found,        // the address was read
    QueryFailed,  // the drive has no readable address: it is listed after the addressed ones
    Empty,        // the system answered with an empty address: no drive behind this root
};

using DataDirection = scsi::DataDirection;
using scsi::DirectionName;

constexpr int kCdbSize = 12;
constexpr int kSenseSize = 24;
constexpr int kStorageDescriptorSize = 40;

// Every system hands the driver a pass-through command's limit plus this margin. The program
// judges the time itself once the command has ended, so a command that runs a little past
// timeoutMs comes back carried out (and the program finds it too slow); only a command that runs
// past timeoutMs plus the margin is cut off and fails as such, so that a drive that never answers
// cannot hold the program for ever.
constexpr uint32_t kDriverTimeoutMarginMs = 10000;

// One pass-through command. The caller fills cdb, direction, data, length and timeoutMs; the
// system fills sense (zeroed first) and transferred.
struct PassThroughRequest {
    uint8_t cdb[kCdbSize];
    DataDirection direction;
    uint8_t* data;  // null when the direction is None or the length is 0
    uint32_t length;
    uint32_t timeoutMs;
    uint8_t sense[kSenseSize];
    uint32_t transferred;  // bytes moved
};

// A completion event of the ASPI interface (manual reset, created not signalled).
using EventHandle = void*;

enum class MessageIcon : uint8_t { Error, Warning, Information };

struct JournalRecord;

class System {
public:
    virtual ~System() = default;

    // Operating-system family: the platform identifier of the version query (2: NT family,
    // which offers the pass-through route). False when the query failed.
    virtual bool QueryPlatformId(uint32_t& platformId) = 0;

    // High-resolution counter. False when the system has none.
    virtual bool QueryCounterFrequency(int64_t& ticksPerSecond) = 0;
    virtual int64_t QueryCounter() = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
    // Lets other threads that are ready to run have the processor, without sleeping: a busy
    // wait calls it on every turn so that it does not starve the threads beside it.
    virtual void YieldToOtherThreads() { std::this_thread::yield(); }

    // Drive roots. The list holds every root the system offers; IsOpticalDrive picks the drives.
    virtual void ListDriveRoots(DriveRootList& list) = 0;
    virtual bool IsOpticalDrive(const char* root) = 0;

    // Opening a drive for commands (read and write, shared). kInvalidDriveHandle on failure.
    virtual DriveHandle OpenDrive(const char* root) = 0;
    // Opening a drive for commands that may write its firmware: exclusively, so that other
    // programs and the system's own traffic are kept away from the drive, as far as the system
    // lets them be, while it is held (the Linux seam says which), and only through the drive's
    // own command node.
    // kInvalidDriveHandle on failure, with a one-line reason for the user in refusal that names
    // the node (in use by another program, not the drive's own node); empty when the reason is
    // a refused right, which PermissionAdvice explains.
    virtual DriveHandle OpenDriveExclusive(const char* root, char (&refusal)[kRefusalSize]) = 0;
    virtual void CloseDrive(DriveHandle drive) = 0;
    virtual AddressQuery QueryScsiAddress(DriveHandle drive, ScsiAddress& address) = 0;
    virtual bool QueryStorageDescriptor(DriveHandle drive, uint8_t (&descriptor)[kStorageDescriptorSize]) = 0;

    // Sends one command. True when the request as such was carried out, also when the drive
    // answered with sense data; false when it could not be delivered or the transport failed.
    virtual bool SendPassThrough(DriveHandle drive, PassThroughRequest& request) = 0;

    // Advice for the user when the system refused this process the right to open a drive or
    // send it commands (what was refused and what to do), or null while nothing was refused.
    // Library code never shows it; the program's front end shows it once.
    virtual const char* PermissionAdvice() const { return nullptr; }

    // ASPI manager: a library loaded by name, its entry points by name (null when missing).
    // The entry points take the library handle as their first argument.
    virtual AspiLibrary LoadAspiLibrary(const char* name) = 0;
    virtual void* FindAspiEntry(AspiLibrary library, const char* entryName) = 0;
    virtual void FreeAspiLibrary(AspiLibrary library) = 0;

    // Completion events for ASPI requests. CreateEvent gives null when none can be made;
    // WaitForEvent returns true when the event was signalled within the limit.
    virtual EventHandle CreateEvent() = 0;
    virtual bool WaitForEvent(EventHandle event, uint32_t milliseconds) = 0;
    virtual void CloseEvent(EventHandle event) = 0;

    // Restart. EnableShutdownPrivilege is the privilege step of the NT family: false when the
    // process may not restart the system. RequestRestart asks for an immediate restart with
    // the given flags (2 reboot, 4 force) and returns whether the system accepted the request.
    virtual bool EnableShutdownPrivilege() = 0;
    virtual bool RequestRestart(uint32_t flags) = 0;

    // Asks the system not to shut down or sleep while drives are being programmed (why names
    // them) until ReleaseShutdownInhibitor. A system that cannot be asked is no error.
    virtual void InhibitShutdown(const char* why) = 0;
    virtual void ReleaseShutdownInhibitor() = 0;

    // One record in the system's journal about an update of a real drive (JournalRecord.h). A
    // system without a structured journal keeps its line; one without any journal drops it.
    virtual void RecordInJournal(const JournalRecord& record) = 0;

    // A message box without owner window, with one OK button; returns when it is closed.
    virtual void ShowMessage(const char* text, const char* caption, MessageIcon icon) = 0;
};

}  // namespace platform
