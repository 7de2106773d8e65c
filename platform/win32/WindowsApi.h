#pragma once
// The Windows API for the files of this folder only: no header that another folder includes
// brings it in. windows.h defines CreateEvent as a macro, which would rename the seam's
// operation of that name; the ANSI function is called by its own name here instead.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
// windows.h first: these need its types.
#include <ntddscsi.h>
#include <winioctl.h>

#undef CreateEvent

// Exclusive access to an optical drive, which mingw-w64's ntddcdrm.h does not declare: the
// request code and the structures as Windows' driver kit declares them.
#ifndef IOCTL_CDROM_EXCLUSIVE_ACCESS
#define IOCTL_CDROM_EXCLUSIVE_ACCESS \
    CTL_CODE(FILE_DEVICE_CD_ROM, 0x0017, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS)
#define CDROM_EXCLUSIVE_CALLER_LENGTH 64
#define CDROM_LOCK_IGNORE_VOLUME (1 << 0)
#define CDROM_NO_MEDIA_NOTIFICATIONS (1 << 1)
#define CDROM_NOT_IN_EXCLUSIVE_MODE 0
#define CDROM_IN_EXCLUSIVE_MODE 1

typedef enum _EXCLUSIVE_ACCESS_REQUEST_TYPE {
    ExclusiveAccessQueryState,
    ExclusiveAccessLockDevice,
    ExclusiveAccessUnlockDevice
} EXCLUSIVE_ACCESS_REQUEST_TYPE;

typedef struct _CDROM_EXCLUSIVE_ACCESS {
    EXCLUSIVE_ACCESS_REQUEST_TYPE RequestType;
    ULONG Flags;
} CDROM_EXCLUSIVE_ACCESS;

typedef struct _CDROM_EXCLUSIVE_LOCK {
    CDROM_EXCLUSIVE_ACCESS Access;
    UCHAR CallerName[CDROM_EXCLUSIVE_CALLER_LENGTH];
} CDROM_EXCLUSIVE_LOCK;

typedef struct _CDROM_EXCLUSIVE_LOCK_STATE {
    BOOLEAN LockState;
    UCHAR CallerName[CDROM_EXCLUSIVE_CALLER_LENGTH];
} CDROM_EXCLUSIVE_LOCK_STATE;
#endif
