#include "update/DriveEntry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kDriveLetterLabel = 2;
constexpr std::size_t kRevisionChars = 4;

// A fixed-width text field up to its first NUL, never past its last byte.
template <std::size_t N>
std::string_view FieldText(const char (&field)[N], std::size_t maximum = N)
{
    return std::string_view(field, strnlen(field, maximum < N ? maximum : N));
}

int Precision(std::string_view text) { return static_cast<int>(text.size()); }

}  // namespace

std::string_view RootLabel(const char (&rootPath)[platform::kRootPathSize])
{
    const std::string_view root = FieldText(rootPath);
    if (root.starts_with('/')) return root.substr(root.rfind('/') + 1);
    return root.substr(0, kDriveLetterLabel);
}

std::string_view FormatDriveEntry(const DriveRecord& record, char (&entry)[kDriveEntrySize])
{
    const std::string_view label = RootLabel(record.rootPath);
    const std::string_view name = FieldText(record.displayName);
    const std::string_view revision = FieldText(record.revision, kRevisionChars);
    const int length = std::snprintf(entry, sizeof entry, "%2d-%d-%d-%d %.*s%24.*s %4.*s", record.host, record.path,
                                     record.target, record.lun, Precision(label), label.data(), Precision(name),
                                     name.data(), Precision(revision), revision.data());
    if (length < 0) {
        entry[0] = '\0';
        return {};
    }
    return std::string_view(entry, std::min<std::size_t>(static_cast<std::size_t>(length), sizeof entry - 1));
}
