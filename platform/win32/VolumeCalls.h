#pragma once
// The system calls the drive operations make on drive letters and their volume devices, behind
// one table: the running program uses Windows' own, a test stands in for the system and sees
// every open, every control request and every close. Free of windows.h: a handle is a HANDLE,
// a number a DWORD.

#include <cstdint>

namespace platform::win32 {

using VolumeHandle = void*;

class VolumeCalls {
public:
    virtual ~VolumeCalls() = default;

    // GetDriveTypeA of a root with its backslash ("D:\").
    virtual uint32_t DriveType(const char* root) = 0;
    // CreateFileA for reading and writing, an existing device, with the given share mode;
    // INVALID_HANDLE_VALUE on failure, with the reason in LastError.
    virtual VolumeHandle Open(const char* volumePath, uint32_t shareMode) = 0;
    // DeviceIoControl without overlapping; false with the reason in LastError.
    virtual bool Control(VolumeHandle volume, uint32_t code, void* input, uint32_t inputSize, void* output,
                         uint32_t outputSize, uint32_t& returned) = 0;
    virtual void Close(VolumeHandle volume) = 0;
    // GetLastError after the last failed call of this thread.
    virtual uint32_t LastError() = 0;
};

// Windows' own calls.
VolumeCalls& SystemVolumeCalls();

}  // namespace platform::win32
