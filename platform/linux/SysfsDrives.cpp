// The optical drives from sysfs: listing, the optical test, the generic node and the address.

#include "platform/linux/SysfsDrives.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace platform::linux_sys {

namespace {

constexpr std::string_view kDeviceDirectory = "/dev/";
constexpr std::string_view kDrivePrefix = "sr";
constexpr std::string_view kGenericPrefix = "sg";
constexpr int kSysfsPathSize = 512;
constexpr int kLinkNameSize = 256;
constexpr int kDeviceNumberTextSize = 32;

// A decimal number as the kernel writes it: digits only, no sign, no leading zero.
bool ParseNumber(std::string_view text, uint32_t& number)
{
    if (text.empty() || (text.size() > 1 && text.front() == '0')) return false;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    return error == std::errc() && stop == end;
}

// "sr7" -> 7.
bool DriveNumberOfName(std::string_view name, uint32_t& number)
{
    return name.starts_with(kDrivePrefix) && ParseNumber(name.substr(kDrivePrefix.size()), number);
}

// "/dev/sr7" -> "sr7"; false for anything that is not an optical drive root.
bool DriveNameOfRoot(const char* root, std::string_view& name)
{
    if (root == nullptr) return false;
    const std::string_view path(root);
    if (!path.starts_with(kDeviceDirectory)) return false;
    name = path.substr(kDeviceDirectory.size());
    uint32_t number = 0;
    return DriveNumberOfName(name, number);
}

// snprintf into a fixed buffer; false when the text does not fit.
template <int Size>
bool FormatText(char (&text)[Size], const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(text, Size, format, arguments);
    va_end(arguments);
    return length >= 0 && length < Size;
}

// The last component of a symbolic link's target ("../../../2:0:0:0" -> "2:0:0:0").
bool ReadLinkName(const char* linkPath, char (&name)[kLinkNameSize])
{
    char target[kSysfsPathSize];
    const ssize_t length = readlink(linkPath, target, sizeof target - 1);
    if (length <= 0) return false;
    target[length] = '\0';
    const char* slash = std::strrchr(target, '/');
    return FormatText(name, "%s", slash == nullptr ? target : slash + 1);
}

AddressQuery AddressOfDeviceLink(const char* linkPath, ScsiAddress& address)
{
    char name[kLinkNameSize];
    if (!ReadLinkName(linkPath, name) || !ParseScsiAddress(name, address)) return AddressQuery::QueryFailed;
    return AddressQuery::Found;
}

// The first line of a sysfs dev file, read as a device number.
bool ReadDeviceNumberFile(const char* path, dev_t& number)
{
    char text[kDeviceNumberTextSize] = "";
    FILE* file = std::fopen(path, "re");
    if (file == nullptr) return false;
    const bool read = std::fgets(text, sizeof text, file) != nullptr;
    std::fclose(file);
    return read && ParseDeviceNumber(text, number);
}

// Keeps the smallest drive numbers in ascending order in a list of at most kMaxDriveRoots.
void InsertDriveNumber(uint32_t (&numbers)[kMaxDriveRoots], int& count, uint32_t number)
{
    int position = count;
    while (position > 0 && numbers[position - 1] > number) --position;
    if (position == kMaxDriveRoots) return;
    const int last = count < kMaxDriveRoots ? count : kMaxDriveRoots - 1;
    for (int index = last; index > position; --index) numbers[index] = numbers[index - 1];
    numbers[position] = number;
    if (count < kMaxDriveRoots) ++count;
}

}  // namespace

void ListOpticalRoots(const char* sysfsRoot, DriveRootList& list)
{
    std::memset(&list, 0, sizeof list);
    char directoryPath[kSysfsPathSize];
    if (!FormatText(directoryPath, "%s/class/block", sysfsRoot)) return;
    DIR* directory = opendir(directoryPath);
    if (directory == nullptr) return;

    uint32_t numbers[kMaxDriveRoots];
    int count = 0;
    while (const dirent* entry = readdir(directory)) {
        uint32_t number = 0;
        if (DriveNumberOfName(entry->d_name, number)) InsertDriveNumber(numbers, count, number);
    }
    closedir(directory);

    for (int index = 0; index < count; ++index) {
        // A number whose root would not fit is left out rather than cut short.
        if (FormatText(list.roots[list.count], "/dev/sr%u", numbers[index]))
            ++list.count;
        else
            std::memset(list.roots[list.count], 0, kRootPathSize);
    }
}

bool IsOpticalRoot(const char* sysfsRoot, const char* root)
{
    std::string_view name;
    char entryPath[kSysfsPathSize];
    if (!DriveNameOfRoot(root, name) ||
        !FormatText(entryPath, "%s/class/block/%.*s", sysfsRoot, int(name.size()), name.data()))
        return false;
    struct stat entry;
    return stat(entryPath, &entry) == 0;
}

bool FindGenericNode(const char* sysfsRoot, const char* root, char (&node)[kNodePathSize])
{
    node[0] = '\0';
    std::string_view name;
    char directoryPath[kSysfsPathSize];
    if (!DriveNameOfRoot(root, name) ||
        !FormatText(directoryPath, "%s/class/block/%.*s/device/scsi_generic", sysfsRoot, int(name.size()), name.data()))
        return false;
    DIR* directory = opendir(directoryPath);
    if (directory == nullptr) return false;
    bool found = false;
    while (const dirent* entry = readdir(directory)) {
        uint32_t number = 0;
        const std::string_view entryName(entry->d_name);
        if (entryName.starts_with(kGenericPrefix) && ParseNumber(entryName.substr(kGenericPrefix.size()), number)) {
            found = FormatText(node, "/dev/sg%u", number);
            break;
        }
    }
    closedir(directory);
    if (!found) node[0] = '\0';
    return found;
}

bool ChooseCommandNode(const char* sysfsRoot, const char* root, char (&node)[kNodePathSize])
{
    if (FindGenericNode(sysfsRoot, root, node)) return true;
    if (root == nullptr || !FormatText(node, "%s", root)) {
        node[0] = '\0';
        return false;
    }
    return true;
}

bool ReadNodeNumber(const char* sysfsRoot, const char* root, const char* node, dev_t& number)
{
    std::string_view name;
    if (!DriveNameOfRoot(root, name) || node == nullptr) return false;
    const std::string_view nodePath(node);
    if (!nodePath.starts_with(kDeviceDirectory)) return false;
    const std::string_view nodeName = nodePath.substr(kDeviceDirectory.size());
    uint32_t genericNumber = 0;
    char numberPath[kSysfsPathSize];
    if (nodeName == name)
        return FormatText(numberPath, "%s/class/block/%.*s/dev", sysfsRoot, int(name.size()), name.data()) &&
               ReadDeviceNumberFile(numberPath, number);
    return nodeName.starts_with(kGenericPrefix) && ParseNumber(nodeName.substr(kGenericPrefix.size()), genericNumber) &&
           FormatText(numberPath, "%s/class/block/%.*s/device/scsi_generic/%.*s/dev", sysfsRoot, int(name.size()),
                      name.data(), int(nodeName.size()), nodeName.data()) &&
           ReadDeviceNumberFile(numberPath, number);
}

bool ParseDeviceNumber(const char* text, dev_t& number)
{
    if (text == nullptr) return false;
    std::string_view rest(text);
    if (rest.ends_with('\n')) rest.remove_suffix(1);
    const size_t colon = rest.find(':');
    uint32_t majorNumber = 0;
    uint32_t minorNumber = 0;
    if (colon == std::string_view::npos || !ParseNumber(rest.substr(0, colon), majorNumber) ||
        !ParseNumber(rest.substr(colon + 1), minorNumber))
        return false;
    number = makedev(majorNumber, minorNumber);
    return true;
}

AddressQuery ReadRootAddress(const char* sysfsRoot, const char* root, ScsiAddress& address)
{
    std::string_view name;
    char linkPath[kSysfsPathSize];
    if (!DriveNameOfRoot(root, name) ||
        !FormatText(linkPath, "%s/class/block/%.*s/device", sysfsRoot, int(name.size()), name.data()))
        return AddressQuery::QueryFailed;
    return AddressOfDeviceLink(linkPath, address);
}

AddressQuery ReadDeviceAddress(const char* sysfsRoot, bool blockDevice, dev_t device, ScsiAddress& address)
{
    char linkPath[kSysfsPathSize];
    if (!FormatText(linkPath, "%s/dev/%s/%u:%u/device", sysfsRoot, blockDevice ? "block" : "char", major(device),
                    minor(device)))
        return AddressQuery::QueryFailed;
    return AddressOfDeviceLink(linkPath, address);
}

bool ParseScsiAddress(const char* text, ScsiAddress& address)
{
    if (text == nullptr) return false;
    std::string_view rest(text);
    uint32_t parts[4];
    for (int index = 0; index < 4; ++index) {
        const size_t colon = index < 3 ? rest.find(':') : rest.size();
        if (colon == std::string_view::npos || !ParseNumber(rest.substr(0, colon), parts[index]) ||
            parts[index] > INT16_MAX)
            return false;
        rest.remove_prefix(index < 3 ? colon + 1 : colon);
    }
    address = ScsiAddress{int16_t(parts[0]), int16_t(parts[1]), int16_t(parts[2]), int16_t(parts[3])};
    return true;
}

}  // namespace platform::linux_sys
