// Windows' own calls on drive letters and volume devices.

#include "platform/win32/VolumeCalls.h"

#include "platform/win32/WindowsApi.h"

namespace platform::win32 {

namespace {

class SystemCalls final : public VolumeCalls {
public:
    uint32_t DriveType(const char* root) override { return GetDriveTypeA(root); }

    VolumeHandle Open(const char* volumePath, uint32_t shareMode) override
    {
        return CreateFileA(volumePath, GENERIC_READ | GENERIC_WRITE, shareMode, nullptr, OPEN_EXISTING, 0, nullptr);
    }

    bool Control(VolumeHandle volume, uint32_t code, void* input, uint32_t inputSize, void* output, uint32_t outputSize,
                 uint32_t& returned) override
    {
        DWORD moved = 0;
        const bool done = DeviceIoControl(volume, code, input, inputSize, output, outputSize, &moved, nullptr) != FALSE;
        returned = moved;
        return done;
    }

    void Close(VolumeHandle volume) override { CloseHandle(volume); }

    uint32_t LastError() override { return GetLastError(); }
};

}  // namespace

VolumeCalls& SystemVolumeCalls()
{
    static SystemCalls calls;
    return calls;
}

}  // namespace platform::win32
