// winscsiprobe.exe: the kernel rig's probe of the two routes a Windows program has to a drive,
// run under Wine inside the guest. Built by tests/kernel/run with the 32-bit mingw compiler.
//
//   winscsiprobe passthrough X:   opens "\\.\X:", asks IOCTL_SCSI_GET_ADDRESS and
//                                 IOCTL_STORAGE_QUERY_PROPERTY, then sends one INQUIRY through
//                                 IOCTL_SCSI_PASS_THROUGH_DIRECT
//   winscsiprobe aspi [NODE]      loads WNASPI32.DLL, shows the SCSI device map the manager
//                                 reads (HKLM\HARDWARE\DEVICEMAP\Scsi); when the map is empty
//                                 and NODE is given, enters NODE as host 0 target 0 LUN 0 the way
//                                 the manager looks it up; then GetASPI32SupportInfo,
//                                 SC_HA_INQUIRY and one INQUIRY through SC_EXEC_SCSI_CMD
//
// Prints one "key: value" line per finding; exits 0 only when the INQUIRY came back from the
// drive with status GOOD.

#include <windows.h>
// clang-format off
#include <winioctl.h>
#include <ntddscsi.h>
// clang-format on

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Aspi.h"

namespace {

constexpr uint8_t kInquiry[6] = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
constexpr DWORD kInquiryLength = 0x24;
constexpr const char* kDeviceMap = "HARDWARE\\DEVICEMAP\\Scsi";
constexpr const char* kUnitKey = "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0";

// Vendor, product and revision of standard INQUIRY data, as the drive sent them.
void PrintIdentity(const uint8_t* data)
{
    std::printf("inquiry-identity: %.8s|%.16s|%.4s\n", reinterpret_cast<const char*>(data + 8),
                reinterpret_cast<const char*>(data + 16), reinterpret_cast<const char*>(data + 32));
}

void PrintLastError(const char* what)
{
    std::printf("%s: failed, error %lu\n", what, static_cast<unsigned long>(GetLastError()));
}

// Input and output of IOCTL_SCSI_PASS_THROUGH_DIRECT with room for fixed-format sense after it.
struct PassThroughRequest {
    SCSI_PASS_THROUGH_DIRECT header;
    uint8_t sense[32];
};

int PassThrough(const char* letter)
{
    const std::string root = std::string(letter) + "\\";
    std::printf("drive-type: %u\n", GetDriveTypeA(root.c_str()));
    const std::string path = std::string("\\\\.\\") + letter;
    HANDLE device = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        PrintLastError("open");
        return 1;
    }
    std::printf("open: %s\n", path.c_str());

    SCSI_ADDRESS address{};
    DWORD returned = 0;
    if (DeviceIoControl(device, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof address, &returned, nullptr)) {
        std::printf("scsi-address: port %u path %u target %u lun %u\n", address.PortNumber, address.PathId,
                    address.TargetId, address.Lun);
    } else {
        PrintLastError("scsi-address");
    }

    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    alignas(8) uint8_t descriptorBytes[512] = {};
    if (DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, descriptorBytes,
                        sizeof descriptorBytes, &returned, nullptr)) {
        const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(descriptorBytes);
        std::printf("storage-property: device type %u, bus type %d\n", descriptor->DeviceType,
                    static_cast<int>(descriptor->BusType));
    } else {
        PrintLastError("storage-property");
    }

    uint8_t data[kInquiryLength] = {};
    PassThroughRequest request{};
    request.header.Length = sizeof request.header;
    request.header.CdbLength = sizeof kInquiry;
    request.header.SenseInfoLength = sizeof request.sense;
    request.header.SenseInfoOffset = offsetof(PassThroughRequest, sense);
    request.header.DataIn = SCSI_IOCTL_DATA_IN;
    request.header.DataTransferLength = kInquiryLength;
    request.header.DataBuffer = data;
    request.header.TimeOutValue = 10;
    std::memcpy(request.header.Cdb, kInquiry, sizeof kInquiry);
    std::printf("pass-through-size: %u\n", static_cast<unsigned>(sizeof request.header));
    const BOOL sent = DeviceIoControl(device, IOCTL_SCSI_PASS_THROUGH_DIRECT, &request, sizeof request, &request,
                                      sizeof request, &returned, nullptr);
    CloseHandle(device);
    if (!sent) {
        PrintLastError("inquiry");
        return 1;
    }
    std::printf("inquiry-status: %u, %lu bytes\n", request.header.ScsiStatus,
                static_cast<unsigned long>(request.header.DataTransferLength));
    if (request.header.ScsiStatus != 0) return 1;
    PrintIdentity(data);
    return 0;
}

// Every key under the SCSI device map, one line each, with the value the manager opens.
int PrintDeviceMap(HKEY key, const std::string& name, int depth)
{
    char value[260] = {};
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, "UnixDeviceName", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
        ERROR_SUCCESS) {
        std::printf("device-map: %s UnixDeviceName=%s\n", name.c_str(), value);
    } else if (depth == 4) {
        std::printf("device-map: %s (no UnixDeviceName)\n", name.c_str());
    }
    int keys = 0;
    char child[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof child;
        if (RegEnumKeyExA(key, index, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY sub;
        if (RegOpenKeyExA(key, child, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
        keys += 1 + PrintDeviceMap(sub, name + "\\" + child, depth + 1);
        RegCloseKey(sub);
    }
    return keys;
}

// The device map lives under the volatile HKLM\HARDWARE: its keys must be volatile too.
bool EnterUnit(const char* node)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUnitKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool set = RegSetValueExA(key, "UnixDeviceName", 0, REG_SZ, reinterpret_cast<const BYTE*>(node),
                                    static_cast<DWORD>(std::strlen(node) + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return set;
}

int ShowDeviceMap()
{
    HKEY map;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDeviceMap, 0, KEY_READ, &map) != ERROR_SUCCESS) {
        std::printf("device-map: no key\n");
        return 0;
    }
    const int keys = PrintDeviceMap(map, "Scsi", 0);
    RegCloseKey(map);
    std::printf("device-map-keys: %d\n", keys);
    return keys;
}

int Aspi(const char* node)
{
    if (ShowDeviceMap() == 0 && node != nullptr) {
        std::printf("device-map-entered: %s %s\n", node, EnterUnit(node) ? "yes" : "no");
        ShowDeviceMap();
    }
    HMODULE library = LoadLibraryA("WNASPI32.DLL");
    if (library == nullptr) {
        PrintLastError("load");
        return 1;
    }
    using SupportInfo = DWORD(__cdecl*)();
    using SendCommand = DWORD(__cdecl*)(void*);
    auto supportInfo = reinterpret_cast<SupportInfo>(
        reinterpret_cast<void*>(GetProcAddress(library, platform::kGetSupportInfoName)));
    auto sendCommand = reinterpret_cast<SendCommand>(
        reinterpret_cast<void*>(GetProcAddress(library, platform::kSendCommandName)));
    if (supportInfo == nullptr || sendCommand == nullptr) {
        PrintLastError("entry-points");
        return 1;
    }
    const DWORD support = supportInfo();
    std::printf("support-info: status 0x%02lX, adapters %lu\n", (support >> 8) & 0xFF, support & 0xFF);

    platform::SRB_HAInquiry adapter{};
    adapter.SRB_Cmd = platform::SC_HA_INQUIRY;
    const DWORD adapterStatus = sendCommand(&adapter);
    std::printf("ha-inquiry: returned 0x%02lX, adapters %u, manager \"%.16s\"\n", adapterStatus, adapter.HA_Count,
                reinterpret_cast<const char*>(adapter.HA_ManagerId));

    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    uint8_t data[kInquiryLength] = {};
    platform::SRB_ExecSCSICmd request{};
    request.SRB_Cmd = platform::SC_EXEC_SCSI_CMD;
    request.SRB_Flags = platform::SRB_DIR_IN | platform::SRB_EVENT_NOTIFY;
    request.SRB_BufLen = kInquiryLength;
    request.SRB_BufPointer = data;
    request.SRB_SenseLen = platform::kAspiSenseLength;
    request.SRB_CDBLen = sizeof kInquiry;
    request.SRB_PostProc = done;
    std::memcpy(request.CDBByte, kInquiry, sizeof kInquiry);
    const DWORD returned = sendCommand(&request);
    if (returned == platform::SS_PENDING) WaitForSingleObject(done, 10000);
    CloseHandle(done);
    std::printf("exec-inquiry: returned 0x%02lX, status 0x%02X, target status 0x%02X\n", returned, request.SRB_Status,
                request.SRB_TargStat);
    FreeLibrary(library);
    if (request.SRB_Status != platform::SS_COMP || request.SRB_TargStat != 0) return 1;
    PrintIdentity(data);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 3 && std::strcmp(argv[1], "passthrough") == 0) return PassThrough(argv[2]);
    if ((argc == 2 || argc == 3) && std::strcmp(argv[1], "aspi") == 0) return Aspi(argc == 3 ? argv[2] : nullptr);
    std::fprintf(stderr, "usage: winscsiprobe passthrough X: | aspi [NODE]\n");
    return 2;
}
