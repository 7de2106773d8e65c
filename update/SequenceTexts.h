#pragma once
// Every text that the start-up and update sequence shows, in one place, spacing and punctuation
// as the user sees them. "\n" is one line feed.

#include <string_view>

namespace texts {

// Message box captions.
inline constexpr std::string_view kWarningTitle = "Warning";
inline constexpr std::string_view kErrorTitle = "Error";
inline constexpr std::string_view kInformationTitle = "Information";
inline constexpr std::string_view kDeviceErrorTitle = "Error ...";

// Start-up.
// printf formats, with the version text and a count.
inline constexpr char kCaptionFallbackFormat[] = "Norvik %.*s";
inline constexpr std::string_view kNoFirmware = "No F/W in executable !";
inline constexpr std::string_view kDeviceFailed = "Device object initialize failed !";
inline constexpr std::string_view kInitialPercent = "0 %";

inline constexpr std::string_view kNoMatchHead = "No matched drive detected !\n";
inline constexpr std::string_view kNoMatchProductBefore = "This utility is only for ";
inline constexpr std::string_view kNoMatchProductAfter = " drive.\n\n";
inline constexpr std::string_view kNoMatchDetected = "Detected drives :\n";
// Shown before the no-match message when the program carries only the flash profiles built
// from source.
inline constexpr std::string_view kPlaceholderProfiles =
    "This program carries only the placeholder flash profiles built from source, so it updates "
    "no drive.\nPack the drive's flash profiles in with norvik-pack --profiles.";
// Shown at start-up when a profile of the program's own store holds one byte value throughout.
inline constexpr std::string_view kDamagedProfiles =
    "This program's flash profiles are damaged (one of them holds a single byte value throughout), "
    "so it updates no drive.\nPack the drive's flash profiles in again with norvik-pack --profiles.";

inline constexpr std::string_view kNoticeProductBefore = "This flash utility only supports ";
inline constexpr std::string_view kNoticeProductAfter = " drive.\n\n";
inline constexpr std::string_view kNoticeHead = "NOTICE : \n\n";
inline constexpr std::string_view kNoticePoint1 =
    "1> Please REMOVE disc and close all applications before running this utility !\n";
inline constexpr std::string_view kNoticePoint2 = "2> Don't turn off the system while flash is in progress. \n";
inline constexpr std::string_view kNoticePoint3 =
    "3> Don't remove the adapter and battery during F/W reflash processing. \n";
inline constexpr std::string_view kNoticeQuestion = "\nDo you wish to continue ?";

// The drive's verdict under the list.
inline constexpr std::string_view kNotAllowed = "This drive is not allowed to be updated.";
inline constexpr std::string_view kWillBeUpdated = "It will be updated from             to";
// The sentence up to the run of spaces after "from", where a window places the old revision.
inline constexpr std::string_view kWillBeUpdatedBeforeGap = kWillBeUpdated.substr(0, kWillBeUpdated.find("  "));

// The update.
inline constexpr std::string_view kAlreadyCurrent =
    "Your drive's Firmware is already the most updated !\n Do you wish to continue ?";
// More updatable drives than one update takes: the count of the rest goes into %d.
inline constexpr char kDrivesLeftOutFormat[] =
    "This utility updates at most 16 drives at a time.\n"
    "The first 16 drives take part in this update; %d further drive(s) found on this system "
    "keep their firmware.";

// A drive of the update that could not be opened exclusively: the system's reason goes into %s.
inline constexpr char kDriveNotOpenedFormat[] = "%s.\nThis drive is not updated.";
// The reason given to the system for holding off shutdown and sleep, followed by the drives.
inline constexpr std::string_view kInhibitorWhy = "Writing new firmware into";

inline constexpr std::string_view kCheckDisc = "Check Disc & Tray Status...";
inline constexpr std::string_view kTrayOut = "Tray Out ...";
inline constexpr std::string_view kTrayIn = "Tray In ...";
inline constexpr std::string_view kWaitingReady = "Waiting Drive Ready ...";
inline constexpr std::string_view kRemoveDisc = "Please remove the disc.";
inline constexpr std::string_view kDiscLocked =
    "Disc detected in drive. Unable to eject the disc , maybe locked by other program\n\n"
    "Please remove the disc manually.";
inline constexpr std::string_view kPushTrayIn = "Please push the tray in.";

inline constexpr std::string_view kProgramming = "Programming ";
inline constexpr std::string_view kProgrammingAtMaximum = "Programming ..........";
inline constexpr std::string_view kInquiry = "Inquiry ...";
inline constexpr std::string_view kFullPercent = "100 %";

inline constexpr std::string_view kUpdateFailed = "Unable to flash firmware. Please contact with your vendor !";
inline constexpr std::string_view kDone = "Done.";
inline constexpr std::string_view kUpdated = "Firmware has been updated successfully !";

}  // namespace texts
