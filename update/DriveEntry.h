#pragma once
// One line of the drive list: the drive's address, the label of its root, its identification
// and its revision, as "%2d-%d-%d-%d %.2s%24s %4s" prints them.

#include <string_view>

#include "device/DriveRecord.h"
#include "platform/System.h"

// Room for the widest entry: four six-character numbers, a root label of up to 15 characters,
// a display name of up to 32 and a revision of 4, with the separators.
constexpr int kDriveEntrySize = 96;

// The label of a drive root: the first two characters of a drive-letter root ("D:\" gives
// "D:"), the device name of a device path ("/dev/sr0" gives "sr0"), nothing for an empty root
// (drives found through ASPI). A view into rootPath.
std::string_view RootLabel(const char (&rootPath)[platform::kRootPathSize]);

// Formats the record's entry into entry and returns it. The display name is right-aligned in
// 24 columns and never cut; the revision right-aligned in 4. Reads no field past its width,
// terminated or not.
std::string_view FormatDriveEntry(const DriveRecord& record, char (&entry)[kDriveEntrySize]);
