#pragma once
// The optical drives as sysfs shows them. Every sr block device is an optical drive; its root is
// its device node /dev/srN. When the SCSI generic driver is loaded, the drive's generic node
// sgM is listed under its device directory, and that directory is named after the drive's
// address, host:channel:id:lun. Every function takes the sysfs mount point, so that tests run
// them over a tree of their own.

#include <sys/types.h>

#include "platform/System.h"

namespace platform::linux_sys {

constexpr const char* kSysfsRoot = "/sys";

// Widest device node path handed out: "/dev/sg" and a number, or a drive root.
constexpr int kNodePathSize = 32;

// The roots of the optical drives, /dev/sr0, /dev/sr1, ..., in the order of their numbers
// (sr2 before sr10). When there are more than the list holds, the lowest numbers are kept.
void ListOpticalRoots(const char* sysfsRoot, DriveRootList& list);

// True when root is /dev/srN and sysfs lists srN as a block device.
bool IsOpticalRoot(const char* sysfsRoot, const char* root);

// The SCSI generic node of the drive at root ("/dev/sg3"); false when it has none (the sg
// driver is not loaded) or root is not an optical drive root.
bool FindGenericNode(const char* sysfsRoot, const char* root, char (&node)[kNodePathSize]);

// The node that commands to the drive at root go to: its generic node when it has one, since
// the kernel lets the owner group of a generic node send every command, while on /dev/srN it
// keeps write buffer and vendor commands for processes with CAP_SYS_RAWIO; else root itself.
// False when root is too long for a node path (node is then empty).
bool ChooseCommandNode(const char* sysfsRoot, const char* root, char (&node)[kNodePathSize]);

// The device number sysfs gives for a node of the drive at root: its generic node "/dev/sgM"
// (the dev file of that generic entry) or its block node, root itself (the dev file of srN).
// False for any other node, or when sysfs has no readable number for it.
bool ReadNodeNumber(const char* sysfsRoot, const char* root, const char* node, dev_t& number);

// Reads "MAJ:MIN" as the kernel writes it in a dev file (a final newline allowed).
bool ParseDeviceNumber(const char* text, dev_t& number);

// The address of the drive at root, from the name of its device directory.
AddressQuery ReadRootAddress(const char* sysfsRoot, const char* root, ScsiAddress& address);

// The address of the SCSI device behind a device number, block (srN) or character (sgM), as an
// open node's fstat gives it: /sys/dev/block/MAJ:MIN/device or /sys/dev/char/MAJ:MIN/device.
AddressQuery ReadDeviceAddress(const char* sysfsRoot, bool blockDevice, dev_t device, ScsiAddress& address);

// Reads "host:channel:id:lun" into address: four decimal numbers of at most 32767 each.
bool ParseScsiAddress(const char* text, ScsiAddress& address);

}  // namespace platform::linux_sys
