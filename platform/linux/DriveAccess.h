#pragma once
// The drive operations of the Linux seam: the optical drives from sysfs, opened on their SCSI
// generic node when they have one, addressed from sysfs or the SCSI address requests, and
// commanded through SG_IO. A refused right is kept as advice for the user.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/System.h"
#include "platform/linux/PermissionAdvice.h"
#include "platform/linux/SysfsDrives.h"

namespace platform::linux_sys {

constexpr int kSysfsRootSize = 256;

// The first drive of a run that was left out because another program held it, as a line for
// the user. Written once, like the permission record, whichever thread comes first.
class BusyNote {
public:
    void Note(const char* refusal);
    const char* Text() const;  // null while nothing was noted

private:
    enum State : uint8_t { kEmpty, kWriting, kReady };
    std::atomic<uint8_t> state{kEmpty};
    char text[kAdviceSize] = {};
};

// A drive opened for its firmware: its generic node (the handle), its block node held beside it,
// and the pause of the kernel's media polling.
struct HeldDrive {
    int commandNode = -1;
    int blockNode = -1;
    int pollingPause = -1;
};

class DriveAccess {
public:
    // sysfsRoot: where sysfs is mounted; nodeRoot: the folder that device node paths such as
    // /dev/sg1 are taken under, empty for the system's own (tests hand trees of their own).
    explicit DriveAccess(const char* sysfsRoot = kSysfsRoot, const char* nodeRoot = "");
    // Lets go of every drive still held, its media polling given back.
    ~DriveAccess();
    DriveAccess(const DriveAccess&) = delete;
    DriveAccess& operator=(const DriveAccess&) = delete;

    void ListDriveRoots(DriveRootList& list) const;
    bool IsOpticalDrive(const char* root) const;

    // Opens the drive's command node for reading and writing, without waiting for a medium,
    // shared with other processes. A refused open is noted for the advice, and so is a drive
    // that another program holds for itself (it is then not opened at all).
    DriveHandle OpenDrive(const char* root);
    // Opens the drive's generic node for this process alone, so that no other program's
    // commands reach the drive through it while it is held, and keeps the rest away that can be
    // kept away: the block node is held exclusively beside it (no mount, no other exclusive
    // opener such as a desktop's media poller or udev's drive probe), and the kernel's own media
    // polling is paused where this process may change it. On failure refusal tells why in one
    // line that names the node (empty when a right was refused: the advice tells that). A drive
    // without a generic node is refused: its block node cannot be held against other programs.
    DriveHandle OpenDriveExclusive(const char* root, char (&refusal)[kRefusalSize]);
    // Closes the node; for a drive opened exclusively, lets its block node go and gives its
    // media polling back as well.
    void CloseDrive(DriveHandle drive);

    // From sysfs by the open node's device number, else from the SCSI address requests.
    AddressQuery QueryScsiAddress(DriveHandle drive, ScsiAddress& address) const;

    // Linux has no storage property query, and nothing above depends on the descriptor: it is
    // left zero and the query reports that it was not made.
    bool QueryStorageDescriptor(DriveHandle drive, uint8_t (&descriptor)[kStorageDescriptorSize]) const;

    // True when the command was carried out, with or without sense data. A refused command is
    // noted for the advice.
    bool SendPassThrough(DriveHandle drive, PassThroughRequest& request);

    // The advice about the first refused right of this run; without one, the note about the
    // first drive left out because another program held it; or null.
    const char* PermissionAdvice() const;

private:
    // Opens node, a node of the drive at root, with flags, and keeps the descriptor only when
    // it is the drive's own node: no symbolic link, a device of the node's kind whose number is
    // the one sysfs gives for it. Otherwise -1 with the reason in refusal and
    // the open's errno in error (0 when the node was opened and turned out not to be the drive's).
    int OpenOwnNode(const char* root, const char* node, int flags, char (&refusal)[kRefusalSize], int& error);
    // The block node /dev/srN for this process alone, beside its generic node; -1 with the
    // reason in refusal.
    int HoldBlockNode(const char* root, char (&refusal)[kRefusalSize]);
    bool RecordHeldDrive(const HeldDrive& drive);
    void LetGo(HeldDrive& drive);
    bool IsOwnNode(int descriptor, const char* root, const char* node, char (&refusal)[kRefusalSize]) const;
    // path: where node was opened.
    void NoteOpenRefused(const char* path, const char* node);
    void NoteCommandRefused(int node);

    char sysfsRoot[kSysfsRootSize];
    char nodeRoot[kSysfsRootSize];
    PermissionRecord permissions;
    BusyNote busyNote;
    std::mutex heldLock;
    HeldDrive held[kMaxDriveRoots];
};

}  // namespace platform::linux_sys
